// The menus of the program's resources item by item: every command of the full menu (129)
// with its text, the beginner's menu (178) as the same less seven items, and the keys of
// the accelerator table.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "resource.h"

namespace {

// Every command item of a menu and its submenus: id -> text.
void Collect(HMENU menu, std::map<UINT, std::string>& items) {
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      Collect(sub, items);
      continue;
    }
    UINT id = GetMenuItemID(menu, i);
    if (id == 0) continue;  // a separator
    char text[256] = "";
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    EXPECT_EQ(items.count(id), 0u) << "twice: " << text;
    items[id] = text;
  }
}

std::map<UINT, std::string> MenuItems(UINT resource) {
  std::map<UINT, std::string> items;
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resource));
  EXPECT_NE(menu, nullptr) << resource;
  if (!menu) return items;
  Collect(menu, items);
  DestroyMenu(menu);
  return items;
}

// The full menu: the commands of the thread windows' document with their texts as the
// program's documentation spells them, the framework's file, window and help commands, and
// the bars of the View menu.
const std::map<UINT, std::string> kFullMenu = {
    {ID_FILE_NEW, "&New Thread\tCtrl+N"},
    {ID_FILE_PRINT, "&Print...\tCtrl+P"},
    {ID_FILE_PRINT_PREVIEW, "Print Pre&view"},
    {ID_FILE_PRINT_SETUP, "P&rint Setup..."},
    {ID_APP_EXIT, "E&xit"},
    {32771, "Open Device..."},
    {32772, "Command Dialog Box"},
    {32773, "Test (Reserved)"},
    {32774, "Function Profiler"},
    {32778, "Sector Explorer"},
    {32780, "Device Explorer"},
    {32783, "Volume Duplicate"},
    {32789, "Options..."},
    {32800, "Save Script..."},
    {32801, "Run Script"},
    {32802, "Stop Script"},
    {32804, "Script Help..."},
    {32809, "Open Script..."},
    {32810, "Close Script"},
    {32812, "Volume Tree"},
    {32827, "Device Duplicate"},
    {32832, "Save Log..."},
    {32833, "Clear Log"},
    {32836, "External Tool 1"},
    {32837, "External Tool 2"},
    {32838, "Get Last Error..."},
    {32852, "New Script"},
    {32854, "Keldorn Filesystem Analyzer..."},
    {32861, "Select Device NAND"},
    {32862, "Select Device NOR"},
    {32863, "Select Device SPI"},
    {32880, "Reset Device..."},
    {32886, "Dump Debug Information"},
    {32887, "Debug Information Viewer"},
    {32888, "External GFSL Module..."},
    {32889, "Enable External NAND ECC Module..."},
    {23366, "Menu Bar"},
    {59392, "Toolbar"},
    {59393, "Status Bar"},
    {32797, "Script editor"},
    {32798, "Script log output"},
    {23368, "Volume Tree Bar"},
    {ID_VIEW_RESET_LAYOUT, "Reset Layout"},
    {ID_WINDOW_CASCADE, "&Cascade"},
    {ID_WINDOW_TILE_HORZ, "&Tile"},
    {ID_APP_ABOUT, "&About Lumivex..."},
};

// What the beginner does without: Function Profiler, Sector Explorer, Volume Tree, Volume
// Duplicate, Test (Reserved), the analyzer and the volume tree bar.
const std::set<UINT> kBeginnerRemovals = {32774, 32778, 32812, 32783, 32773, 32854, 23368};

TEST(Menus, TheFullMenuHasEveryCommandWithItsText) {
  std::map<UINT, std::string> items = MenuItems(IDR_BRAMBTYPE);
  for (const auto& expected : kFullMenu) {
    auto found = items.find(expected.first);
    if (found == items.end()) {
      ADD_FAILURE() << "missing " << expected.first << " " << expected.second;
      continue;
    }
    EXPECT_EQ(found->second, expected.second) << expected.first;
  }
  for (const auto& item : items) EXPECT_EQ(kFullMenu.count(item.first), 1u) << "not expected: " << item.second;
}

TEST(Menus, TheBeginnersMenuIsTheFullOneLessSevenItems) {
  std::map<UINT, std::string> beginner = MenuItems(IDR_BEGINNER);
  std::map<UINT, std::string> expected = kFullMenu;
  for (UINT id : kBeginnerRemovals) ASSERT_EQ(expected.erase(id), 1u) << id;
  EXPECT_EQ(beginner, expected);
  EXPECT_EQ(kFullMenu.size() - beginner.size(), 7u);
}

TEST(Menus, TheFramesOwnMenuAndTheAcceleratorKeys) {
  std::map<UINT, std::string> frame = MenuItems(IDR_MAINFRAME);
  EXPECT_EQ(frame.count(ID_FILE_NEW), 1u);
  EXPECT_EQ(frame.count(ID_APP_EXIT), 1u);
  EXPECT_EQ(frame.count(23366), 1u);  // the menu bar can be hidden here too

  HACCEL table = LoadAcceleratorsA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
  ASSERT_NE(table, nullptr);
  ACCEL keys[32];
  int count = CopyAcceleratorTableA(table, keys, 32);
  std::map<UINT, std::pair<BYTE, WORD>> byCommand;
  for (int i = 0; i < count; ++i) byCommand[keys[i].cmd] = {static_cast<BYTE>(keys[i].fVirt & ~FNOINVERT), keys[i].key};
  struct Key {
    UINT command;
    BYTE flags;
    WORD key;
  } expected[] = {
      {ID_FILE_NEW, FVIRTKEY | FCONTROL, 'N'},  {ID_FILE_PRINT, FVIRTKEY | FCONTROL, 'P'},
      {ID_EDIT_COPY, FVIRTKEY | FCONTROL, 'C'}, {ID_EDIT_CUT, FVIRTKEY | FCONTROL, 'X'},
      {ID_EDIT_PASTE, FVIRTKEY | FCONTROL, 'V'}, {ID_EDIT_SELECT_ALL, FVIRTKEY | FCONTROL, 'A'},
      {ID_EDIT_CLEAR, FVIRTKEY, VK_DELETE},
  };
  EXPECT_EQ(count, 7);
  for (const Key& k : expected) {
    ASSERT_EQ(byCommand.count(k.command), 1u) << k.command;
    EXPECT_EQ(byCommand[k.command].first, k.flags) << k.command;
    EXPECT_EQ(byCommand[k.command].second, k.key) << k.command;
  }
  DestroyAcceleratorTable(table);
}

}  // namespace

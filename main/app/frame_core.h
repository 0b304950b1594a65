// What the main frame computes without windows: the command history file's lines and the
// fixed places of its bars and panes. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lx {

// The entries of "history.txt": a line ends at CR, and the byte after a CR (the LF) is
// skipped; empty lines are dropped. A file with LF alone is therefore one entry, LFs and all.
std::vector<std::string> ParseHistory(const std::string& bytes);
// The file for the entries: each non-empty one followed by CR LF.
std::string HistoryText(const std::vector<std::string>& entries);

struct FrameRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FrameRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

struct FrameLayoutInput {
  int width = 0, height = 0;
  int toolbarHeight = 0;   // 0: the toolbar is hidden
  int statusHeight = 0;    // 0: the status bar is hidden
  int treeWidth = 0;       // 0: the volume tree is hidden
  bool editor = true, log = true;
  int tabsHeight = 0;
};

struct FrameLayout {
  FrameRect toolbar, status, tree, editor, log, tabs, client;
};

// Toolbar across the top, status bar across the bottom, the tree down the left side between
// them, the script editor at the bottom with the log beside it (a third of the height, 60 to
// 220 pixels), the tabs and the MDI client in what is left.
FrameLayout ComputeFrameLayout(const FrameLayoutInput& in);

}  // namespace lx

// What the NAND explorer's window tests share: a cell typed into the explorer's in-place editor
// and the test ECC module.
#pragma once
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lumivex/prompt.h"
#include "module_loader.h"
#include "test_support.h"
#include "veltan_explorer.h"

// Opens the editor over the cell, types the text and lets the editor go (which keeps the edit).
inline bool TypeIntoCell(CVeltanExplorerDlg* explorer, long row, long col, const char* text) {
  if (!explorer->BeginCellEdit(row, col)) return false;
  explorer->SetDlgItemText(IDC_VX_EDITOR, text);
  explorer->HideCellEditor();
  return true;
}

// The test ECC module ("exteccmodule.dll" in the folder veltan_ecc beside the test), loaded and
// initialised once and made the explorer's module; its setter of method and offsets, or null
// when the module could not be had.
typedef void (*EccSetupFn)(uint32_t method, uint32_t eccOffset, uint32_t bchOffset);
inline EccSetupFn UseTestEccModule() {
  static CExtEccModule s_module;
  SetDllDirectoryA((ExeFolder() + "\\veltan_ecc").c_str());
  const bool loaded = s_module.m_hModule || s_module.Load() == 0;
  SetDllDirectoryA(nullptr);
  if (!loaded || s_module.Init() != 0) return nullptr;
  SetVeltanEccModuleSource([]() { return &s_module; });
  return reinterpret_cast<EccSetupFn>(reinterpret_cast<void*>(GetProcAddress(s_module.m_hModule, "fixtureEccSetup")));
}

// The device explorers and programming tools as far as the frame opens them: the duplicate
// windows stand in for their tool; the NOR explorer and the reset window live in nor/
// (nor_explorer.h), the NAND explorer in veltan/ (veltan_explorer.h).
#pragma once
#include <cstdint>

#include "explorers_resource.h"
#include "lxmfc.h"
#include "nor_explorer.h"
#include "veltan_explorer.h"

class CVeltanDuplicateDlg : public CDialog {
 public:
  explicit CVeltanDuplicateDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_VELTAN_DUPLICATE, parent) {}
  uint32_t m_DeviceParameter = 64;
};

class CNorDuplicateDlg : public CDialog {
 public:
  explicit CNorDuplicateDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_NOR_DUPLICATE, parent) {}
};

// The frame's commands. Device Explorer: by the options' device kind, destroys the explorer
// when it exists, else creates and shows it on its first page or window.
void ToggleDeviceExplorer(CWnd* frame);
void RunDeviceDuplicate(CWnd* frame);
// When the frame goes away.
void DestroyExplorers(CWnd* frame);

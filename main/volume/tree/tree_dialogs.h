// The volume tree's two windows: the progress of a copy (with Cancel) and the properties of the
// selected item.
#pragma once
#include "lxmfc.h"

// Modeless, made for every copy and shown for folder copies; Cancel sets the caller's flag and
// hides the window, and the copy stops before its next file.
class CProgressDlg : public CDialog {
 public:
  CProgressDlg(int total, bool* cancelFlag);
  BOOL OnInitDialog() override;
  void OnCancel() override;
  // Counts a file as started: bar, caption "In progress... (n/total)", the file's name.
  int StepProgress(const char* name);

  int m_nTotal;
  int m_nCurrent = 0;
  CString m_strCurrentName;
  bool* m_pCancelFlag;
};

// Modeless, one per tree, kept while the tree lives: it only shows.
class CPropertiesDlg : public CDialog {
 public:
  CPropertiesDlg();
  BOOL OnInitDialog() override;
};

// The rich-text log of the main window. Any thread may print: the thread that created the
// window writes directly, every other thread hands its line over with a synchronous message.
#pragma once
#include <cstdint>

#include "lxmfc.h"

// The cross-thread record, built on the printing thread's stack for the length of the send.
struct LogLine {
  uint8_t bold;
  COLORREF colour;
  const char* text;
};

#define WM_LOG_PRINT (WM_USER + 20)

class CLogCtrl : public CRichEditCtrl {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) override;
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
  int OnCreate(CREATESTRUCTA* cs) override;
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

  // Appends the text in that weight and colour; adds no line end of its own.
  LRESULT Print(uint8_t bold, COLORREF colour, const char* text);
  int Clear();
  // Asks for a file and writes the whole log as RTF.
  int SaveLog();
  // The copy command: enabled only for a non-empty selection.
  bool CanCopy() const;
  void OnEditCopy();

  DWORD m_OwnerThreadId = 0;

 private:
  void ApplyDefaultFormat();
};

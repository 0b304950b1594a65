// The one application object of the program and its entry.
#include "app.h"
#include "main_frame.h"

CBrambApp theApp;

namespace {
CWnd* MakeMainFrame() {
  auto* frame = new CMainFrame;
  if (frame->CreateFrame()) return frame;
  delete frame;
  return nullptr;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  SetMainFrameFactory(MakeMainFrame);
  return AfxWinMain(instance, commandLine, show);
}

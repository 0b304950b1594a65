// The one application object of the program and its entry.
#include "app.h"

CBrambApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  return AfxWinMain(instance, commandLine, show);
}

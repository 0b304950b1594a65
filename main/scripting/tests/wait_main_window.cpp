// Waits until Lumivex's main window exists: exit code 0, or 1 after 30 seconds without it.
#include <windows.h>

int main() {
  for (int i = 0; i < 300; ++i) {
    if (FindWindowA("LumivexMainFrame", nullptr)) return 0;
    Sleep(100);
  }
  return 1;
}

// Waits up to a minute for a condition: exit code 0 when it came, 1 when it did not.
//   (no argument)   Lumivex's main window exists
//   file <path>     the file exists (a test's word to go on)
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  const char* file = argc > 2 && std::strcmp(argv[1], "file") == 0 ? argv[2] : nullptr;
  for (int i = 0; i < 600; ++i) {
    if (file ? GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES : FindWindowA("LumivexMainFrame", nullptr) != nullptr)
      return 0;
    Sleep(100);
  }
  return 1;
}

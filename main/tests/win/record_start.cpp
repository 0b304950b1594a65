// Stands in for Lumivex.exe in restart tests: writes how it was started (command line, then
// working folder) into the file named by LX_RECORD_FILE, and ends.
#include <windows.h>

#include <cstdio>

int main() {
  char file[MAX_PATH * 2] = "";
  if (!GetEnvironmentVariableA("LX_RECORD_FILE", file, sizeof file)) return 1;
  char folder[MAX_PATH * 2] = "";
  GetCurrentDirectoryA(sizeof folder, folder);
  FILE* out = std::fopen(file, "wb");
  if (!out) return 1;
  std::fprintf(out, "%s\n%s\n", GetCommandLineA(), folder);
  std::fclose(out);
  return 0;
}

// Stands for the application registered for a file type: copies the file it is handed
// (argument 1) to the place the test named (argument 2).
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  FILE* in = std::fopen(argv[1], "rb");
  if (!in) return 1;
  FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 1;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) std::fwrite(buffer, 1, n, out);
  std::fclose(in);
  return std::fclose(out) == 0 ? 0 : 1;
}

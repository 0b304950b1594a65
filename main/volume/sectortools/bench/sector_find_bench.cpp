// Measures the sector find over the virtual device: a 256 MiB device filled with pseudo-random
// bytes is searched from its first to its last sector for a pattern that is not there, through
// the module's gfslReadSectors as the find window reads, with the window's message pumping.
// Prints MiB/s; bench/run sets it beside grep -c -F over the same image file.
// Usage: sector_find_bench <user area folder>
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lumivex/deviceapi.h"
#include "sector_core.h"

namespace {

template <typename Fn>
Fn Entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

gfslReadSectors_fn g_read = nullptr;

int Read(void*, uint32_t first, uint32_t count, uint8_t* buffer) { return g_read(0, first, count, buffer, 0); }

bool Pump(void*, int32_t) {
  MSG msg;
  for (int i = 0; i < 256 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&msg);
  return true;
}

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: sector_find_bench <user area folder> <pattern>\n");
    return 2;
  }
  std::string area = argv[1];
  CreateDirectoryA(area.c_str(), nullptr);
  CreateDirectoryA((area + "\\User Data").c_str(), nullptr);
  _putenv_s("LX_USER_AREA", area.c_str());
  SetEnvironmentVariableA("LX_USER_AREA", area.c_str());
  HMODULE module = LoadLibraryA("Pallix-VirtualDevice.dll");
  if (!module) {
    std::fprintf(stderr, "sector_find_bench: Pallix-VirtualDevice.dll does not load\n");
    return 1;
  }
  auto init = Entry<gfslInit_fn>(module, "gfslInit");
  auto lowLevelFormat = Entry<gfslLowLevelFormat_fn>(module, "gfslLowLevelFormat");
  auto count = Entry<gfslGetNumberOfSectors_fn>(module, "gfslGetNumberOfSectors");
  auto write = Entry<gfslWriteSectors_fn>(module, "gfslWriteSectors");
  g_read = Entry<gfslReadSectors_fn>(module, "gfslReadSectors");
  if (!init || !lowLevelFormat || !count || !write || !g_read || init(0) != 0 ||
      lowLevelFormat("/a", 1u << 20, 255u << 20) != 0) {
    std::fprintf(stderr, "sector_find_bench: the device cannot be laid out\n");
    return 1;
  }
  const int32_t sectors = count(0, 0);
  // Pseudo-random contents, so that neither side finds long runs to skip.
  std::vector<uint8_t> chunk(2048 * 512);
  uint32_t x = 12345;
  for (int32_t s = 0; s < sectors; s += 2048) {
    for (uint8_t& b : chunk) {
      x = x * 1103515245u + 12345u;
      b = static_cast<uint8_t>(x >> 16);
    }
    const uint32_t n = static_cast<uint32_t>(std::min<int32_t>(2048, sectors - s));
    if (write(0, static_cast<uint32_t>(s), n, chunk.data(), 0) != 0) {
      std::fprintf(stderr, "sector_find_bench: writing the device failed\n");
      return 1;
    }
  }
  lx::SectorSearch search;
  search.read = Read;
  search.sectorCount = sectors;
  search.endSector = sectors - 1;
  search.pattern.assign(argv[2], argv[2] + std::strlen(argv[2]));
  search.tick = Pump;
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    const double start = Seconds();
    const lx::SearchResult result = lx::RunSectorSearch(search);
    const double took = Seconds() - start;
    if (result.outcome != lx::SearchOutcome::kNotFound) {
      std::fprintf(stderr, "sector_find_bench: the pattern was found or a read failed\n");
      return 1;
    }
    if (took < best) best = took;
  }
  const double mib = static_cast<double>(sectors) * 512.0 / (1024.0 * 1024.0);
  std::printf("find: %.0f MiB in %.3f s, %.0f MiB/s\n", mib, best, mib / best);
  init(1);
  return 0;
}

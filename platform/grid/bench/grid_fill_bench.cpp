// Prints how long the grid takes to fill the NOR explorer's 2,049 x 18 cells and to paint them,
// with redraw held off during the fill (as the explorers fill) and without.
// Run: scripts/wine-run build/win/bin/grid_fill_bench.exe
#include <windows.h>

#include <cstdio>

#include "lumivex/grid.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

void Fill(CLxGrid& grid, int round) {
  char text[32];
  for (int r = 1; r < 2049; ++r) {
    std::snprintf(text, sizeof text, "0x%06X", (r - 1) * 16);
    grid.SetTextMatrix(r, 0, text);
    for (int c = 1; c <= 16; ++c) {
      std::snprintf(text, sizeof text, "%02X", (r + c + round) & 0xFF);
      grid.SetTextMatrix(r, c, text);
    }
    grid.SetTextMatrix(r, 17, "................");
  }
}

}  // namespace

int main() {
  LxGridRegisterClass();
  HWND parent = CreateWindowExA(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  CLxGrid grid;
  RECT rect{0, 0, 780, 560};
  if (!parent || !grid.Create(parent, 1000, rect)) {
    std::printf("cannot create the grid window\n");
    return 1;
  }
  grid.SetRows(2049);
  grid.SetCols(18);
  for (int held = 1; held >= 0; --held) {
    const int rounds = 5;
    LARGE_INTEGER start, filled, painted;
    double fill = 0, paint = 0;
    for (int round = 0; round < rounds; ++round) {
      QueryPerformanceCounter(&start);
      if (held) grid.SetRedraw(false);
      Fill(grid, round);
      if (held) grid.SetRedraw(true);
      QueryPerformanceCounter(&filled);
      UpdateWindow(grid.GetSafeHwnd());
      QueryPerformanceCounter(&painted);
      fill += Seconds(start, filled);
      paint += Seconds(filled, painted);
    }
    std::printf("%-20s fill %7.2f ms   paint %6.2f ms   (36,882 cells, mean of %d)\n",
                held ? "redraw held off:" : "redraw on:", 1000 * fill / rounds, 1000 * paint / rounds, rounds);
  }
  DestroyWindow(parent);
  return 0;
}

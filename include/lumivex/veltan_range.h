// The walk of the NAND page tools over a range of device pages: the import of the Veltan explorer
// and the raw page program of the edit sheet both program "count pages from page first", and a bad
// block inside the range takes its pages out of it. Neither may ever touch a page past the range:
// with the shift policy the file's data waits for the next good page of the range, not of the device.
#pragma once
#include <algorithm>
#include <cstdint>

namespace lx {

// Walks device pages first .. first + count - 1. For each bad stretch, onBad(block, pages) with the
// stretch's pages inside the range; for each good page, onGood(page). Either answers false to end
// the walk there.
template <typename IsBad, typename OnBad, typename OnGood>
void WalkVeltanRange(uint64_t first, uint64_t count, uint32_t pagesPerBlock, IsBad isBad, OnBad onBad, OnGood onGood) {
  if (pagesPerBlock == 0) return;
  for (uint64_t i = 0; i < count;) {
    const uint64_t page = first + i;
    const uint64_t block = page / pagesPerBlock;
    if (isBad(block)) {
      const uint64_t pages = std::min<uint64_t>((block + 1) * pagesPerBlock - page, count - i);
      if (!onBad(block, pages)) return;
      i += pages;
      continue;
    }
    if (!onGood(page)) return;
    ++i;
  }
}

}  // namespace lx

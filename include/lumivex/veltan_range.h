// The walk of the NAND page tools over a range of device pages: the import of the Veltan explorer
// and the raw page program of the edit sheet both program "count pages from page first", and a bad
// block inside the range takes its pages out of it. Neither may ever touch a page past the range:
// with the shift policy the file's data waits for the next good page of the range, not of the device.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "lumivex/text_format.h"

namespace lx {

// How the walk steps over a bad block. The two differ only when the range begins inside a bad
// block, the one place where the walk can meet a bad block past its first page.
enum class VeltanBadStep {
  // To the bad block's end: every page after it keeps its own data (file record i belongs to
  // page first + i), so a good page of the range is never passed over.
  kToBlockEnd,
  // A whole block's worth of pages from where the bad block is met: the data moves on by whole
  // blocks and keeps its place within a block (the data meant for page 10 of a bad block goes
  // to page 10 of the next one).
  kWholeBlock,
};

// Walks device pages first .. first + count - 1. For each bad stretch, onBad(block, pages, passed)
// with the stretch's bad pages inside the range and, for kWholeBlock, the pages of a following
// good block passed over with it; for each good page, onGood(page). Either answers false to end
// the walk there.
template <typename IsBad, typename OnBad, typename OnGood>
void WalkVeltanRange(uint64_t first, uint64_t count, uint32_t pagesPerBlock, VeltanBadStep step, IsBad isBad, OnBad onBad,
                     OnGood onGood) {
  if (pagesPerBlock == 0) return;
  for (uint64_t i = 0; i < count;) {
    const uint64_t page = first + i;
    const uint64_t block = page / pagesPerBlock;
    if (isBad(block)) {
      const uint64_t left = count - i;
      const uint64_t inBlock = std::min<uint64_t>((block + 1) * pagesPerBlock - page, left);
      uint64_t skip = inBlock;
      if (step == VeltanBadStep::kWholeBlock) skip = std::min<uint64_t>(pagesPerBlock, left);
      // Pages of a next block that is bad as well count with this stretch's bad pages.
      const uint64_t passed = skip > inBlock && !isBad(block + 1) ? skip - inBlock : 0;
      if (!onBad(block, skip - passed, passed)) return;
      i += skip;
      continue;
    }
    if (!onGood(page)) return;
    ++i;
  }
}

// The lines a walk's closing message adds: good pages passed over with a bad block, and shifted
// file data that the bad blocks pushed past the end of the range. Empty when there is none.
inline std::string VeltanRangeNotes(uint64_t passed, uint64_t unplaced, uint64_t first, uint64_t count) {
  std::string text;
  if (passed)
    text += Format("\n%llu page(s) of a good block after a bad one were left as they were: the data moves on by whole "
                   "blocks.",
                   static_cast<unsigned long long>(passed));
  if (unplaced)
    text += Format("\n%llu page(s) of file data did not fit in pages %llu to %llu.", static_cast<unsigned long long>(unplaced),
                   static_cast<unsigned long long>(first), static_cast<unsigned long long>(first + count - 1));
  return text;
}

}  // namespace lx

// A small NAND device for the explorer's tests, bound into DeviceApiTable: pages of 2,048 data
// bytes and a spare area, programming only clears bits, an erase sets a block to 0xFF, factory
// bad blocks carry the marker 0x00 in the first spare byte of their first page, and grown bad
// blocks fail program and erase. The tests read the cells as the judge.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct FakeNand {
  uint32_t blocks = 16;
  uint32_t perBlock = 8;
  uint32_t spare = 64;
  std::string text = "[JEDEC ID:0001F1] fake NAND";
  std::vector<uint8_t> cells;
  std::set<uint32_t> grown;  // blocks whose program and erase fail
  int bbtResult = 0;         // gfslVeltanGetBBT's answer
  int64_t failReadPage = -1; // this page's raw read fails
  int64_t failProgramPage = -1;  // this page's program fails (its block erases well)
  uint32_t readPageLimit = 2048;  // gfslVeltanReadPage refuses longer reads
  std::vector<uint32_t> erases;   // blocks erased, in order
  std::vector<uint32_t> programs; // pages programmed, in order

  // Sizes the cells (all 0xFF), forgets the calls seen, and binds the Veltan cells of the device table to this device.
  void Install();
  uint32_t PageBytes() const { return 2048 + spare; }
  uint8_t* Page(uint32_t page) { return cells.data() + static_cast<size_t>(page) * PageBytes(); }
  void SetFactoryBad(uint32_t block, uint8_t marker = 0x00);
  // Fills page p with a pattern of its own (data and spare).
  void FillPattern(uint32_t page);
};

#include "fake_nand.h"

#include <cstring>

#include "device_api.h"

namespace {

FakeNand* g_nand = nullptr;

int GetText(const char*, char* text) {
  std::strncpy(text, g_nand->text.c_str(), 511);
  text[511] = 0;
  return 0;
}
uint32_t Blocks(const char*) { return g_nand->blocks; }
uint32_t PerBlock(const char*) { return g_nand->perBlock; }
uint32_t Pages() { return g_nand->blocks * g_nand->perBlock; }

int GetBbt(const char*, uint8_t* table) {
  if (g_nand->bbtResult != 0) return g_nand->bbtResult;
  for (uint32_t b = 0; b < g_nand->blocks; ++b) table[b] = g_nand->Page(b * g_nand->perBlock)[2048];
  return 0;
}

int ReadPage(int, uint32_t, uint32_t page, uint32_t count, uint8_t* buffer) {
  if (page >= Pages() || count > g_nand->readPageLimit || count > 2048) return -1;
  std::memcpy(buffer, g_nand->Page(page), count);
  return 0;
}

int ReadRaw(int device, uint32_t page, uint32_t count, uint8_t* buffer) {
  const uint32_t bytes = g_nand->PageBytes();
  if (device & 0x30) {
    // The parameter page and the unique ID: something that is no page of the array.
    for (uint32_t i = 0; i < count * bytes; ++i) buffer[i] = static_cast<uint8_t>(device & 0x10 ? "ONFI"[i % 4] : i);
    return 0;
  }
  if (static_cast<uint64_t>(page) + count > Pages()) return -1;
  for (uint32_t p = page; p < page + count; ++p) {
    if (static_cast<int64_t>(p) == g_nand->failReadPage) return -1;
    std::memcpy(buffer + (p - page) * bytes, g_nand->Page(p), bytes);
  }
  return 0;
}

int ProgramRaw(int, uint32_t page, uint32_t count, const uint8_t* buffer) {
  const uint32_t bytes = g_nand->PageBytes();
  if (static_cast<uint64_t>(page) + count > Pages()) return -1;
  for (uint32_t p = page; p < page + count; ++p) {
    g_nand->programs.push_back(p);
    if (g_nand->grown.count(p / g_nand->perBlock) || static_cast<int64_t>(p) == g_nand->failProgramPage) return 3;
    uint8_t* cells = g_nand->Page(p);
    for (uint32_t i = 0; i < bytes; ++i) cells[i] &= buffer[(p - page) * bytes + i];
  }
  return 0;
}

int Erase(int, uint32_t block) {
  if (block >= g_nand->blocks) return -1;
  g_nand->erases.push_back(block);
  if (g_nand->grown.count(block)) return 4;
  std::memset(g_nand->Page(block * g_nand->perBlock), 0xFF, static_cast<size_t>(g_nand->perBlock) * g_nand->PageBytes());
  return 0;
}

}  // namespace

void FakeNand::Install() {
  cells.assign(static_cast<size_t>(blocks) * perBlock * PageBytes(), 0xFF);
  erases.clear();
  programs.clear();
  g_nand = this;
  DeviceApiTable.gfslGetDeviceTextInfo = GetText;
  DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks = Blocks;
  DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock = PerBlock;
  DeviceApiTable.gfslVeltanGetBBT = GetBbt;
  DeviceApiTable.gfslVeltanReadPage = ReadPage;
  DeviceApiTable.gfslVeltanReadRawPage = ReadRaw;
  DeviceApiTable.gfslVeltanProgramRawPage = ProgramRaw;
  DeviceApiTable.gfslVeltanEraseBlock = Erase;
}

void FakeNand::SetFactoryBad(uint32_t block, uint8_t marker) { Page(block * perBlock)[2048] = marker; }

void FakeNand::FillPattern(uint32_t page) {
  uint8_t* cells = Page(page);
  for (uint32_t i = 0; i < PageBytes(); ++i) cells[i] = static_cast<uint8_t>((i * 7 + page * 13 + 1) & 0xFF);
  cells[2048] = 0xFF;  // keeps the block good
}

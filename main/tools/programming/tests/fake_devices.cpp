#include "fake_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device_api.h"

namespace fake {

namespace {

Nor* g_nor = nullptr;
Nand* g_nand = nullptr;

bool NorInside(uint32_t address, uint32_t length) {
  return static_cast<uint64_t>(address) + length <= g_nor->array.size();
}

uint64_t Bytes(const char*) {
  if (g_nor) return g_nor->array.size();
  if (g_nand) return static_cast<uint64_t>(g_nand->blocks) * g_nand->pages * 2048;
  return ~0ull;
}

uint32_t BlockSize(const char*, uint32_t k) { return g_nor && k < g_nor->sizes.size() ? g_nor->sizes[k] : 0; }

int NorRead(int, uint32_t address, uint32_t length, uint8_t* buffer) {
  if (!g_nor || !NorInside(address, length)) return -1;
  if (g_nor->failReadAt >= address && g_nor->failReadAt - address < length) return -1;
  ++g_nor->reads;
  g_nor->bytesRead += length;
  std::memcpy(buffer, g_nor->array.data() + address, length);
  if (g_nor->stuckAddress >= address && g_nor->stuckAddress - address < length)
    buffer[g_nor->stuckAddress - address] &= static_cast<uint8_t>(~g_nor->stuckMask);
  return 0;
}

int NorProgram(int, uint32_t address, uint32_t length, const uint8_t* data) {
  if (!g_nor || !NorInside(address, length)) return -1;
  ++g_nor->programs;
  if (g_nor->failProgramAt >= address && g_nor->failProgramAt - address < length) return -1;
  g_nor->bytesProgrammed += length;
  for (uint32_t i = 0; i < length; ++i) g_nor->array[address + i] &= data[i];
  return 0;
}

int NorErase(int, uint32_t sector) {
  if (!g_nor || sector >= g_nor->sizes.size()) return -1;
  ++g_nor->erases;
  if (g_nor->failErase.count(sector)) return -1;
  std::fill_n(g_nor->array.begin() + g_nor->Start(sector), g_nor->sizes[sector], 0xFF);
  return 0;
}

uint32_t Blocks(const char*) { return g_nand ? g_nand->blocks : 0xFFFFFFFF; }
uint32_t PagesPerBlock(const char*) { return g_nand ? g_nand->pages : 0xFFFFFFFF; }

int Bbt(const char*, uint8_t* table) {
  if (!g_nand) return -1;
  std::copy(g_nand->bbt.begin(), g_nand->bbt.end(), table);
  return 0;
}

bool NandInside(uint32_t page, uint32_t count) {
  return count && static_cast<uint64_t>(page) + count <= static_cast<uint64_t>(g_nand->blocks) * g_nand->pages;
}

int NandRead(int, uint32_t page, uint32_t count, uint8_t* buffer) {
  if (!g_nand || !NandInside(page, count)) return -1;
  for (uint32_t i = 0; i < count; ++i)
    if (g_nand->failRead.count(page + i)) return -1;
  g_nand->readCalls.push_back(page);
  for (uint32_t i = 0; i < count; ++i) {
    std::vector<uint8_t> bytes = g_nand->Page(page + i);
    std::memcpy(buffer + static_cast<size_t>(i) * g_nand->PageBytes(), bytes.data(), bytes.size());
  }
  return 0;
}

int NandProgram(int, uint32_t page, uint32_t count, const uint8_t* data) {
  if (!g_nand || !NandInside(page, count)) return -1;
  g_nand->programCalls.push_back(page);
  for (uint32_t i = 0; i < count; ++i) {
    // As the kit module: the pages before a failing one stay programmed.
    if (g_nand->failProgram.count(page + i)) return -1;
    std::vector<uint8_t> bytes = g_nand->Page(page + i);
    for (size_t j = 0; j < bytes.size(); ++j) bytes[j] &= data[static_cast<size_t>(i) * g_nand->PageBytes() + j];
    g_nand->written[page + i] = bytes;
  }
  return 0;
}

int NandProgramPart(int, uint32_t column, uint32_t page, uint32_t length, const uint8_t* data, const uint8_t* spare) {
  if (!g_nand || !NandInside(page, 1) || column + length > 2048) return -1;
  // The kit module writes the spare area with a whole page only; the callers of a column area
  // hand that area's share of the spare, which is recorded.
  const bool whole = column == 0 && length == 2048;
  const uint32_t spareBytes = whole ? g_nand->spare : g_nand->spare / 4;
  g_nand->partCalls.push_back({column, page, length, {}});
  if (spare) g_nand->partCalls.back().spare.assign(spare, spare + spareBytes);
  if (g_nand->failProgram.count(page)) return -1;
  std::vector<uint8_t> bytes = g_nand->Page(page);
  for (uint32_t j = 0; j < length; ++j) bytes[column + j] &= data[j];
  if (whole && spare)
    for (uint32_t j = 0; j < spareBytes; ++j) bytes[2048 + j] &= spare[j];
  g_nand->written[page] = bytes;
  return 0;
}

int NandErase(int, uint32_t block) {
  if (!g_nand || block >= g_nand->blocks) return -1;
  ++g_nand->erases;
  if (g_nand->failErase.count(block)) return -1;
  for (uint32_t p = 0; p < g_nand->pages; ++p) g_nand->written.erase(static_cast<uint64_t>(block) * g_nand->pages + p);
  return 0;
}

}  // namespace

uint32_t Nor::Start(uint32_t sector) const {
  uint32_t start = 0;
  for (uint32_t s = 0; s < sector; ++s) start += sizes[s];
  return start;
}

std::vector<uint8_t> Nand::Page(uint64_t page) const {
  auto it = written.find(page);
  return it == written.end() ? std::vector<uint8_t>(PageBytes(), 0xFF) : it->second;
}

bool Nand::BlockErased(uint32_t block) const {
  for (uint32_t p = 0; p < pages; ++p)
    if (written.count(static_cast<uint64_t>(block) * pages + p)) return false;
  return true;
}

void Bind(Nor& nor) {
  Unbind();
  g_nor = &nor;
  DeviceApiTable.gfslGetNumberOfBytesPerDevice = Bytes;
  DeviceApiTable.gfslNORGetBlockSize = BlockSize;
  DeviceApiTable.gfslNORReadRawData = NorRead;
  DeviceApiTable.gfslNORProgramRawData = NorProgram;
  DeviceApiTable.gfslNOREraseBlock = NorErase;
}

void Bind(Nand& nand) {
  Unbind();
  g_nand = &nand;
  if (nand.bbt.empty()) nand.bbt.assign(nand.blocks, 0xFF);
  DeviceApiTable.gfslGetNumberOfBytesPerDevice = Bytes;
  DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks = Blocks;
  DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock = PagesPerBlock;
  DeviceApiTable.gfslVeltanGetBBT = Bbt;
  DeviceApiTable.gfslVeltanReadRawPage = NandRead;
  DeviceApiTable.gfslVeltanProgramRawPage = NandProgram;
  DeviceApiTable.gfslVeltanProgramPage = NandProgramPart;
  DeviceApiTable.gfslVeltanEraseBlock = NandErase;
}

void Unbind() {
  lx::ResetDeviceApiCells();
  g_nor = nullptr;
  g_nand = nullptr;
}

int Host::Ask(const std::string& text, const char* caption, unsigned type) {
  asked.push_back(text);
  (void)caption;
  if (!answers.empty()) {
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  switch (type & 0xF) {
    case 0x2: return lx::prog::kAnswerAbort;
    case 0x4: return lx::prog::kAnswerNo;
    default: return lx::prog::kAnswerOk;
  }
}

bool Host::Asked(const std::string& part) const {
  for (const std::string& a : asked)
    if (a.find(part) != std::string::npos) return true;
  return false;
}

std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
#ifdef _WIN32
  if (!dir) dir = std::getenv("TEMP");
#endif
  std::string folder = dir && *dir ? dir : "/tmp";
  return folder + "/lxprog_" + name;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

}  // namespace fake

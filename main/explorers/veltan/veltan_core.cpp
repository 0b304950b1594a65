#include "veltan_core.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "device_api.h"
#include "explorer_core.h"
#include "loop_file.h"
#include "lumivex/text_format.h"
#include "lumivex/veltan_range.h"

namespace lx {

namespace {

const char* const kVolume = "/a";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ModuleSize(uint32_t value) { return value != 0 && value != 0xFFFFFFFFu; }

const char kNoTableText[] =
    "The bad block table of the device could not be read: programming and erasing are refused.\n"
    "Close the explorer and open it again to read the table anew.";

bool RefuseWithoutTable(const CVeltanBlockTable* table, VeltanHost& host) {
  if (table && table->Ready()) return false;
  host.Tell(kNoTableText);
  return true;
}

bool OutsideDevice(uint32_t first, uint32_t count, uint32_t total, VeltanHost& host) {
  if (count >= 1 && first < total && static_cast<uint64_t>(first) + count <= total) return false;
  host.Tell(Format("Pages %u to %llu do not lie on the device (pages 0 to %u).", first,
                   static_cast<unsigned long long>(first) + count - (count ? 1 : 0), total ? total - 1 : 0));
  return true;
}

}  // namespace

// ---- device facts ------------------------------------------------------------------------------------
uint8_t BusWidthFromDeviceText(const char* text) {
  static const struct {
    const char* id;
    uint8_t width;
  } kIds[] = {{"000181", 8},  {"000191", 16}, {"0001A1", 8},  {"0001B1", 16}, {"0001AA", 8},
              {"0001BA", 16}, {"0001AC", 8},  {"0001BC", 16}, {"0001F1", 8},  {"0001C1", 16},
              {"0001DA", 8},  {"0001CA", 16}, {"0001CC", 16}, {"0001D3", 8}};
  if (!text) return 8;
  std::string upper(text, strnlen(text, 512));
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.compare(1, 8, "JEDEC ID") != 0 || upper.size() < 16) return 8;
  const std::string id = upper.substr(10, 6);
  for (const auto& entry : kIds)
    if (id == entry.id) return entry.width;
  return 8;
}

uint8_t ReadBusWidth() {
  char text[512] = "";
  DeviceApiTable.gfslGetDeviceTextInfo(kVolume, text);
  text[sizeof text - 1] = 0;
  return BusWidthFromDeviceText(text);
}

uint32_t VeltanPagesPerBlock() {
  uint32_t pages = DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock(kVolume);
  return ModuleSize(pages) ? pages : 0;
}

uint32_t CountVeltanPages() {
  uint32_t blocks = DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks(kVolume);
  uint32_t pages = VeltanPagesPerBlock();
  if (!ModuleSize(blocks) || pages == 0) return 0;
  uint64_t total = static_cast<uint64_t>(blocks) * pages;
  return total > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
}

uint32_t ClampVeltanPage(int64_t page, uint32_t total) {
  if (page < 0 || total == 0) return 0;
  return page >= static_cast<int64_t>(total) ? total - 1 : static_cast<uint32_t>(page);
}

// ---- the grid -------------------------------------------------------------------------------------------
VeltanGridLayout VeltanLayout(uint8_t width, uint32_t spare) {
  const bool words = width == 16;
  VeltanGridLayout layout;
  layout.cols = words ? 10 : 18;
  layout.hexCols = words ? 8 : 16;
  layout.textCol = layout.cols - 1;
  layout.dataRows = static_cast<long>(spare / 16 + kVeltanDataBytes / 16);
  layout.hexColTwips = words ? 600 : 300;
  layout.cellBytes = words ? 2 : 1;
  return layout;
}

std::string VeltanRowLabel(long row, uint8_t width) {
  return Format("0x%03lX", static_cast<unsigned long>(row - 1) * (width == 16 ? 8u : 16u));
}

std::string VeltanColumnLabel(long col) { return Format("%02lX", static_cast<unsigned long>(col - 1)); }

std::string VeltanCellText(const uint8_t* page, long row, long col, uint8_t width) {
  const size_t offset = static_cast<size_t>(row - 1) * 16 + static_cast<size_t>(col - 1) * (width == 16 ? 2 : 1);
  if (width == 16) return Format("%04X", page[offset] | page[offset + 1] << 8);
  return Format("%02X", page[offset]);
}

std::string VeltanRowText(const uint8_t* page, long row) {
  return AsciiRowText(page + static_cast<size_t>(row - 1) * 16);
}

bool ApplyCellEdit(uint8_t* page, size_t pageBytes, long row, long col, uint8_t width, const std::string& typed) {
  const bool words = width == 16;
  const size_t digits = typed.size();
  if (row < 1 || col < 1 || col > (words ? 8 : 16) || digits < 1 || digits > (words ? 4u : 2u)) return false;
  unsigned value = 0;
  for (char c : typed) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  const size_t offset = static_cast<size_t>(row - 1) * 16 + static_cast<size_t>(col - 1) * (words ? 2 : 1);
  if (offset + (words ? 2 : 1) > pageBytes) return false;
  page[offset] = static_cast<uint8_t>(value);
  if (words) page[offset + 1] = static_cast<uint8_t>(value >> 8);
  return true;
}

bool VeltanHighlightRows(uint32_t offset, uint32_t length, uint8_t width, long dataRows, long* first, long* last) {
  uint64_t start = offset, count = length;
  if (width == 16) {
    count = offset % 2 ? (count + 2) / 2 : (count + 1) / 2;
    start = offset / 2;
  }
  const uint64_t perRow = width == 16 ? 8 : 16;
  if (count == 0 || dataRows < 1) return false;
  const uint64_t f = start / perRow;
  const uint64_t l = f + (start % perRow + count - 1) / perRow;
  if (f + 1 > static_cast<uint64_t>(dataRows)) return false;
  *first = static_cast<long>(f + 1);
  *last = static_cast<long>(std::min<uint64_t>(l + 1, static_cast<uint64_t>(dataRows)));
  return true;
}

// ---- block table -----------------------------------------------------------------------------------------
uint16_t BlockStatusOfMarker(uint8_t marker) { return marker == 0xFF ? 0xFF : marker == 0 ? 0 : 1; }

std::string FormatBlockTableFile(const uint8_t* markers, uint32_t blocks) {
  std::string text;
  text.reserve(static_cast<size_t>(blocks) * 9);
  for (uint32_t b = 0; b < blocks; ++b) text += Format("%04u:%02x\r\n", b, markers[b]);
  return text;
}

bool ParseBlockTableFile(const std::string& text, uint32_t blocks, std::vector<uint8_t>* markers, std::string* why) {
  markers->assign(blocks, 0xFF);
  size_t at = 0;
  uint32_t line = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    std::string item = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    if (!item.empty() && item.back() == '\r') item.pop_back();
    if (item.empty() && at >= text.size()) break;  // the last line's end
    size_t colon = item.find(':');
    bool good = colon != std::string::npos && colon >= 1 && item.size() == colon + 3;
    uint32_t number = 0;
    for (size_t i = 0; good && i < colon; ++i) {
      good = item[i] >= '0' && item[i] <= '9' && number < 100000000u;
      number = number * 10 + static_cast<uint32_t>(item[i] - '0');
    }
    int high = good ? HexDigit(item[colon + 1]) : -1, low = good ? HexDigit(item[colon + 2]) : -1;
    if (!good || high < 0 || low < 0) {
      *why = Format("Line %u is not \"block:marker\".", line + 1);
      return false;
    }
    if (number != line || line >= blocks) {
      *why = line >= blocks ? Format("The file lists more than the device's %u blocks.", blocks)
                            : Format("Line %u names block %u.", line + 1, number);
      return false;
    }
    (*markers)[line++] = static_cast<uint8_t>(high * 16 + low);
  }
  if (line != blocks) {
    *why = Format("The file lists %u of the device's %u blocks.", line, blocks);
    return false;
  }
  return true;
}

uint32_t CVeltanBlockTable::GetBlockCount(int volumeOffset) {
  char path[3] = {'/', static_cast<char>('a' + volumeOffset), 0};
  m_BlockCount = DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks(path);
  return m_BlockCount;
}

void CVeltanBlockTable::MarkBad(uint32_t block) {
  if (block < m_BlockCount) m_BlockStatus[block] = 0;
}

void CVeltanBlockTable::Fill(const std::vector<uint8_t>& markers, uint32_t pagesPerBlock) {
  const uint32_t size = pagesPerBlock * (m_SpareSize + kVeltanDataBytes);
  m_BlockIndex.resize(m_BlockCount);
  m_BlockSize.assign(m_BlockCount, size);
  m_BlockStart.resize(m_BlockCount);
  m_BlockStatus.resize(m_BlockCount);
  for (uint32_t b = 0; b < m_BlockCount; ++b) {
    m_BlockIndex[b] = b;
    m_BlockStart[b] = b == 0 ? 0 : m_BlockStart[b - 1] + m_BlockSize[b - 1];
    m_BlockStatus[b] = BlockStatusOfMarker(markers[b]);
  }
}

int CVeltanBlockTable::Load(int volumeOffset, VeltanHost& host) {
  ready_ = false;
  char path[3] = {'/', static_cast<char>('a' + volumeOffset), 0};
  GetBlockCount(volumeOffset);
  const uint32_t pagesPerBlock = DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock(path);
  int rc = -1;
  std::vector<uint8_t> markers;
  if (ModuleSize(m_BlockCount) && ModuleSize(pagesPerBlock)) {
    markers.assign(m_BlockCount, 0xFF);
    rc = DeviceApiTable.gfslVeltanGetBBT(path, markers.data());
  } else {
    m_BlockCount = 0;
  }
  if (rc != 0) {
    // Nothing is known of any block: each counts as bad, and whatever programs or erases waits
    // for a table that was read.
    markers.assign(m_BlockCount, 0);
    Fill(markers, ModuleSize(pagesPerBlock) ? pagesPerBlock : 0);
    host.Tell(Format("Failed to read the bad block table of the device (result %d).\n"
                     "Every block is treated as a bad block.",
                     rc));
    return rc;
  }
  const uint32_t badCount =
      static_cast<uint32_t>(std::count_if(markers.begin(), markers.end(), [](uint8_t m) { return m != 0xFF; }));
  const char kKept[] = "The bad block markers read from the device are kept.";
  if (host.Confirm(Format("Found %u bad block(s).\nDo you want to create a new bad block table file?", badCount))) {
    const std::string name = host.ScratchFolder() + "__bbt__.txt";
    const std::string text = FormatBlockTableFile(markers.data(), m_BlockCount);
    std::FILE* file = std::fopen(name.c_str(), "wb");
    bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file && std::fclose(file) != 0) written = false;
    if (written) {
      host.Tell("Bad block table file is created.");
    } else {
      host.Tell("Failed to create a bad block table file.");
      host.Tell(kKept);
    }
  } else if (host.Confirm("Do you want to load your bad block table file?")) {
    std::string name, text, why = "No file was chosen.";
    bool loaded = false;
    if (host.ChooseTableFile(&name)) {
      if (std::FILE* file = std::fopen(name.c_str(), "rb")) {
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
        loaded = !std::ferror(file);
        std::fclose(file);
        why = "The file cannot be read.";
      } else {
        why = "The file cannot be opened.";
      }
      std::vector<uint8_t> fromFile;
      if (loaded && (loaded = ParseBlockTableFile(text, m_BlockCount, &fromFile, &why))) markers = fromFile;
    }
    if (!loaded) {
      host.Tell("Failed to read your bad block table file.\n" + why);
      host.Tell(kKept);
    }
  }
  if (badCount != 0)
    m_NoPrompt = host.Confirm(
                     "Do you want to skip programming or erasing a bad block without providing a prompt to "
                     "confirm the operation?")
                     ? 1
                     : 0;
  Fill(markers, pagesPerBlock);
  ready_ = true;
  return 0;
}

// ---- find ------------------------------------------------------------------------------------------------
long FindPattern(const uint8_t* buffer, long n, long starts, long from, const uint8_t* pattern, long m) {
  for (long k = from < 0 ? 0 : from; k < starts && k + m <= n; ++k)
    if (buffer[k] == pattern[0] && std::memcmp(buffer + k, pattern, static_cast<size_t>(m)) == 0) return k;
  return -1;
}

long FindDifferent(const uint8_t* buffer, long n, long starts, long from, const uint8_t* pattern, long m) {
  for (long k = from < 0 ? 0 : from; k < starts && k + m <= n; k += m) {
    if (buffer[k] != pattern[0]) return k;
    if (m > 1 && std::memcmp(buffer + k, pattern, static_cast<size_t>(m)) != 0) return k;
  }
  return -1;
}

uint32_t VeltanWindowBytes(uint32_t spare) { return kVeltanDataBytes + spare; }

VeltanFindResult RunVeltanFind(const VeltanFind& find) {
  VeltanFindResult result;
  const long window = static_cast<long>(VeltanWindowBytes(find.spare));
  const long m = static_cast<long>(find.pattern.size());
  if (m < 1 || m > window || find.totalPages == 0) return result;
  // Two page windows one after the other: a match may run on from the first into the second.
  std::vector<uint8_t> buffer(static_cast<size_t>(window) * 2, 0xFF);
  std::vector<uint8_t> next(static_cast<size_t>(window), 0xFF);
  uint32_t page = find.page;
  long offset = find.offset < 0 ? 0 : find.offset;
  const uint32_t last = std::min(find.lastPage, find.totalPages - 1);
  for (;;) {
    if (find.tick && !find.tick(find.tickContext, page)) {
      result.outcome = VeltanFindOutcome::kStopped;
      result.page = page;
      return result;
    }
    result.page = page;
    if (DeviceApiTable.gfslVeltanReadRawPage(0, page, 1, buffer.data()) != 0) {
      result.outcome = VeltanFindOutcome::kReadError;
      return result;
    }
    long n = window;
    if (page < last) {
      const long head = std::max<long>(m, 4);
      int rc;
      if (head <= static_cast<long>(kVeltanDataBytes)) {
        rc = DeviceApiTable.gfslVeltanReadPage(0, 0, page + 1, static_cast<uint32_t>(head), buffer.data() + window);
      } else {
        // Longer than the data area: the rest lies in the next page's spare area.
        rc = DeviceApiTable.gfslVeltanReadRawPage(0, page + 1, 1, next.data());
        std::memcpy(buffer.data() + window, next.data(), static_cast<size_t>(head));
      }
      if (rc != 0) {
        result.outcome = VeltanFindOutcome::kReadError;
        result.page = page + 1;
        return result;
      }
      n = window + m;
    }
    long k = find.difference ? FindDifferent(buffer.data(), n, window, offset, find.pattern.data(), m)
                             : FindPattern(buffer.data(), n, window, offset, find.pattern.data(), m);
    if (k >= 0) {
      result.outcome = VeltanFindOutcome::kHit;
      result.offset = k;
      return result;
    }
    if (!find.wholeRange || page >= last) {
      result.outcome = VeltanFindOutcome::kNotFound;
      return result;
    }
    ++page;
    offset = 0;
  }
}

void AdvancePastHit(VeltanFind* find, const VeltanFindResult& hit) {
  find->page = hit.page;
  find->offset = hit.offset + 1;
  if (find->offset >= static_cast<long>(VeltanWindowBytes(find->spare))) {
    find->offset = 0;
    ++find->page;
  }
}

int VeltanFindProgress(uint32_t page, uint32_t start, uint32_t last) {
  if (page <= start) return 0;
  const uint64_t span = last > start + 1 ? last - start : 1;
  return static_cast<int>(std::min<uint64_t>(100, (static_cast<uint64_t>(page) - start) * 100 / span));
}

// ---- ECC ---------------------------------------------------------------------------------------------------
uint32_t SpareShareOffset(uint32_t spare, int chunk) {
  return kVeltanDataBytes + spare / kVeltanChunks * static_cast<uint32_t>(chunk);
}

std::string CheckEccSettings(const EccSettings& settings, uint32_t spare) {
  const uint64_t share = spare / kVeltanChunks;
  if (settings.method == 0 && settings.eccOffset + 2ull > share)
    return Format("The ECC offset %u leaves no room for the 2-byte code in a spare share of %u bytes.",
                  settings.eccOffset, static_cast<unsigned>(share));
  if (settings.method == 1 && settings.bchOffset + static_cast<uint64_t>(kBchParityStored) > share)
    return Format("The BCH offset %u leaves no room for the %u parity bytes in a spare share of %u bytes.",
                  settings.bchOffset, kBchParityStored, static_cast<unsigned>(share));
  if (settings.method > 1)
    return Format("The ECC module's method %u is neither 0 (Hamming ECC) nor 1 (BCH).", settings.method);
  return std::string();
}

long BchLocationBit(uint32_t location) {
  if (location > kBchLastLocation) return -1;
  const uint32_t d = kBchLastLocation - location;
  return static_cast<long>((d & ~31u) + (3 - (d % 32) / 8) * 8 + (7 - d % 8));
}

uint32_t BchBitLocation(uint32_t bit) {
  const uint32_t d = (bit & ~31u) + (3 - (bit % 32) / 8) * 8 + (7 - bit % 8);
  return kBchLastLocation - d;
}

void BuildBchRecord(const uint8_t* page, uint32_t spare, int chunk, uint32_t bchOffset, uint8_t* record) {
  std::memcpy(record, page + kVeltanChunkBytes * static_cast<uint32_t>(chunk), kVeltanChunkBytes);
  const uint64_t place = static_cast<uint64_t>(SpareShareOffset(spare, chunk)) + bchOffset;
  const uint64_t pageBytes = kVeltanDataBytes + spare;
  for (uint32_t i = 0; i < kBchParityRecord; ++i)
    record[kVeltanChunkBytes + i] = place + i < pageBytes ? page[place + i] : 0xFF;
}

void CheckPageEcc(const uint8_t* page, uint32_t spare, const EccSettings& settings, const EccModuleCalls& module,
                  VeltanHost& host) {
  const std::string refused = CheckEccSettings(settings, spare);
  if (!refused.empty()) {
    host.Tell(refused);
    return;
  }
  const size_t pageBytes = kVeltanDataBytes + spare;
  std::vector<uint8_t> work(page, page + pageBytes);
  for (int i = 0; i < kVeltanChunks; ++i) {
    const uint32_t base = kVeltanChunkBytes * static_cast<uint32_t>(i);
    int result;
    std::vector<uint8_t> record(kBchRecordBytes);
    uint32_t locations[kBchMaxLocations] = {0, 0, 0, 0};
    uint32_t count = 0;
    if (settings.method == 0) {
      uint8_t computed[2] = {0, 0};
      module.calculateEcc(module.context, work.data() + base, computed);
      result = module.correctEcc(module.context, work.data() + base,
                                 work.data() + SpareShareOffset(spare, i) + settings.eccOffset, computed, 1);
    } else {
      BuildBchRecord(page, spare, i, settings.bchOffset, record.data());
      result = module.correctBch(module.context, record.data(), locations, &count);
    }
    host.Tell(Format("Check 512 Bytes data starting at offset 0x%X in Byte.", base));
    if (result == 0) {
      host.Tell("No error found.");
    } else if (result == 3) {
      host.Tell("Uncorrectable error found.");
    } else if (result == 1 && settings.method == 0) {
      for (uint32_t k = base; k < base + kVeltanChunkBytes; ++k)
        if (page[k] != work[k])
          host.Tell(Format("Data at offset 0x%X in Byte is incorrect...\n0x%02X should be 0x%02X", k, page[k], work[k]));
    } else if (result == 2 && settings.method == 0) {
      host.Tell("Parity error found.");
    } else if (result == 1) {
      host.Tell("Error detected.");
    } else if (result == 2) {
      if (count > kBchMaxLocations) {
        host.Tell(Format("The ECC module reported %u error locations; a chunk has room for %u.", count,
                         kBchMaxLocations));
        continue;
      }
      for (uint32_t e = 0; e < count; ++e) {
        const long bit = BchLocationBit(locations[e]);
        if (bit < 0) {
          host.Tell(Format("The ECC module reported the error location %u, beyond the %u bits of a codeword.",
                           locations[e], kBchLastLocation));
          continue;
        }
        const int value = record[static_cast<size_t>(bit / 8)] >> (bit % 8) & 1;
        host.Tell(Format("Data at offset 0x%lX in Byte (bit at offset 0x%lX in bit) is incorrect...\n%01X should be %01X",
                         bit / 8, bit, value, 1 - value));
      }
    }
  }
}

void ComputePageEcc(uint8_t* page, uint32_t spare, const EccSettings& settings, const EccModuleCalls& module) {
  for (int i = 0; i < kVeltanChunks; ++i) {
    uint8_t* chunk = page + kVeltanChunkBytes * static_cast<uint32_t>(i);
    if (settings.method == 0) {
      uint8_t code[2] = {0, 0};
      module.calculateEcc(module.context, chunk, code);
      std::memcpy(page + SpareShareOffset(spare, i) + settings.eccOffset, code, 2);
    } else {
      uint8_t record[kBchRecordBytes] = {};
      std::memcpy(record, chunk, kVeltanChunkBytes);
      module.calculateBch(module.context, record);
      std::memcpy(page + SpareShareOffset(spare, i) + settings.bchOffset, record + kVeltanChunkBytes, kBchParityStored);
    }
  }
}

// ---- writing pages back ----------------------------------------------------------------------------------
namespace {

// "page #197" or "pages #197, #202", at most eight numbers.
std::string FailedPages(const std::vector<uint32_t>& pages) {
  std::string text = pages.size() == 1 ? "page" : "pages";
  const size_t shown = std::min<size_t>(pages.size(), 8);
  for (size_t i = 0; i < shown; ++i) text += Format("%s #%u", i ? "," : "", pages[i]);
  if (pages.size() > shown) text += Format(" and %u more", static_cast<unsigned>(pages.size() - shown));
  return text;
}

// A block that a rewrite left damaged goes into a file of its own, named by the block; a file
// kept earlier for the same block stays as well.
std::string KeepBlock(const std::string& folder, uint32_t block, const std::vector<uint8_t>& bytes) {
  return KeepInFileOfItsOwn(folder, Format("block_%u", block), bytes.data(), bytes.size());
}

std::string KeptText(const std::string& kept, const std::string& scratch) {
  if (!kept.empty()) return Format("Its pages, with your edit, are kept in %s.", kept.c_str());
  return Format("Its pages could not be written to a file of their own; the pages read before the erase are in %s "
                "until the next rewrite.",
                scratch.c_str());
}

}  // namespace

bool RewriteBlock(uint32_t currentPage, uint8_t* page, uint32_t spare, CVeltanBlockTable* table, VeltanHost& host,
                  void (*beforeCurrent)(void* context, uint8_t* page), void* context) {
  if (RefuseWithoutTable(table, host)) return false;
  const uint32_t perBlock = VeltanPagesPerBlock();
  if (perBlock == 0) {
    host.Tell("The device reports no pages per block.");
    return false;
  }
  const uint32_t block = currentPage / perBlock, first = block * perBlock;
  if (table->IsBad(block)) {
    // Erasing a bad block would wipe its marker: the block would pass for good from then on.
    host.Tell(Format("Bad block notification: block #%u is a bad block", block));
    return false;
  }
  const size_t record = kVeltanDataBytes + spare;
  // The block as the user means it: the device's pages, the edited one in its place.
  std::vector<uint8_t> meant;
  try {
    meant.resize(static_cast<size_t>(perBlock) * record);
  } catch (const std::bad_alloc&) {
    host.Tell("Error: Not enough system memory.");
    return false;
  }
  const std::string folder = host.ScratchFolder(), scratch = folder + "__temp__.bin";
  std::FILE* file = std::fopen(scratch.c_str(), "wb");
  if (!file) {
    host.Tell("Failed to create a temporary file.");
    return false;
  }
  host.BeginBusy();
  for (uint32_t p = first; p < first + perBlock; ++p) {
    uint8_t* slot = meant.data() + static_cast<size_t>(p - first) * record;
    const char* failure = nullptr;
    if (DeviceApiTable.gfslVeltanReadRawPage(0, p, 1, slot) != 0)
      failure = "Failed to read a source page.";
    else if (std::fwrite(slot, 1, record, file) != record)
      failure = "Failed to write a temporary file.";
    if (failure) {
      host.EndBusy();
      std::fclose(file);
      host.Tell(failure);
      return false;
    }
  }
  host.EndBusy();
  // The block is erased only once its copy is safely in the file.
  if (std::fclose(file) != 0) {
    host.Tell("Failed to write a temporary file.");
    return false;
  }
  uint8_t* current = meant.data() + static_cast<size_t>(currentPage - first) * record;
  std::memcpy(current, page, record);
  if (DeviceApiTable.gfslVeltanEraseBlock(0, block) != 0) {
    // A failed erase may have taken some of the pages.
    table->MarkBad(block);
    host.Tell(Format("Error: Erase failed at block #%u.\nThe block is marked as a bad block.\n%s", block,
                     KeptText(KeepBlock(folder, block, meant), scratch).c_str()));
    return false;
  }
  // Every page is programmed even after one fails: only the failing pages are lost.
  std::vector<uint32_t> failed;
  host.BeginBusy();
  for (uint32_t p = first; p < first + perBlock; ++p) {
    uint8_t* source = meant.data() + static_cast<size_t>(p - first) * record;
    if (p == currentPage) {
      if (beforeCurrent) beforeCurrent(context, page);
      std::memcpy(source, page, record);
    }
    if (DeviceApiTable.gfslVeltanProgramRawPage(0, p, 1, source) != 0) failed.push_back(p);
  }
  host.EndBusy();
  if (failed.empty()) return true;
  table->MarkBad(block);
  host.Tell(Format("Error: Program failed at %s.\n%u of %u page(s) of block #%u were programmed; the block is marked as a "
                   "bad block.\n%s",
                   FailedPages(failed).c_str(), perBlock - static_cast<uint32_t>(failed.size()), perBlock, block,
                   KeptText(KeepBlock(folder, block, meant), scratch).c_str()));
  return false;
}

uint32_t ImportVeltanPages(std::FILE* file, uint64_t fileBytes, const VeltanTransfer& transfer, CVeltanBlockTable& table,
                           VeltanHost& host) {
  if (RefuseWithoutTable(&table, host)) return 0;
  const uint32_t perBlock = VeltanPagesPerBlock();
  if (perBlock == 0 || OutsideDevice(transfer.first, transfer.count, CountVeltanPages(), host)) return 0;
  const size_t record = kVeltanDataBytes + (transfer.withoutSpare ? 0 : transfer.spare);
  if (fileBytes < static_cast<uint64_t>(transfer.count) * record) {
    host.Tell("Error: File length is shorter than programming request.");
    return 0;
  }
  std::vector<uint8_t> buffer(kVeltanDataBytes + transfer.spare, 0xFF);
  std::vector<uint8_t> dropped(record);
  uint32_t programmed = 0, records = 0, passed = 0;
  bool cut = false;  // ended before the range's end: Stop, or the file's end
  std::string failureText;
  host.BeginBusy();
  // A bad block's pages leave the range. With the shift policy the data moves on by whole blocks
  // (a range that begins inside a bad block goes on at the same place of the next block); with
  // the skip policy every record keeps its page, so a good page of the range always gets its own.
  const VeltanBadStep step = transfer.policy == 1 ? VeltanBadStep::kToBlockEnd : VeltanBadStep::kWholeBlock;
  WalkVeltanRange(
      transfer.first, transfer.count, perBlock, step,
      [&](uint64_t block) { return table.IsBad(static_cast<uint32_t>(block)); },
      [&](uint64_t block, uint64_t pages, uint64_t over) {
        if (!host.Step()) {
          cut = true;
          return false;
        }
        if (!table.m_NoPrompt) host.Tell(Format("Bad block notification: block #%u is a bad block", static_cast<uint32_t>(block)));
        passed += static_cast<uint32_t>(over);
        if (transfer.policy == 1)
          for (uint64_t r = 0; r < pages && std::fread(dropped.data(), 1, record, file) == record; ++r) ++records;
        return true;
      },
      [&](uint64_t page) {
        if (!host.Step() || std::fread(buffer.data(), 1, record, file) == 0) {
          cut = true;
          return false;
        }
        ++records;
        if (DeviceApiTable.gfslVeltanProgramRawPage(0, static_cast<uint32_t>(page), 1, buffer.data()) != 0) {
          // Import programs without erasing: a page written before fails as well as a block gone
          // bad, so the block is reported, not marked.
          failureText = Format("Error: Program failed at page #%u (block #%u).\n%u page(s) were imported.",
                               static_cast<uint32_t>(page), static_cast<uint32_t>(page / perBlock), programmed);
          return false;
        }
        ++programmed;
        return true;
      });
  host.EndBusy();
  if (failureText.empty()) {
    const uint32_t unplaced = cut ? 0 : transfer.count - std::min(transfer.count, records);
    failureText = "Import finished." + VeltanRangeNotes(passed, unplaced, transfer.first, transfer.count);
  }
  host.Tell(failureText);
  return programmed;
}

uint32_t ExportVeltanPages(const std::string& path, const VeltanTransfer& transfer, VeltanHost& host) {
  const uint32_t total = CountVeltanPages();
  // Only a range that begins past the end has nothing to write; one that runs past it writes
  // the pages that exist.
  if (transfer.count == 0 || transfer.first >= total) {
    OutsideDevice(transfer.first, transfer.count, total, host);
    return 0;
  }
  const uint32_t count = std::min(transfer.count, total - transfer.first);
  std::vector<uint8_t> buffer(kVeltanDataBytes + transfer.spare, 0xFF);
  const size_t record = transfer.withoutSpare ? kVeltanDataBytes : buffer.size();
  uint32_t written = 0;
  std::string failure;
  // The file is created once the first page is in hand: an existing file of that name is not
  // emptied by an export that has nothing to put in its place.
  std::FILE* file = nullptr;
  host.BeginBusy();
  for (uint32_t i = 0; i < count; ++i) {
    if (!host.Step()) {
      failure = Format("Export stopped: %u page(s) were exported.", written);
      break;
    }
    if (DeviceApiTable.gfslVeltanReadRawPage(0, transfer.first + i, 1, buffer.data()) != 0) {
      failure = Format("Failed to read page #%u: %u page(s) were exported.", transfer.first + i, written);
      break;
    }
    if (!file && !(file = std::fopen(path.c_str(), "wb"))) {
      failure = "Failed to write a destination file.";
      break;
    }
    if (std::fwrite(buffer.data(), 1, record, file) != record) {
      failure = "Failed to write a destination file.";
      break;
    }
    ++written;
  }
  if (file && std::fclose(file) != 0 && failure.empty()) failure = "Failed to write a destination file.";
  host.EndBusy();
  if (failure.empty()) {
    failure = "Export finished.";
    if (count < transfer.count)
      failure += Format("\n%u of %u page(s) were exported: pages %u to %llu do not lie on the device (pages 0 to %u).",
                        written, transfer.count, total, static_cast<unsigned long long>(transfer.first) + transfer.count - 1,
                        total - 1);
  }
  host.Tell(failure);
  return written;
}

std::string VeltanFileInformation(uint64_t bytes, uint32_t spare) {
  return Format("File information: Total %llu Bytes, %llu/%llu pages without/with spare",
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(bytes / kVeltanDataBytes),
                static_cast<unsigned long long>(bytes / (kVeltanDataBytes + spare)));
}

}  // namespace lx

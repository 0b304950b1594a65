#include "nor_core.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "explorer_core.h"
#include "loop_file.h"
#include "lumivex/text_format.h"

namespace lx {

namespace {

std::string Range(uint64_t first, uint64_t last) {
  return Format("0x%08X - 0x%08X", static_cast<unsigned>(first), static_cast<unsigned>(last));
}

std::string Density(uint64_t first, uint64_t last) {
  return Format("%ld KB", static_cast<long>((last - first + 1) / 1024));
}

}  // namespace

// ---- sector table ------------------------------------------------------------------------------
int CNorSectorTable::Build(NorBlockSource& source) {
  Free();
  uint64_t next = 0;
  for (int32_t i = 0; i < kMaxSectors; ++i) {
    const uint32_t bytes = source.BlockSize(static_cast<uint32_t>(i));
    if (static_cast<int32_t>(bytes) < 1) break;
    // A module that keeps answering sizes must not carry the starts past 32 bits.
    if (next + bytes > 0x100000000ull) break;
    index.push_back(static_cast<uint32_t>(i));
    size.push_back(bytes);
    start.push_back(static_cast<uint32_t>(next));
    next += bytes;
  }
  count = static_cast<int32_t>(size.size());
  status.assign(size.size(), 0);
  for (int32_t i = 0; i < count; ++i) ReadStatus(source, i);
  return 0;
}

void CNorSectorTable::ReadStatus(NorBlockSource& source, int32_t sector) {
  if (sector < 0 || sector >= count) return;
  source.BlockStatus(static_cast<uint32_t>(sector), &status[static_cast<size_t>(sector)]);
}

int32_t CNorSectorTable::IndexOf(uint32_t address) const {
  int32_t i = 0;
  while (i < count && start[static_cast<size_t>(i)] <= address) ++i;
  return i - 1;
}

void CNorSectorTable::Free() {
  index.clear();
  size.clear();
  start.clear();
  status.clear();
  count = 0;
}

// ---- windows -----------------------------------------------------------------------------------
int32_t NorWindowCount(uint64_t deviceBytes, uint32_t windowSize) {
  if (deviceBytes == 0 || deviceBytes > 0x7FFFFFFFFFFFFFFFull || windowSize == 0) return 0;
  const uint64_t windows = deviceBytes / windowSize;
  return windows > 0x7FFFFFFFull ? 0x7FFFFFFF : static_cast<int32_t>(windows);
}

int32_t ClampWindowIndex(int64_t index, int32_t count) {
  if (count <= 0 || index < 0) return 0;
  return index >= count ? count - 1 : static_cast<int32_t>(index);
}

int NorRowsPerWindow(uint32_t windowSize) { return static_cast<int>(std::max<uint32_t>(windowSize, 16) / 16); }

std::string NorRowLabel(uint32_t address) { return Format("0x%08X", static_cast<unsigned>(address)); }

EraseRewritePlan PlanEraseRewrite(const CNorSectorTable& table, uint32_t windowAddress, uint32_t windowSize) {
  EraseRewritePlan plan;
  plan.sector = table.IndexOf(windowAddress);
  if (plan.sector < 0) {
    plan.refusal = "The device has no sector table: nothing was erased or programmed.";
    return plan;
  }
  const uint32_t start = table.start[static_cast<size_t>(plan.sector)];
  const uint32_t bytes = table.size[static_cast<size_t>(plan.sector)];
  const uint64_t windowEnd = static_cast<uint64_t>(windowAddress) + windowSize;
  if (windowSize == 0 || bytes < windowSize || bytes % windowSize != 0 || windowEnd > uint64_t(start) + bytes) {
    plan.refusal =
        "The window does not lie inside one sector as a whole number of windows: nothing was erased or "
        "programmed.\nChoose a smaller window size in the options.";
    return plan;
  }
  plan.ok = true;
  plan.sectorStart = start;
  plan.windows = bytes / windowSize;
  return plan;
}

std::string ProgramCompareFailure(uint32_t address, const uint8_t* sent, const uint8_t* back, uint32_t size) {
  uint32_t differ = 0, first = 0;
  for (uint32_t i = 0; i < size; ++i) {
    if (sent[i] == back[i]) continue;
    if (differ++ == 0) first = address + i;
  }
  if (differ == 0) return std::string();
  return Format("Error: Program failed: %u of %u byte(s) do not hold the programmed data, the first at address "
                "0x%08X.\nThe sector may be protected, or not erased.",
                differ, size, first);
}

// ---- find ---------------------------------------------------------------------------------------
NorPatternError ParseNorPattern(const std::string& text, int kind, size_t maxBytes, std::vector<uint8_t>* pattern) {
  pattern->clear();
  if (kind == 1) {
    switch (ParseHexPattern(text.c_str(), pattern)) {
      case PatternError::kNotHex: return NorPatternError::kNotHex;
      default: break;
    }
  } else {
    pattern->assign(text.begin(), text.end());
  }
  if (pattern->empty()) return NorPatternError::kEmpty;
  if (pattern->size() > maxBytes) return NorPatternError::kTooLong;
  return NorPatternError::kNone;
}

const char* NorPatternErrorText(NorPatternError error) {
  switch (error) {
    case NorPatternError::kEmpty: return "Please enter a string to find.";
    case NorPatternError::kTooLong: return "The string to find is longer than one window.";
    case NorPatternError::kNotHex: return "A hexadecimal string holds only the digits 0-9, A-F and blanks.";
    default: return "";
  }
}

int32_t SearchWindowBytes(const uint8_t* data, int32_t searched, int32_t limit, int32_t from,
                          const std::vector<uint8_t>& pattern, bool different) {
  const int32_t length = static_cast<int32_t>(pattern.size());
  if (length == 0 || from < 0) return -1;
  if (different) {
    for (int32_t p = from; p < limit && p + length <= searched; p += length)
      if (std::memcmp(data + p, pattern.data(), static_cast<size_t>(length)) != 0) return p;
    return -1;
  }
  for (int32_t p = from; p < limit && p + length <= searched; ++p)
    if (data[p] == pattern[0] && std::memcmp(data + p, pattern.data(), static_cast<size_t>(length)) == 0) return p;
  return -1;
}

NorFindResult RunNorFind(NorFind& f) {
  NorFindResult result;
  const int32_t length = static_cast<int32_t>(f.pattern.size());
  const int32_t window = static_cast<int32_t>(f.windowSize);
  if (length == 0 || length > window || f.windowCount <= 0 || !f.read) return result;
  const int32_t last = f.windowCount - 1;
  const int32_t to = std::min(std::max(f.to, 0), last);
  std::vector<uint8_t> data(static_cast<size_t>(f.windowSize) * 2);
  for (;;) {
    if (f.current < 0 || f.current > last || f.position < 0 || f.position >= window) {
      f.position = 0;
      return result;  // nothing left to search
    }
    const uint64_t address = static_cast<uint64_t>(f.current) * f.windowSize;
    if (address + f.windowSize > 0x100000000ull || f.read(f.context, static_cast<uint32_t>(address), f.windowSize, data.data()) != 0) {
      result.outcome = NorFindOutcome::kReadError;
      result.window = f.current;
      return result;
    }
    // A hit may run on into the next window while that one is still to be searched.
    int32_t searched = window;
    if (f.current < to && length > 1 &&
        f.read(f.context, static_cast<uint32_t>(address + f.windowSize), static_cast<uint32_t>(length - 1),
               data.data() + window) == 0)
      searched = window + length - 1;
    const int32_t p = SearchWindowBytes(data.data(), searched, window, f.position, f.pattern, f.different);
    if (p >= 0) {
      result.outcome = NorFindOutcome::kHit;
      result.window = f.current;
      result.offset = p;
      f.position = p + 1;
      if (f.position >= window) {
        f.position = 0;
        ++f.current;
      }
      return result;
    }
    f.position = 0;
    if (!f.range || f.current >= to) return result;
    ++f.current;
    const int32_t span = to - f.start >= 2 ? to - f.start : 1;
    const int percent = std::min(100, std::max(0, static_cast<int>(int64_t(f.current - f.start) * 100 / span)));
    if (f.tick && !f.tick(f.tickContext, percent)) {
      result.outcome = NorFindOutcome::kStopped;
      result.window = f.current;
      return result;
    }
  }
}

// ---- numbers -------------------------------------------------------------------------------------
bool ParseAutoBase(const std::string& text, uint32_t* value) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  *value = static_cast<uint32_t>(std::strtoull(text.c_str(), nullptr, 0));
  return true;
}

// ---- dumps and lists -------------------------------------------------------------------------------
namespace {
std::string Header(int indent, int first, int last) {
  std::string text(static_cast<size_t>(indent), ' ');
  for (int c = first; c <= last; ++c) text += Format("%02X ", c);
  return text;
}
std::string Bytes(const uint8_t* bytes, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += Format("%02X ", bytes[i]);
  return text;
}
}  // namespace

std::string HexDump1024(const uint8_t* bytes, uint32_t base) {
  std::string text = Header(11, 0, 15) + "\r\n" + std::string(11, '-');
  for (int i = 0; i < 16; ++i) text += "---";
  text += "\r\n";
  for (int line = 0; line < 64; ++line)
    text += Format("0x%08X ", static_cast<unsigned>(base + 16u * static_cast<uint32_t>(line))) + Bytes(bytes + 16 * line, 16) +
            "\r\n";
  return text;
}

std::vector<std::string> SectorGeometryLines(const CNorSectorTable& table) {
  std::vector<std::string> lines = {"*** Please be noticed that 'Addr' stands for Byte address. ***",
                                    "Sec  #  Start Addr   End Addr        Size", std::string(66, '-')};
  for (int32_t i = 0; i < table.count; ++i)
    lines.push_back(Format("%6d  0x%08X  0x%08X  %5d KBytes", static_cast<int>(i), static_cast<unsigned>(table.start[size_t(i)]),
                           static_cast<unsigned>(table.End(i)), static_cast<int>(table.size[size_t(i)] / 1024)));
  return lines;
}

int DeviceVariant(const CNorSectorTable& table) { return table.count > 0 ? (table.status[0] >> 5) & 7 : 0; }

std::vector<std::string> NoPersistentBitsNotice() {
  return {"*** Please be noticed the following. ***",
          "1. 65nm device doesn't support a persistent protection bit.",
          "2. Though it has a software protection, but this feature allows",
          "   a range of sectors to be protected from program or erase",
          "   until a hardware reset or power is removed from the device.",
          "   Therefore Lumivex doesn't provide a software protection",
          "   in case of 65nm device.",
          std::string(74, '-')};
}

std::vector<std::string> ProtectionListLines(const CNorSectorTable& table, int deviceKind) {
  const bool locked = table.count > 0 && (table.status[0] & 0x0800);
  std::vector<std::string> lines = {
      "*** Please be noticed that 'Addr' stands for Byte address. ***",
      locked ? "Unique Device PPB Lock Bit has been locked." : "Unique Device PPB Lock Bit has been unlocked.",
      deviceKind == 2 ? "PGrp #  Start Addr   End Addr    ASP Reg      PPB          DYB"
                      : "PGrp #  Start Addr   End Addr   Lock Reg      PPB          DYB",
      std::string(74, '-')};
  for (int32_t i = 0; i < table.count; ++i) {
    const uint16_t s = table.status[size_t(i)];
    lines.push_back(Format("%6d  0x%08X  0x%08X    %s    %s  %s", static_cast<int>(i), static_cast<unsigned>(table.start[size_t(i)]),
                           static_cast<unsigned>(table.End(i)), Format("0x%02X", s & 0xFF).c_str(),
                           (s & 0x0100) ? "Unprotected" : "Protected  ", (s & 0x1000) ? "Unprotected" : "Protected  "));
  }
  return lines;
}

uint32_t LockRegisterValue(const int boxes[5]) {
  uint32_t value = 0;
  for (int n = 0; n < 5; ++n)
    if (boxes[n]) value |= 1u << n;
  return value;
}

void LockRegisterBoxes(uint16_t status, int boxes[5]) {
  for (int n = 0; n < 5; ++n) boxes[n] = (status >> n) & 1;
}

// ---- pages -------------------------------------------------------------------------------------------
std::vector<NorPage> GeometrySheetPages(int kind, int code, int startPage) {
  using P = NorPage;
  std::vector<NorPage> pages;
  auto spiRegisters = [&](bool withOtp) {
    switch (code) {
      case 3001:
        pages.insert(pages.end(), {P::kMarroStatus1, P::kMarroStatus2});
        if (withOtp) pages.push_back(P::kMarroOtp);
        break;
      case 3002:
        pages.insert(pages.end(), {P::kMarroStatus1, P::kMarroStatus2, P::kMarroStatus3});
        if (withOtp) pages.push_back(P::kMarroOtp);
        break;
      case 3003: pages.push_back(P::kMarroStatus1); break;
      case 10:
      case 3004:
        pages.insert(pages.end(), {P::kSpiStatus, P::kSpiConfiguration});
        if (withOtp) pages.push_back(P::kPirelOtp);
        break;
      case 3005: pages.push_back(P::kSpiStatus); break;
      case 3006:
        pages.insert(pages.end(), {P::kProtectGroup, P::kAspRegister, P::kSpiStatus, P::kBessaStatus2,
                                   P::kSpiConfiguration, P::kDataLearning});
        if (withOtp) pages.push_back(P::kBessaOtp);
        break;
      default: break;
    }
  };
  switch (startPage) {
    case 0:
      pages = {P::kSectorGeometry, P::kCfiData};
      if (kind == 1) pages.insert(pages.end(), {P::kProtectGroup, P::kLockRegister, P::kSecSi});
      if (kind == 2) {
        pages.push_back(P::kSpiProtectGroup);
        spiRegisters(true);
      }
      break;
    case 1:
    case 2:
      if (kind == 1 || kind == 2) pages.push_back(startPage == 1 ? P::kSectorGeometry : P::kCfiData);
      break;
    case 3:
    case 4:
    case 5:
      if (kind == 1) pages = {P::kProtectGroup, P::kLockRegister};
      if (kind == 2) {
        pages.push_back(P::kSpiProtectGroup);
        spiRegisters(false);
      }
      break;
    case 6:
      if (kind == 1) pages.push_back(P::kSecSi);
      if (kind == 2 && (code == 10 || code == 3004)) pages.push_back(P::kPirelOtp);
      if (kind == 2 && (code == 3001 || code == 3002)) pages.push_back(P::kMarroOtp);
      if (kind == 2 && code == 3006) pages.push_back(P::kBessaOtp);
      break;
    default: break;
  }
  return pages;
}

// ---- SPI block protection: BP layout -----------------------------------------------------------------
std::vector<std::string> BpSelectorEntries() {
  std::vector<std::string> entries;
  for (int v = 0; v < 8; ++v) entries.push_back(Format("[BP2]%d [BP1]%d [BP0]%d", (v >> 2) & 1, (v >> 1) & 1, v & 1));
  return entries;
}

std::vector<ProtectRow> BpProtectionRows(uint32_t s, bool tbprot) {
  std::vector<ProtectRow> rows;
  rows.push_back({{"BP2", "BP1", "BP0", "Protected Address Range", "Unprotected Address Range", "Portion"}});
  const uint64_t size = s, unit = size / 64;
  for (int v = 0; v < 8; ++v) {
    ProtectRow row;
    row.cells = {Format("%d", (v >> 2) & 1), Format("%d", (v >> 1) & 1), Format("%d", v & 1), "", "", ""};
    row.cells[5] = v == 0 ? "None" : v == 7 ? "All" : Format("1/%ld", 1L << (7 - v));
    if (size > 0) {
      if (v == 0) {
        row.cells[3] = "None";
        row.cells[4] = Range(0, size - 1);
      } else if (v == 7) {
        row.cells[3] = Range(0, size - 1);
        row.cells[4] = "None";
      } else if (!tbprot) {
        const uint64_t first = size - (uint64_t(1) << (v - 1)) * unit;
        row.cells[3] = Range(first, size - 1);
        row.cells[4] = first ? Range(0, first - 1) : "None";
      } else {
        const uint64_t end = (uint64_t(1) << (v - 1)) * unit;
        row.cells[3] = end ? Range(0, end - 1) : "None";
        row.cells[4] = Range(end, size - 1);
      }
    }
    rows.push_back(row);
  }
  return rows;
}

int BpEntryFromStatus(uint8_t status) { return (status & 0x1C) >> 2; }

uint8_t BpApply(uint8_t status, int entry) { return static_cast<uint8_t>((status & 0xE3) | ((entry * 4) & 0x1C)); }

// ---- SPI block protection: SEC/TB/BP layout ------------------------------------------------------------
bool IsTwoMiB(uint32_t deviceBytes) { return deviceBytes == 0x200000; }

std::vector<int> SecValues(bool twoMiB) {
  std::vector<int> values;
  const int n = twoMiB ? 6 : 7;
  for (int v = 0; v < n; ++v) values.push_back(v);        // group A
  for (int b = 1; b <= n; ++b) values.push_back(8 + b);   // group B
  for (int v = 17; v <= 20; ++v) values.push_back(v);     // group C
  for (int v = 25; v <= 28; ++v) values.push_back(v);     // group D
  return values;
}

namespace {
// Which bit columns show "X" (don't care) for a value: SEC and TB, and BP0.
void DontCare(int v, bool twoMiB, bool* secTb, bool* bp0) {
  const int lastB = twoMiB ? 14 : 15;
  *secTb = v == 0 || v == lastB;
  *bp0 = (twoMiB && v == lastB) || v == 20 || v == 28;
}
std::string Bit(int v, int bit, bool dontCare) { return dontCare ? "X" : Format("%d", (v >> bit) & 1); }
}  // namespace

std::vector<std::string> SecSelectorEntries(bool twoMiB) {
  std::vector<std::string> entries;
  for (int v : SecValues(twoMiB)) {
    bool secTb = false, bp0 = false;
    DontCare(v, twoMiB, &secTb, &bp0);
    entries.push_back("[SEC]" + Bit(v, 4, secTb) + " [TB]" + Bit(v, 3, secTb) + " [BP2]" + Bit(v, 2, false) +
                      " [BP1]" + Bit(v, 1, false) + " [BP0]" + Bit(v, 0, bp0));
  }
  return entries;
}

int SecEntryFromStatus(uint8_t status, bool twoMiB) {
  const int v = (status & 0x7C) >> 2;
  int entry = 0;
  if (!twoMiB) {
    if (v >= 1 && v <= 6) entry = v;
    if (v >= 9 && v <= 14) entry = v - 2;
    if ((v & 7) == 7) entry = 13;
    if (v >= 17 && v <= 19) entry = v - 3;
    if (v == 20 || v == 21) entry = 17;
    if (v >= 25 && v <= 27) entry = v - 7;
    if (v == 28 || v == 29) entry = 21;
  } else {
    if (v >= 1 && v <= 5) entry = v;
    if (v >= 9 && v <= 13) entry = v - 3;
    if ((v & 6) == 6) entry = 11;
    if (v >= 17 && v <= 19) entry = v - 5;
    if (v == 20 || v == 21) entry = 15;
    if (v >= 25 && v <= 27) entry = v - 9;
    if (v == 28 || v == 29) entry = 19;
  }
  return entry;
}

int SecValueFromEntry(int i, bool twoMiB) {
  if (!twoMiB) {
    if (i >= 0 && i <= 6) return i;
    if (i >= 7 && i <= 12) return i + 2;
    if (i == 13) return 7;
    if (i >= 14 && i <= 17) return i + 3;
    if (i >= 18 && i <= 21) return i + 7;
  } else {
    if (i >= 0 && i <= 5) return i;
    if (i >= 6 && i <= 10) return i + 3;
    if (i == 11) return 6;
    if (i >= 12 && i <= 15) return i + 5;
    if (i >= 16 && i <= 19) return i + 9;
  }
  return 0;
}

uint8_t SecApply(uint8_t status, int entry, bool twoMiB) {
  const int v = SecValueFromEntry(entry, twoMiB);
  return static_cast<uint8_t>((status & 0x83) | ((v * 4) & 0x7C));
}

std::vector<ProtectRow> SecProtectionRows(uint32_t s, bool cmp) {
  const bool twoMiB = IsTwoMiB(s);
  const int n = twoMiB ? 6 : 7;
  const uint64_t size = s, unit = twoMiB ? size / 32 : size / 64;
  std::vector<ProtectRow> rows;
  rows.push_back({{"SEC", "TB", "BP2", "BP1", "BP0", "Protected Address Range", "Density", "Portion"}});
  for (int v : SecValues(twoMiB)) {
    bool secTb = false, bp0 = false;
    DontCare(v, twoMiB, &secTb, &bp0);
    ProtectRow row;
    row.cells = {Bit(v, 4, secTb), Bit(v, 3, secTb), Bit(v, 2, false), Bit(v, 1, false), Bit(v, 0, bp0), "", "", ""};
    bool none = false;
    uint64_t first = 0, last = 0;
    std::string portion;
    if (size == 0) {
      rows.push_back(row);
      continue;
    }
    if (v == 0) {
      none = !cmp;
      first = 0;
      last = size - 1;
      portion = cmp ? "All" : "None";
    } else if (v < 8) {  // group A: an upper part
      const uint64_t edge = size - (uint64_t(1) << (v - 1)) * unit;
      const long parts = 1L << (n - v);
      if (!cmp) {
        first = edge, last = size - 1;
        portion = Format("Upper 1/%ld", parts);
      } else {
        first = 0, last = edge - 1;
        portion = Format("Lower %ld/%ld", parts - 1, parts);
      }
    } else if (v < 16) {  // group B: a lower part
      const int b = v - 8;
      const uint64_t edge = (uint64_t(1) << (b - 1)) * unit;
      const long parts = 1L << (n - b);
      if (!cmp) {
        first = 0, last = edge - 1;
        portion = b == n ? "All" : Format("Lower 1/%ld", parts);
      } else if (b == n) {
        none = true;
        portion = "None";
      } else {
        first = edge, last = size - 1;
        portion = Format("Upper %ld/%ld", parts - 1, parts);
      }
    } else {  // groups C and D: 4 to 32 KB at the top or the bottom
      const bool upper = v < 24;
      const int k = upper ? v - 17 : v - 25;
      const uint64_t bytes = (uint64_t(1) << k) * 4096;
      const long parts = static_cast<long>(size / bytes);
      if (!cmp) {
        if (upper) first = size - bytes, last = size - 1;
        else first = 0, last = bytes - 1;
        portion = Format(upper ? "Upper 1/%ld" : "Lower 1/%ld", parts);
      } else {
        if (upper) first = 0, last = size - bytes - 1;
        else first = bytes, last = size - 1;
        portion = Format(upper ? "Lower %ld/%ld" : "Upper %ld/%ld", parts - 1, parts);
      }
    }
    row.cells[5] = none ? "None" : Range(first, last);
    row.cells[6] = none ? "None" : Density(first, last);
    row.cells[7] = portion;
    rows.push_back(row);
  }
  return rows;
}

// ---- OTP maps ----------------------------------------------------------------------------------------
std::vector<std::string> PirelRegionNames() {
  std::vector<std::string> names = {"ESN1", "ESN2"};
  for (int i = 1; i <= 31; ++i) names.push_back(Format("OTP%d", i));
  return names;
}

std::vector<std::string> BessaRegionNames() {
  std::vector<std::string> names;
  for (int i = 0; i <= 31; ++i) names.push_back(Format("OTP%d", i));
  return names;
}

namespace {
std::vector<std::string> Numbers(int first, int last) {
  std::vector<std::string> entries;
  for (int i = first; i <= last; ++i) entries.push_back(Format("%d", i));
  return entries;
}
}  // namespace

std::vector<std::string> PirelOffsetEntries(int region) {
  if (region == 0 || region == 1) return Numbers(0, 7);
  if (region == 32) return Numbers(0, 9);
  return Numbers(0, 15);
}

std::vector<std::string> BessaOffsetEntries(int region) { return region == 0 ? Numbers(16, 19) : Numbers(0, 31); }

uint32_t PirelOtpAddress(int r, int offset) {
  if (r < 2) return 0x102u + 8u * uint32_t(r) + uint32_t(offset);
  if (r < 18) return 0x114u + 16u * uint32_t(r - 2) + uint32_t(offset);
  return 0x216u + 16u * uint32_t(r - 18) + uint32_t(offset);
}

uint32_t BessaOtpAddress(int r, int offsetShown) { return 32u * uint32_t(r) + uint32_t(offsetShown); }

uint32_t MarroSecurityAddress(int r, int offset) { return uint32_t(r + 1) * 0x1000u + uint32_t(offset); }

OtpLock PirelLock(int r) {
  if (r < 2) return {0x100, r};
  if (r < 18) return {0x112u + uint32_t(r - 2) / 8, (r - 2) % 8};
  return {0x214u + uint32_t(r - 18) / 8, (r - 18) % 8};
}

OtpLock BessaLock(int r) { return {0x10u + uint32_t(r) / 8, r % 8}; }

namespace {
std::string OtpRule() {
  std::string rule = "---------------";
  for (int i = 0; i < 16; ++i) rule += "---";
  return rule + "\r\n";
}
const char* LockText(uint8_t byte, int bit) { return (byte >> bit) & 1 ? "unlock  " : " lock   "; }
}  // namespace

std::string PirelOtpDump(const uint8_t* image) {
  std::string text = Header(15, 0, 15) + "\r\n" + OtpRule();
  for (int r = 0; r < 33; ++r) {
    const OtpLock lock = PirelLock(r);
    const int bytes = r < 2 ? 8 : r == 32 ? 10 : 16;
    text += r < 2 ? Format("%s%2d  ", "ESN", r + 1) : Format("%s%2d  ", "OTP", r - 1);
    text += LockText(image[lock.address], lock.bit);
    text += Bytes(image + PirelOtpAddress(r, 0), bytes) + "\r\n";
  }
  return text;
}

std::string BessaOtpDump(const uint8_t* area) {
  std::string text = Header(15, 0, 15) + "\r\n" + Header(15, 16, 31) + "\r\n" + OtpRule();
  for (int r = 0; r < 32; ++r) {
    const OtpLock lock = BessaLock(r);
    text += Format("%s%2d  ", "OTP", r) + LockText(area[lock.address], lock.bit);
    text += Bytes(area + 32 * r, 16) + "\r\n" + std::string(15, ' ') + Bytes(area + 32 * r + 16, 16) + "\r\n";
  }
  return text;
}

std::string MarroSecurityDump(const uint8_t* registers, uint8_t sr2, bool srOk) {
  std::string text = Header(15, 0, 15) + "\r\n" + OtpRule();
  for (int n = 1; n <= 3; ++n) {
    const char* state = !srOk ? "unknown (Status Register 2 could not be read)"
                              : ((sr2 >> (n + 2)) & 1) ? "protected" : "not protected";
    text += Format("\r\nSecurity Registers-%d ", n) + ": " + state + "\r\n";
    for (int line = 0; line < 16; ++line)
      text += Format("0x%08X     ", static_cast<unsigned>(n * 0x1000 + 16 * line)) +
              Bytes(registers + 256 * (n - 1) + 16 * line, 16) + "\r\n";
  }
  return text;
}

}  // namespace lx

namespace lx {

// ---- the loops of the explorer -----------------------------------------------------------------
namespace {

// "address 0x00003000" or "addresses 0x00003000, 0x00003800", at most eight of them.
std::string FailedAddresses(const std::vector<uint32_t>& addresses) {
  std::string text = addresses.size() == 1 ? "address" : "addresses";
  const size_t shown = std::min<size_t>(addresses.size(), 8);
  for (size_t i = 0; i < shown; ++i) text += Format("%s 0x%08X", i ? "," : "", static_cast<unsigned>(addresses[i]));
  if (addresses.size() > shown) text += Format(" and %u more", static_cast<unsigned>(addresses.size() - shown));
  return text;
}

// Where the sector as meant went: a file of its own, named by the sector, that no later rewrite
// writes over; failing that, the scratch file still holds what was read before the erase.
std::string KeptSectorText(const std::string& scratchPath, int32_t sector, const std::vector<uint8_t>& meant) {
  const std::string folder = scratchPath.substr(0, scratchPath.find_last_of("\\/") + 1);
  const std::string kept = KeepInFileOfItsOwn(folder, Format("sector_%d", static_cast<int>(sector)), meant.data(), meant.size());
  if (!kept.empty()) return Format("its data, with your edit, are kept in \"%s\".", kept.c_str());
  return Format("its data could not be written to a file of their own; the data read before the erase, without your "
                "edit, are in \"%s\" until the next rewrite.",
                scratchPath.c_str());
}

}  // namespace

NorLoopResult RewriteSectorWithWindow(NorDeviceIo& device, ToolHost& host, const EraseRewritePlan& plan,
                                      uint32_t windowAddress, const std::vector<uint8_t>& window,
                                      const std::string& scratchPath) {
  NorLoopResult result;
  result.total = plan.windows;
  const uint32_t w = static_cast<uint32_t>(window.size());
  // The sector as the user means it: the device's windows, the edited one in its place.
  std::vector<uint8_t> meant;
  try {
    meant.resize(static_cast<size_t>(plan.windows) * w);
  } catch (const std::bad_alloc&) {
    host.Tell("Error: Not enough system memory.");
    return result;
  }
  {
    ScopedFile file(scratchPath, "wb");
    if (!file) {
      host.Tell("Failed to create a temporary file.");
      return result;
    }
    BusyScope busy(host);
    for (uint32_t i = 0; i < plan.windows; ++i) {
      uint8_t* slot = meant.data() + static_cast<size_t>(i) * w;
      if (!host.Step()) {
        host.Tell("Stopped before the erase: nothing was erased or programmed.");
        return result;
      }
      if (device.Read(plan.sectorStart + i * w, w, slot) != 0) {
        host.Tell("Failed to read a source data.");
        return result;
      }
      if (!file.Write(slot, w)) {
        host.Tell("Failed to write a temporary file: nothing was erased.");
        return result;
      }
    }
    // What the file system still holds back must reach the disk before the sector goes.
    if (!file.Close()) {
      host.Tell("Failed to write a temporary file: nothing was erased.");
      return result;
    }
  }
  const uint64_t edited = static_cast<uint64_t>(windowAddress) - plan.sectorStart;
  if (windowAddress >= plan.sectorStart && edited + w <= meant.size())
    std::copy(window.begin(), window.end(), meant.begin() + static_cast<ptrdiff_t>(edited));
  if (device.EraseSector(static_cast<uint32_t>(plan.sector)) != 0) {
    // A failed erase may have taken some of the sector.
    host.Tell(Format("Error: Erase failed at erase sector #%d\nThe sector may be partly erased; %s",
                     static_cast<int>(plan.sector), KeptSectorText(scratchPath, plan.sector, meant).c_str()));
    return result;
  }
  // Every window is programmed even after one fails: only the failing windows are lost.
  std::vector<uint32_t> failed;
  {
    BusyScope busy(host);
    for (uint32_t i = 0; i < plan.windows; ++i) {
      const uint32_t address = plan.sectorStart + i * w;
      if (device.Program(address, w, meant.data() + static_cast<size_t>(i) * w) != 0)
        failed.push_back(address);
      else
        ++result.done;
    }
  }
  if (!failed.empty()) {
    host.Tell(Format("Error: Program failed at %s: %u of %u windows of the sector were programmed.\nSector #%d was "
                     "erased; %s",
                     FailedAddresses(failed).c_str(), static_cast<unsigned>(result.done),
                     static_cast<unsigned>(plan.windows), static_cast<int>(plan.sector),
                     KeptSectorText(scratchPath, plan.sector, meant).c_str()));
    return result;
  }
  result.finished = true;
  host.Tell("Program finished.");
  return result;
}

namespace {

uint32_t WindowAddress(const NorWindowRange& range, uint32_t i) {
  return static_cast<uint32_t>((static_cast<uint64_t>(range.first) + i) * range.windowSize);
}

}  // namespace

NorLoopResult TransferNorWindows(NorDeviceIo& device, ToolHost& host, const std::string& path,
                                 const NorWindowRange& range, bool import) {
  NorLoopResult result;
  const uint32_t total = static_cast<uint32_t>(std::max(range.count, 0));
  const unsigned all = total;
  const uint32_t w = range.windowSize;
  result.total = total;
  ScopedFile file(path, import ? "rb" : "wb");
  if (!file) {
    host.Tell(import ? "Failed to read a file." : "Failed to write a destination file.");
    return result;
  }
  if (import) {
    const int64_t bytes = file.Bytes();
    if (bytes < 0 || static_cast<uint64_t>(bytes) < static_cast<uint64_t>(w) * total) {
      host.Tell("Error: File length is shorter than programming request.");
      return result;
    }
  }
  std::vector<uint8_t> buffer(w);
  std::string failure;
  {
    BusyScope busy(host);
    for (uint32_t i = 0; i < total && failure.empty(); ++i) {
      const long window = static_cast<long>(range.first + static_cast<int64_t>(i));
      const unsigned before = i;
      if (!host.Step()) {
        failure = import ? Format("Import stopped after %u of %u windows.", before, all)
                         : Format("Export stopped: the file holds %u of %u windows.", before, all);
      } else if (import) {
        if (file.Read(buffer.data(), w) != w)
          failure = Format("Error: Program failed: the file ended after %u of %u windows.", before, all);
        else if (device.Program(WindowAddress(range, i), w, buffer.data()) != 0)
          failure = Format("Error: Program failed at window %ld: %u of %u windows were programmed.", window, before, all);
      } else {
        if (device.Read(WindowAddress(range, i), w, buffer.data()) != 0)
          failure = Format("Failed to read window %ld: the file holds the %u windows before it.", window, before);
        else if (!file.Write(buffer.data(), w))
          failure = Format("Failed to write a destination file after %u windows.", before);
      }
      if (failure.empty()) ++result.done;
    }
    // Bytes the library still holds count only once they are on the disk.
    if (!file.Close() && !import && failure.empty()) {
      failure = Format("Failed to write a destination file: the last of its %u windows may be missing.", all);
      result.done = 0;
    }
  }
  result.finished = failure.empty();
  host.Tell(result.finished ? (import ? "Import finished." : "Export finished.") : failure);
  return result;
}

}  // namespace lx

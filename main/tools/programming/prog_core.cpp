#include "prog_core.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "device_api.h"
#include "lumivex/prompt.h"
#include "lumivex/veltan_range.h"

namespace lx {
namespace prog {

namespace {

const char kVolume[] = "/a";

// What one run did, and its final text.
struct Tally {
  uint32_t total = 0;       // units asked for
  uint32_t done = 0;        // units that went through
  uint32_t failed = 0;      // failed device calls
  uint32_t mismatched = 0;  // units whose read-back differed
  uint32_t skipped = 0;     // units left out on purpose (bad blocks)
  bool stopped = false;     // the user stopped (button or a Yes to a failure)
  bool ended = false;       // ended early by an error

  // `finished` when all went through; otherwise what happened, with counts.
  std::string Text(const char* finished, const char* stem, const char* unit, const char* participle) const {
    if (!stopped && !ended && failed == 0 && mismatched == 0 && done == total) {
      std::string text = finished;
      if (skipped) text += Format("\n%u %s(s) lay in bad blocks and were skipped.", skipped, unit);
      return text;
    }
    std::string text = stopped ? Format("%s stopped.", stem)
                               : ended ? Format("%s ended after an error.", stem) : Format("%s finished with errors.", stem);
    text += Format("\n%u of %u %s(s) %s", done, total, unit, participle);
    if (failed) text += Format(", %u failed", failed);
    if (mismatched) text += Format(", %u failed verification", mismatched);
    if (skipped) text += Format(", %u skipped in bad blocks", skipped);
    text += ".";
    return text;
  }
};

// Offset of the first differing byte of two areas, or -1.
int64_t FirstDifference(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<int64_t>(i);
  return -1;
}

bool AskStop(Host& host, const std::string& text, const char* caption) {
  return host.Ask(text, caption, kYesNoWarning) == kAnswerYes;
}

// A failed device call: counted, and the user decides at once whether the run goes on (a kit that
// stopped answering fails every call that follows, each after its own wait).
bool StopAfterFailure(Host& host, Tally* tally, const std::string& question) {
  ++tally->failed;
  tally->stopped = AskStop(host, question, "Lumivex");
  return tally->stopped;
}

std::string CompareQuestion(uint64_t address) {
  return Format("Error: Compare failed at address 0x%08X in Byte.\nDo you want to stop comparing?",
                static_cast<uint32_t>(address));
}

bool RangesOverlap(uint64_t a, uint64_t b, uint64_t count) {
  return a < b ? b < a + count : a < b + count;
}

// Programs one piece and, with verify, reads it back; false when the run ends here (stopped
// by the user or a failed read), true to go on with the next piece.
bool ProgramPiece(Host& host, uint32_t address, const uint8_t* data, uint32_t n, bool verify, uint8_t* back, Tally* tally) {
  if (DeviceApiTable.gfslNORProgramRawData(0, address, n, data) != 0)
    return !StopAfterFailure(host, tally, "Error: Program failed.\nDo you want to stop programming?");
  if (verify) {
    if (DeviceApiTable.gfslNORReadRawData(0, address, n, back) != 0) {
      host.Tell("Error: Read failed.");
      tally->ended = true;
      return false;
    }
    int64_t at = FirstDifference(data, back, n);
    if (at >= 0) {
      ++tally->mismatched;
      tally->stopped = AskStop(host, CompareQuestion(address + static_cast<uint64_t>(at)), "Edit data");
      return !tally->stopped;
    }
  }
  ++tally->done;
  return true;
}

const char kOverlap[] =
    "Error: The source and target ranges overlap.\nA flash copy needs an erased target, and erasing it would "
    "destroy source data not yet copied. Choose ranges that do not overlap.";

}  // namespace

// ---- host -----------------------------------------------------------------------------------
void Host::SleepSlice(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint64_t Host::NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

bool SlicedWait(Host& host, uint32_t ms) {
  constexpr uint32_t kSlice = 50;
  while (ms > 0) {
    if (!host.Step()) return false;
    uint32_t slice = std::min(ms, kSlice);
    host.SleepSlice(slice);
    ms -= slice;
  }
  return host.Step();
}

// ---- files ----------------------------------------------------------------------------------
bool DataFile::OpenRead(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

bool DataFile::Create(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void DataFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool DataFile::Seek(uint64_t position) {
  if (!file_) return false;
#ifdef _WIN32
  return _fseeki64(file_, static_cast<int64_t>(position), SEEK_SET) == 0;
#else
  return fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

uint64_t DataFile::Length() {
  if (!file_) return 0;
#ifdef _WIN32
  int64_t here = _ftelli64(file_);
  _fseeki64(file_, 0, SEEK_END);
  int64_t end = _ftelli64(file_);
  _fseeki64(file_, here, SEEK_SET);
#else
  off_t here = ftello(file_);
  fseeko(file_, 0, SEEK_END);
  off_t end = ftello(file_);
  fseeko(file_, here, SEEK_SET);
#endif
  return end < 0 ? 0 : static_cast<uint64_t>(end);
}

size_t DataFile::Read(void* buffer, size_t count) { return file_ ? std::fread(buffer, 1, count, file_) : 0; }

bool DataFile::Write(const void* buffer, size_t count) {
  return file_ && std::fwrite(buffer, 1, count, file_) == count;
}

int64_t FileLength(const std::string& path) {
  DataFile file;
  if (!file.OpenRead(path)) return -1;
  return static_cast<int64_t>(file.Length());
}

bool ParseNumber(const std::string& text, uint32_t* value) {
  const char* begin = text.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (*begin == '\0' || *begin == '-' || *begin == '+') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(begin, &end, 0);
  while (end && (*end == ' ' || *end == '\t')) ++end;
  if (errno != 0 || !end || *end != '\0' || v > 0xFFFFFFFFull) {
    // "0x" alone reads as 0 with the "x" left over: the test pages start with that text.
    if (std::strcmp(begin, "0x") == 0 || std::strcmp(begin, "0X") == 0) {
      *value = 0;
      return true;
    }
    return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

// ---- NOR ------------------------------------------------------------------------------------
std::vector<NorSector> ReadNorSectors() {
  std::vector<NorSector> sectors;
  uint64_t start = 0;
  for (uint32_t k = 0; k < (1u << 20); ++k) {
    uint32_t size = DeviceApiTable.gfslNORGetBlockSize(kVolume, k);
    if (size == 0 || size == 0xFFFFFFFFu || static_cast<int32_t>(size) < 1) break;
    if (start + size > 0x100000000ull) break;
    sectors.push_back({static_cast<uint32_t>(start), size});
    start += size;
  }
  return sectors;
}

uint32_t NorDeviceBytes() {
  const int64_t bytes = static_cast<int64_t>(DeviceApiTable.gfslGetNumberOfBytesPerDevice(kVolume));
  if (bytes <= 0) return 0;
  return static_cast<uint32_t>(bytes & 0xFFFFFFFF);
}

uint32_t WindowSize(uint8_t sizeIndex) { return 1024u << std::min<uint8_t>(sizeIndex, 20); }

const char* CheckRange(uint64_t start, uint64_t length, uint64_t deviceBytes, std::string* text) {
  if (length == 0) {
    *text = "Error: Nothing to do: the length is 0.";
    return text->c_str();
  }
  if (start >= deviceBytes || length > deviceBytes - start) {
    *text = Format("Error: The range 0x%08llX to 0x%08llX lies beyond the end of the device (0x%08llX bytes).",
                   static_cast<unsigned long long>(start), static_cast<unsigned long long>(start + length - 1),
                   static_cast<unsigned long long>(deviceBytes));
    return text->c_str();
  }
  return nullptr;
}

std::string ProgramNorData(Host& host, const NorProgramRequest& r) {
  std::string text;
  if (CheckRange(r.start, r.length, NorDeviceBytes(), &text)) return text;
  DataFile file;
  if (!file.OpenRead(r.path)) return "Failed to open a data file.";
  if (file.Length() < r.length) return "Error: File length is shorter than programming request.";
  const uint32_t chunk = r.chunk ? std::min(r.chunk, r.length) : r.length;
  std::vector<uint8_t> data(chunk), back(chunk);
  Tally tally;
  tally.total = static_cast<uint32_t>((static_cast<uint64_t>(r.length) + chunk - 1) / chunk);
  for (uint32_t i = 0; i < tally.total; ++i) {
    if (!host.Step()) {
      tally.stopped = true;
      break;
    }
    host.Progress(i, tally.total - 1);
    const uint32_t address = r.start + i * chunk;
    const uint32_t n = std::min<uint32_t>(chunk, r.length - i * chunk);
    if (file.Read(data.data(), n) != n) {
      host.Tell("Error: Program failed");
      tally.ended = true;
      break;
    }
    if (!ProgramPiece(host, address, data.data(), n, r.verify, back.data(), &tally)) break;
  }
  return tally.Text("Program finished.", "Program", r.unit, "programmed");
}

std::string ReadNorToFile(Host& host, const std::string& path, uint32_t start, uint32_t length) {
  std::string text;
  if (CheckRange(start, length, NorDeviceBytes(), &text)) return text;
  constexpr uint32_t kPiece = 0x1000000;
  std::vector<uint8_t> buffer(std::min(length, kPiece), 0xFF);
  DataFile file;
  if (!file.Create(path)) return "Failed to open a data file.";
  for (uint64_t done = 0; done < length;) {
    if (!host.Step()) return Format("Read stopped: %llu of %u bytes are in the file.", static_cast<unsigned long long>(done), length);
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, length - done));
    if (DeviceApiTable.gfslNORReadRawData(0, static_cast<uint32_t>(start + done), n, buffer.data()) != 0)
      return "Failed to read a source data.";
    if (!file.Write(buffer.data(), n)) return "Failed to write the data file.";
    done += n;
  }
  return "Read finished.";
}

std::string VerifyNorWithFile(Host& host, const std::string& path, uint32_t start, uint32_t length) {
  std::string text;
  if (CheckRange(start, length, NorDeviceBytes(), &text)) return text;
  constexpr uint32_t kPiece = 32768;
  std::vector<uint8_t> device(kPiece), expected(kPiece);
  DataFile file;
  if (!file.OpenRead(path)) return "Failed to open a data file.";
  uint64_t differing = 0, compared = 0;
  for (uint64_t done = 0; done < length;) {
    if (!host.Step()) return Format("Verify stopped after %llu of %u bytes; %llu byte(s) differed.",
                                    static_cast<unsigned long long>(done), length,
                                    static_cast<unsigned long long>(differing));
    host.Progress(static_cast<uint32_t>(done / kPiece), (length - 1) / kPiece);
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kPiece, length - done));
    // Both afresh for every piece: a short read must not leave the previous piece behind.
    std::fill(device.begin(), device.end(), 0xFF);
    std::fill(expected.begin(), expected.end(), 0xFF);
    const uint32_t address = static_cast<uint32_t>(start + done);
    if (DeviceApiTable.gfslNORReadRawData(0, address, n, device.data()) != 0) return "Failed to read flash memory.";
    const size_t inFile = file.Read(expected.data(), n);
    for (size_t i = 0; i < inFile; ++i) {
      if (device[i] == expected[i]) continue;
      ++differing;
      if (AskStop(host, CompareQuestion(address + i), "Edit data")) return std::string();
    }
    compared += inFile;
    done += n;
  }
  text = differing == 0 ? "Verify finished. No error was found."
                        : Format("Verify finished. Flash memory and data file are not identical.\n%llu byte(s) differ.",
                                 static_cast<unsigned long long>(differing));
  if (compared < length)
    text += Format("\nThe data file ends after %llu of %u bytes: the rest was not compared.",
                   static_cast<unsigned long long>(compared), length);
  return text;
}

std::string EraseNorSectors(Host& host, const EraseSectorsRequest& r) {
  const uint64_t sectors = r.sectors.size();
  if (r.count == 0 || r.first >= sectors || r.count > sectors - r.first)
    return Format("Error: Sectors %u to %llu lie beyond the device's %llu sectors.", r.first,
                  static_cast<unsigned long long>(r.first) + r.count - (r.count ? 1 : 0),
                  static_cast<unsigned long long>(sectors));
  const uint32_t window = r.window ? r.window : 0x10000;
  std::vector<uint8_t> blank(window, 0xFF), back(window);
  Tally tally;
  tally.total = r.count;
  for (uint32_t i = 0; i < r.count && !tally.stopped && !tally.ended; ++i) {
    if (!host.Step()) {
      tally.stopped = true;
      break;
    }
    host.Progress(i, r.count - 1);
    const uint32_t s = r.first + i;
    if (DeviceApiTable.gfslNOREraseBlock(0, s) != 0) {
      ++tally.failed;
      if (AskStop(host, Format("Error: Erase failed at erase sector #%d.\nDo you want to stop erasing?", s), "Lumivex"))
        tally.stopped = true;
      continue;
    }
    bool clean = true;
    // Pieces of at most one window: a sector smaller than the window is checked too.
    for (uint64_t offset = 0; r.verify && offset < r.sectors[s].size;) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(window, r.sectors[s].size - offset));
      const uint32_t address = static_cast<uint32_t>(r.sectors[s].start + offset);
      if (DeviceApiTable.gfslNORReadRawData(0, address, n, back.data()) != 0) {
        host.Tell("Error: Read failed.");
        tally.ended = true;
        clean = false;
        break;
      }
      int64_t at = FirstDifference(blank.data(), back.data(), n);
      if (at >= 0) {
        if (clean) ++tally.mismatched;
        clean = false;
        if (AskStop(host, CompareQuestion(address + static_cast<uint64_t>(at)), "Edit data")) {
          tally.stopped = true;
          break;
        }
      }
      offset += n;
    }
    if (clean) ++tally.done;
  }
  return tally.Text("Erase finished.", "Erase", "sector", "erased");
}

std::string CopyNorWindows(Host& host, const CopyWindowsRequest& r) {
  if (r.count == 0) return "Failed to copy data.";
  const uint64_t n = r.windows;
  if (r.source >= n || r.count > n - r.source || r.target >= n || r.count > n - r.target)
    return Format("Error: Windows %u to %llu and %u to %llu must both lie within the device's %llu windows.", r.source,
                  static_cast<unsigned long long>(r.source) + r.count - 1, r.target,
                  static_cast<unsigned long long>(r.target) + r.count - 1, static_cast<unsigned long long>(n));
  if (RangesOverlap(r.source, r.target, r.count)) return kOverlap;
  const uint32_t w = r.window;
  std::vector<uint8_t> data(w), back(w);
  Tally tally;
  tally.total = r.count;
  for (uint32_t i = 0; i < r.count; ++i) {
    if (!host.Step()) {
      tally.stopped = true;
      break;
    }
    host.Progress(i, r.count - 1);
    const uint32_t from = (r.source + i) * w, to = (r.target + i) * w;
    if (DeviceApiTable.gfslNORReadRawData(0, from, w, data.data()) != 0) {
      host.Tell("Failed to read a source data.");
      tally.ended = true;
      break;
    }
    if (!ProgramPiece(host, to, data.data(), w, r.verify, back.data(), &tally)) break;
  }
  return tally.Text("Copy finished.", "Copy", "window", "copied");
}

std::string DumpNor(Host& host, const std::string& path, uint32_t start, uint64_t length, uint32_t piece,
                    const char* createFailure, const char* success) {
  std::string text;
  if (CheckRange(start, length, NorDeviceBytes(), &text)) return text;
  DataFile file;
  if (!file.Create(path)) return createFailure;
  piece = piece ? piece : 0x10000;
  std::vector<uint8_t> buffer(piece);
  for (uint64_t done = 0; done < length;) {
    if (!host.Step())
      return Format("Dump stopped: %llu of %llu bytes are in the file.", static_cast<unsigned long long>(done),
                    static_cast<unsigned long long>(length));
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(piece, length - done));
    if (DeviceApiTable.gfslNORReadRawData(0, static_cast<uint32_t>(start + done), n, buffer.data()) != 0)
      return "Failed to read a source data.";
    if (!file.Write(buffer.data(), n)) return "Failed to write the dump file.";
    done += n;
  }
  return success ? success : "";
}

// ---- Veltan ---------------------------------------------------------------------------------
VeltanGeometry ReadVeltanGeometry() {
  VeltanGeometry g;
  uint32_t blocks = DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks(kVolume);
  uint32_t pages = DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock(kVolume);
  if (blocks == 0xFFFFFFFFu || pages == 0xFFFFFFFFu || blocks > (1u << 24) || pages > 4096) return g;
  g.blocks = blocks;
  g.pagesPerBlock = pages;
  return g;
}

VeltanTable ReadVeltanTable(uint32_t spare) {
  VeltanTable table;
  table.spare = spare;
  VeltanGeometry g = ReadVeltanGeometry();
  std::vector<uint8_t> marks(g.blocks, 0xFF);
  if (g.blocks && DeviceApiTable.gfslVeltanGetBBT(kVolume, marks.data()) != 0) std::fill(marks.begin(), marks.end(), 0xFF);
  table.status.assign(marks.begin(), marks.end());
  return table;
}

void NotifyBadBlock(Host& host, const VeltanTable& table, uint32_t block) {
  if (!table.noPrompt) host.Tell(Format("Bad block notification: block #%d is a bad block", block));
}

namespace {

// Null when first .. first + count - 1 are pages of the device; else the refusal.
const char* CheckPages(uint64_t first, uint64_t count, uint64_t pages, std::string* text) {
  if (count == 0 || first >= pages || count > pages - first) {
    *text = Format("Error: Pages %llu to %llu lie beyond the device's %llu pages.", static_cast<unsigned long long>(first),
                   static_cast<unsigned long long>(first + count - (count ? 1 : 0)),
                   static_cast<unsigned long long>(pages));
    return text->c_str();
  }
  return nullptr;
}

}  // namespace

std::string ProgramVeltanRawPages(Host& host, const VeltanTable& table, const RawPagesRequest& r) {
  const VeltanGeometry g = ReadVeltanGeometry();
  const uint32_t P = g.pagesPerBlock;
  std::string text;
  if (P == 0 || CheckPages(r.start, r.count, g.Pages(), &text)) return text.empty() ? "Error: The device has no pages." : text;
  const uint32_t pageBytes = kPageDataBytes + table.spare;
  const uint32_t record = r.leaveSpare ? kPageDataBytes : pageBytes;
  DataFile file;
  if (!file.OpenRead(r.path)) return "Failed to open a data file.";
  if (file.Length() < static_cast<uint64_t>(r.count) * record) return "Error: File length is shorter than programming request.";
  // The spare part keeps 0xFF when only data bytes come from the file.
  std::vector<uint8_t> buffer(pageBytes, 0xFF);
  Tally tally;
  tally.total = r.count;
  uint32_t dataPage = 0;  // file records consumed
  uint32_t passed = 0;    // good pages passed over with a bad block
  // The range counts device pages: a bad block's pages are taken out of it, and with the shift
  // policy its file data waits for the range's next good page, never a page past the range; it
  // moves on by whole blocks, so a range that begins inside a bad block goes on at the same place
  // of the next block. With the skip policy every record keeps its page, and a good page of the
  // range always gets its own.
  const VeltanBadStep step = r.policy == BadBlockPolicy::Skip ? VeltanBadStep::kToBlockEnd : VeltanBadStep::kWholeBlock;
  WalkVeltanRange(
      r.start, r.count, P, step, [&](uint64_t block) { return !table.Good(static_cast<uint32_t>(block)); },
      [&](uint64_t block, uint64_t pages, uint64_t over) {
        if (!host.Step()) {
          tally.stopped = true;
          return false;
        }
        host.Progress(dataPage, r.count - 1);
        NotifyBadBlock(host, table, static_cast<uint32_t>(block));
        tally.skipped += static_cast<uint32_t>(pages);
        passed += static_cast<uint32_t>(over);
        if (r.policy == BadBlockPolicy::Skip) {
          // The block's file data goes with it.
          dataPage += static_cast<uint32_t>(pages);
          if (!file.Seek(static_cast<uint64_t>(dataPage) * record)) return false;
        }
        return true;
      },
      [&](uint64_t page) {
        if (!host.Step()) {
          tally.stopped = true;
          return false;
        }
        host.Progress(dataPage, r.count - 1);
        if (file.Read(buffer.data(), record) != record) {
          tally.ended = true;
          return false;
        }
        ++dataPage;
        if (DeviceApiTable.gfslVeltanProgramRawPage(0, static_cast<uint32_t>(page), 1, buffer.data()) != 0)
          return !StopAfterFailure(host, &tally, Format("Error: Program failed at page #%u.\nDo you want to stop programming?",
                                                         static_cast<uint32_t>(page)));
        ++tally.done;
        return true;
      });
  tally.total -= std::min(tally.total, tally.skipped + passed);
  text = tally.Text("Program finished.", "Program", "page", "programmed");
  // Shifted data that the bad blocks pushed past the end of the range.
  const uint32_t unplaced = r.count - std::min(r.count, dataPage);
  if (!tally.stopped && !tally.ended) text += VeltanRangeNotes(passed, unplaced, r.start, r.count);
  return text;
}

std::string ProgramVeltanPartPage(Host& host, const VeltanTable& table, const std::string& path, uint32_t page,
                                  uint32_t area) {
  const VeltanGeometry g = ReadVeltanGeometry();
  std::string text;
  if (g.pagesPerBlock == 0 || CheckPages(page, 1, g.Pages(), &text)) return text.empty() ? "Error: The device has no pages." : text;
  if (area > 3) return "Error: The column area must be 0 to 3.";
  const uint32_t block = page / g.pagesPerBlock;
  if (!table.Good(block)) {
    NotifyBadBlock(host, table, block);
    return std::string();
  }
  DataFile file;
  if (!file.OpenRead(path)) return "Failed to open a data file.";
  if (file.Length() < 512) return "Error: File length is shorter than programming request.";
  std::vector<uint8_t> data(512, 0xFF);
  if (file.Read(data.data(), 512) != 512) return "Error: File length is shorter than programming request.";
  // The area's share of the spare bytes stays erased.
  const std::vector<uint8_t> spare(std::max<uint32_t>(table.spare / 4, 1), 0xFF);
  if (DeviceApiTable.gfslVeltanProgramPage(0, area * 512, page, 512, data.data(), spare.data()) != 0)
    return Format("Error: Program failed at page #%u.", page);
  return "Program finished.";
}

std::string EraseVeltanBlocks(Host& host, const VeltanTable& table, uint32_t first, uint32_t count) {
  const VeltanGeometry g = ReadVeltanGeometry();
  if (count == 0 || first >= g.blocks || count > g.blocks - first)
    return Format("Error: Blocks %u to %llu lie beyond the device's %u blocks.", first,
                  static_cast<unsigned long long>(first) + count - (count ? 1 : 0), g.blocks);
  Tally tally;
  tally.total = count;
  for (uint32_t i = 0; i < count; ++i) {
    if (!host.Step()) {
      tally.stopped = true;
      break;
    }
    host.Progress(i, count - 1);
    const uint32_t block = first + i;
    if (!table.Good(block)) {
      NotifyBadBlock(host, table, block);
      ++tally.skipped;
      --tally.total;
      continue;
    }
    if (DeviceApiTable.gfslVeltanEraseBlock(0, block) != 0) {
      if (StopAfterFailure(host, &tally, Format("Error: Erase failed at block #%u.\nDo you want to stop erasing?", block)))
        break;
      continue;
    }
    ++tally.done;
  }
  return tally.Text("Erase finished.", "Erase", "block", "erased");
}

std::string CopyVeltanPages(Host& host, const VeltanTable& table, const CopyPagesRequest& r) {
  if (r.count == 0) return "Failed to copy pages.";
  const VeltanGeometry g = ReadVeltanGeometry();
  const uint32_t P = g.pagesPerBlock;
  std::string text;
  if (P == 0 || CheckPages(r.source, r.count, g.Pages(), &text) || CheckPages(r.target, r.count, g.Pages(), &text))
    return text.empty() ? "Error: The device has no pages." : text;
  if (RangesOverlap(r.source, r.target, r.count)) return kOverlap;
  std::vector<uint8_t> page(kPageDataBytes + table.spare);
  Tally tally;
  tally.total = r.count;
  for (uint32_t i = 0; i < r.count;) {
    if (!host.Step()) {
      tally.stopped = true;
      break;
    }
    host.Progress(i, r.count - 1);
    const uint32_t t = r.target + i;
    const uint32_t block = t / P;
    if (!table.Good(block)) {
      NotifyBadBlock(host, table, block);
      // From this page to the end of the bad block: every source page has its own target, so a
      // good target page of the range is never passed over (also when the range begins inside
      // the bad block).
      const uint32_t skip = std::min<uint32_t>((block + 1) * P - t, r.count - i);
      tally.skipped += skip;
      i += skip;
      continue;
    }
    if (DeviceApiTable.gfslVeltanReadRawPage(0, r.source + i, 1, page.data()) != 0) {
      host.Tell("Failed to read a source page.");
      tally.ended = true;
      break;
    }
    if (r.leaveSpare) std::fill(page.begin() + kPageDataBytes, page.end(), 0xFF);
    ++i;
    if (DeviceApiTable.gfslVeltanProgramRawPage(0, t, 1, page.data()) != 0) {
      if (StopAfterFailure(host, &tally, Format("Error: Program failed at page #%u.\nDo you want to stop copying?", t))) break;
      continue;
    }
    ++tally.done;
  }
  tally.total -= std::min(tally.total, tally.skipped);
  return tally.Text("Copy finished.", "Copy", "page", "copied");
}

std::string DumpVeltanPages(Host& host, const VeltanTable& table, const std::string& path, uint64_t first,
                            uint64_t count, const char* createFailure) {
  const VeltanGeometry g = ReadVeltanGeometry();
  std::string text;
  if (CheckPages(first, count, g.Pages(), &text)) return text;
  DataFile file;
  if (!file.Create(path)) return createFailure;
  std::vector<uint8_t> page(kPageDataBytes + table.spare);
  for (uint64_t i = 0; i < count; ++i) {
    if (!host.Step())
      return Format("Dump stopped: %llu of %llu pages are in the file.", static_cast<unsigned long long>(i),
                    static_cast<unsigned long long>(count));
    if (DeviceApiTable.gfslVeltanReadRawPage(0, static_cast<uint32_t>(first + i), 1, page.data()) != 0)
      return "Failed to read a source page.";
    if (!file.Write(page.data(), page.size())) return "Failed to write the dump file.";
  }
  return "Dump finished.";
}

}  // namespace prog
}  // namespace lx

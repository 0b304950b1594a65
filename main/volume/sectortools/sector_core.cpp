#include "sector_core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "loop_file.h"
#include "lumivex/text_format.h"

namespace lx {

// ---- the sector grid ---------------------------------------------------------------------------
std::string SectorRowLabel(int row) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%03X", static_cast<unsigned>((row - 1) * 16) & 0xFFFu);
  return text;
}

std::string SectorColumnLabel(int col) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(col - 1) & 0xFFu);
  return text;
}

int32_t ClampSectorNumber(int64_t number, int32_t count) {
  if (count <= 0 || number < 1) return 0;
  if (number >= count - 1) return count - 1;
  return static_cast<int32_t>(number);
}

// ---- the sector search -------------------------------------------------------------------------
int32_t ClampEndSector(int32_t endSector, int32_t count) {
  if (endSector < 1) return 0;
  if (endSector >= count - 1) return count - 1 < 0 ? 0 : count - 1;
  return endSector;
}

int SearchProgress(int32_t sector, int32_t start, int32_t end) {
  int64_t d = static_cast<int64_t>(end) - start;
  if (d < 2) d = 1;
  int64_t p = (static_cast<int64_t>(sector) - start) * 100 / d;
  return static_cast<int>(std::min<int64_t>(100, std::max<int64_t>(0, p)));
}

namespace {

// Loads sectors first..first+count-1 into buffer; the number of leading sectors that could be
// read (a failed slice is read again sector by sector to find the first bad one).
uint32_t LoadSectors(const SectorSearch& s, uint32_t first, uint32_t count, uint8_t* buffer) {
  if (s.read(s.context, first, count, buffer) == 0) return count;
  if (count == 1) return 0;
  for (uint32_t i = 0; i < count; ++i)
    if (s.read(s.context, first + i, 1, buffer + static_cast<size_t>(i) * kSectorSize) != 0) return i;
  return count;
}

}  // namespace

SearchResult RunSectorSearch(const SectorSearch& s) {
  SearchResult result;
  const size_t len = s.pattern.size();
  if (len == 0 || len > kMaxPatternBytes || !s.read || s.sectorCount <= 0 || s.searchSector < 0 ||
      s.searchSector > s.sectorCount - 1 || s.bytePosition < 0 || s.bytePosition >= static_cast<int32_t>(kSectorSize)) {
    return result;  // nothing to search
  }
  const int64_t last = static_cast<int64_t>(s.sectorCount) - 1;
  const int64_t end = std::min<int64_t>(std::max<int64_t>(s.endSector, 0), last);
  const int64_t firstSector = s.searchSector;
  // Sectors where a hit may start, and the last sector whose bytes a hit may use.
  const int64_t lastStart = s.currentSectorOnly ? firstSector : std::max(firstSector, end);
  const int64_t dataEnd = lastStart < end ? lastStart + 1 : lastStart;
  const uint32_t slice = std::max<uint32_t>(1, s.sliceSectors);
  const uint8_t* pat = s.pattern.data();

  std::vector<uint8_t> buffer((static_cast<size_t>(slice) + 1) * kSectorSize);
  int64_t base = firstSector;
  uint32_t loaded = 0;  // sectors of the buffer that hold base, base + 1, ...
  auto searcher = std::boyer_moore_horspool_searcher<const uint8_t*>(pat, pat + len);
  while (base <= lastStart) {
    if (s.tick && !s.tick(s.tickContext, static_cast<int32_t>(base))) {
      result.outcome = SearchOutcome::kStopped;
      result.sector = static_cast<int32_t>(base);
      return result;
    }
    // Fill the buffer up to slice + 1 sectors (never past dataEnd), keeping what is loaded.
    const int64_t want = std::min<int64_t>(dataEnd - base + 1, static_cast<int64_t>(slice) + 1);
    if (loaded < want) {
      uint32_t got = LoadSectors(s, static_cast<uint32_t>(base + loaded), static_cast<uint32_t>(want - loaded),
                                 buffer.data() + static_cast<size_t>(loaded) * kSectorSize);
      if (got < want - loaded) {
        // Search what is there first; the bad sector is reported when the search needs it.
        loaded += got;
        if (loaded == 0) {
          result.outcome = SearchOutcome::kReadError;
          result.sector = static_cast<int32_t>(base);
          return result;
        }
        if (loaded == 1 && base < dataEnd) {
          // A hit in base may need the next sector, which cannot be read.
          result.outcome = SearchOutcome::kReadError;
          result.sector = static_cast<int32_t>(base + 1);
          return result;
        }
      } else {
        loaded = static_cast<uint32_t>(want);
      }
    }
    // Starts in base .. top, where every sector before dataEnd keeps its next sector loaded.
    const int64_t topLoaded = base + loaded - 1;
    const bool reachesEnd = topLoaded >= dataEnd;
    const int64_t topStart = std::min<int64_t>(lastStart, reachesEnd ? topLoaded : topLoaded - 1);
    const size_t dataBytes = static_cast<size_t>(loaded) * kSectorSize;
    const size_t from = base == firstSector ? static_cast<size_t>(s.bytePosition) : 0;

    if (!s.difference) {
      // Start offsets from..startLimit, and the match must fit in the loaded bytes.
      const size_t startLimit = static_cast<size_t>(topStart - base + 1) * kSectorSize;  // exclusive
      const size_t scanEnd = std::min(dataBytes, startLimit - 1 + len);
      if (from + len <= scanEnd) {
        const uint8_t* first = buffer.data() + from;
        const uint8_t* last = buffer.data() + scanEnd;
        const uint8_t* hit = std::search(first, last, searcher);
        if (hit != last) {
          size_t off = static_cast<size_t>(hit - buffer.data());
          result.outcome = SearchOutcome::kHit;
          result.sector = static_cast<int32_t>(base + static_cast<int64_t>(off / kSectorSize));
          result.position = static_cast<int32_t>(off % kSectorSize);
          return result;
        }
      }
    } else {
      for (int64_t sec = base; sec <= topStart; ++sec) {
        const size_t sectorOff = static_cast<size_t>(sec - base) * kSectorSize;
        // Below the last data sector a block may run on into the next sector.
        const size_t limit = sec < dataEnd ? kSectorSize - 1 : kSectorSize - len;
        size_t pos = sec == firstSector ? from : 0;
        while (pos <= limit) {
          if (std::memcmp(buffer.data() + sectorOff + pos, pat, len) != 0) {
            result.outcome = SearchOutcome::kHit;
            result.sector = static_cast<int32_t>(sec);
            result.position = static_cast<int32_t>(pos);
            return result;
          }
          pos += len;
        }
      }
    }
    if (topStart >= lastStart) break;
    if (!reachesEnd && loaded < want) {
      // The sector after topLoaded could not be read: the search needs it now.
      result.outcome = SearchOutcome::kReadError;
      result.sector = static_cast<int32_t>(topLoaded + 1);
      return result;
    }
    // Keep the last loaded sector: it is the next slice's first.
    const int64_t next = topStart + 1;
    const uint32_t keep = static_cast<uint32_t>(topLoaded - next + 1);
    std::memmove(buffer.data(), buffer.data() + static_cast<size_t>(next - base) * kSectorSize,
                 static_cast<size_t>(keep) * kSectorSize);
    loaded = keep;
    base = next;
  }
  result.outcome = SearchOutcome::kNotFound;
  return result;
}

// ---- import and export fields ------------------------------------------------------------------
SectorRangeFields LimitSectorRange(int32_t count, int32_t first, int32_t number, bool firstChanged) {
  SectorRangeFields f;
  f.first = first;
  f.number = number;
  if (firstChanged && count > 0 && first > count - 1) f.first = count - 1;
  if (f.first < 0) f.first = 0;
  int64_t room = static_cast<int64_t>(count) - f.first;
  if (room < 2) room = 1;
  f.spinHigh = static_cast<int32_t>(room);
  if (static_cast<int64_t>(f.first) + f.number > count) {
    f.number = static_cast<int32_t>(room);
    f.numberChanged = true;
  }
  return f;
}

bool SectorRangeInside(int32_t count, int64_t first, int64_t number) {
  return number >= 1 && first >= 0 && first + number <= count;
}

// ---- master volume files -----------------------------------------------------------------------
int CopyProgress(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  return static_cast<int>(done * 100 / total + 1);
}

MasterFileCheck CheckMasterFile(uint64_t fileBytes, int64_t deviceSectors) {
  if (fileBytes == 0) return MasterFileCheck::kEmpty;
  if (fileBytes % kSectorSize != 0) return MasterFileCheck::kNotWholeSectors;
  const uint64_t sectors = fileBytes / kSectorSize;
  const uint64_t device = deviceSectors > 0 ? static_cast<uint64_t>(deviceSectors) : 0;
  if (sectors < device) return MasterFileCheck::kShorter;
  if (sectors > device) return MasterFileCheck::kLonger;
  return MasterFileCheck::kFits;
}

// ---- the analyzer record -----------------------------------------------------------------------
uint32_t VyrDeviceTypeCode(int index) {
  static const uint32_t codes[] = {0, 1, 16, 17, 32, 48, 49};
  return index >= 0 && index < 7 ? codes[index] : 0;
}

uint32_t VyrTargetCode(int index) {
  static const uint32_t codes[] = {0, 1, 128, 129, 130};
  return index >= 0 && index < 5 ? codes[index] : 0;
}

uint32_t VyrInterleave(int index) { return index == 1 ? 2 : index == 2 ? 4 : 1; }

}  // namespace lx

namespace lx {

// ---- the volume duplicate's copy ---------------------------------------------------------------
namespace {
constexpr uint32_t kCopyStepSectors = 4;
}

SectorLoopResult CopyVolumeSectors(SectorDevice& device, ToolHost& host, const std::string& path, bool toFile,
                                   uint32_t total) {
  SectorLoopResult result;
  result.total = total;
  ScopedFile file(path, toFile ? "wb" : "rb");
  if (!file) {
    result.failure = toFile ? "Failed to create a master volume file." : "Failed to read the master volume file.";
    return result;
  }
  result.opened = true;
  BusyScope busy(host);
  uint8_t buffer[kCopyStepSectors * kSectorSize];
  uint32_t& i = result.done;
  while (i < total) {
    if (!host.Step()) {
      result.stopped = true;
      break;
    }
    host.Progress(i, total);
    const uint32_t count = std::min<uint32_t>(kCopyStepSectors, total - i);
    const size_t bytes = size_t{count} * kSectorSize;
    if (toFile) {
      if (device.Read(i, count, buffer) != 0) {
        result.failure = "Failed to read a sector from the volume.";
        break;
      }
      if (!file.Write(buffer, bytes)) {
        result.failure = "Failed to write the master volume file.";
        break;
      }
    } else {
      // The length was checked; a file that shrinks meanwhile ends the copy, never a stale step.
      if (file.Read(buffer, bytes) != bytes) {
        result.failure = "Failed to read the master volume file: it ended early.";
        break;
      }
      if (device.Write(i, count, buffer) != 0) {
        result.failure = "Failed to write a sector to the volume.";
        break;
      }
    }
    i += count;
  }
  // A master volume file is whole only once the library's last bytes are on the disk.
  if (!file.Close() && toFile && result.failure.empty()) {
    result.failure = "Failed to write the master volume file.";
    result.done = 0;
  }
  if (result.Finished()) host.Progress(total, total);
  return result;
}

std::string MasterFileCopyText(const SectorLoopResult& result, int64_t deviceSectors) {
  if (!result.opened) return result.failure;
  if (!result.failure.empty())
    return Format("%s\nThe master volume file holds %lu of the %ld sectors.", result.failure.c_str(),
                  static_cast<unsigned long>(result.done), static_cast<long>(deviceSectors));
  if (result.done < result.total)
    return Format("Stopped: the master volume file holds %lu of the %ld sectors.",
                  static_cast<unsigned long>(result.done), static_cast<long>(deviceSectors));
  return "Master volume file is created.";
}

std::string DuplicateCopyText(const SectorLoopResult& result, int64_t deviceSectors) {
  const unsigned long done = result.done, total = result.total;
  if (!result.opened) return result.failure;
  if (!result.failure.empty())
    return Format("%s\n%lu of the %lu sectors of the master volume file were written.", result.failure.c_str(), done,
                  total);
  if (done < total) return Format("Stopped: %lu of the %lu sectors of the master volume file were written.", done, total);
  if (static_cast<int64_t>(total) < deviceSectors)
    return Format("Duplicate volume is created from a master volume file of %lu sectors; the device's other %lu "
                  "sectors were not written.",
                  total, static_cast<unsigned long>(deviceSectors - static_cast<int64_t>(total)));
  return "Duplicate volume is created.";
}

// ---- import and export of the sector explorer --------------------------------------------------
SectorLoopResult TransferSectors(SectorDevice& device, ToolHost& host, const std::string& path, bool import,
                                 uint32_t first, uint32_t count) {
  SectorLoopResult result;
  result.total = count;
  ScopedFile file(path, import ? "rb" : "wb");
  if (!file) {
    result.failure = import ? "Failed to read a source file." : "Failed to write a destination file.";
    host.Tell(result.failure);
    return result;
  }
  result.opened = true;
  if (import) {
    const int64_t bytes = file.Bytes();
    if (bytes < 0 || static_cast<uint64_t>(bytes) < uint64_t{count} * kSectorSize) {
      result.failure = "Error: File length is shorter than programming request.";
      host.Tell(result.failure);
      return result;
    }
  }
  BusyScope busy(host);
  uint8_t block[kSectorSize];
  uint32_t& done = result.done;
  for (; done < count; ++done) {
    if (done % 64 == 0) host.Pump();
    if (host.StopRequested()) {
      result.stopped = true;
      break;
    }
    const uint32_t sector = first + done;
    if (import) {
      if (file.Read(block, sizeof block) != sizeof block) {
        result.failure = Format("Failed to read a source file. The %lu sectors before sector %lu were written.",
                                static_cast<unsigned long>(done), static_cast<unsigned long>(sector));
        break;
      }
      if (device.Write(sector, 1, block) != 0) {
        result.failure = Format("Failed to write sector %lu. The %lu sectors before it were written.",
                                static_cast<unsigned long>(sector), static_cast<unsigned long>(done));
        break;
      }
    } else {
      if (device.Read(sector, 1, block) != 0) {
        result.failure = Format("Failed to read sector %lu. The file holds the %lu sectors before it.",
                                static_cast<unsigned long>(sector), static_cast<unsigned long>(done));
        break;
      }
      if (!file.Write(block, sizeof block)) {
        result.failure = Format("Failed to write a destination file. It holds the %lu sectors before sector %lu.",
                                static_cast<unsigned long>(done), static_cast<unsigned long>(sector));
        break;
      }
    }
  }
  if (!file.Close() && !import && result.failure.empty()) {
    result.failure = "Failed to write a destination file: its last sectors may be missing.";
    result.done = 0;
  }
  const char* verb = import ? "Import" : "Export";
  if (!result.failure.empty())
    host.Tell(result.failure);
  else if (result.stopped)
    host.Tell(Format("%s stopped after %lu of %lu sectors.", verb, static_cast<unsigned long>(done),
                     static_cast<unsigned long>(count)));
  else
    host.Tell(std::string(verb) + " finished.");
  return result;
}

}  // namespace lx

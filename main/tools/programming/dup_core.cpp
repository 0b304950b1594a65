#include "dup_core.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "device_api.h"

namespace lx {
namespace prog {

namespace {

const char kVolume[] = "/a";

}  // namespace

// ---- time ------------------------------------------------------------------------------------
void RemainingTime::Estimate(uint32_t done, uint32_t total, uint64_t nowMs) {
  if (done == 0) {
    startMs_ = nowMs;
  } else {
    const uint64_t t = nowMs - previousMs_;
    const uint64_t s = t / 1000, m = t % 1000;
    const uint64_t k = done > previousDone_ ? done - previousDone_ : 1;
    const uint64_t left = total > done ? total - done : 0;
    const uint64_t remaining = s * (left / k) + (m * left) / k / 1000;
    if (remaining != 0)
      text_ = Format(" - Time remains : %d min, %d sec", static_cast<int>(remaining / 60), static_cast<int>(remaining % 60));
  }
  previousDone_ = done;
  previousMs_ = nowMs;
}

std::string RemainingTime::Title(const char* name, uint64_t nowMs) const {
  const uint64_t seconds = (nowMs - startMs_) / 1000;
  return Format("%s - Time elapsed : %d min, %d sec", name, static_cast<int>(seconds / 60), static_cast<int>(seconds % 60)) +
         text_;
}

// ---- NOR ------------------------------------------------------------------------------------
uint32_t NorChunkSize(int deviceKind, const std::vector<NorSector>& sectors) {
  if (deviceKind == 3) return 0x8000;
  uint32_t chunk = 0x20000;
  for (const NorSector& s : sectors) chunk = std::min(chunk, s.size);
  return chunk ? chunk : 0x20000;
}

std::string CreateNorMasterImage(Host& host, RemainingTime& time, const std::string& path, uint32_t chunk) {
  const uint32_t bytes = NorDeviceBytes();
  DataFile file;
  if (!file.Create(path)) return "Failed to create a master image file.";
  std::vector<uint8_t> buffer(chunk);
  // Whole chunks, then the rest: every byte of the device lands in the image.
  const uint32_t n = static_cast<uint32_t>((static_cast<uint64_t>(bytes) + chunk - 1) / chunk);
  for (uint32_t i = 0; i < n; ++i) {
    if (i % 4 == 0) time.Estimate(i, n, host.NowMs());
    if (!host.Step())
      return Format("Master image file is not complete: stopped after %u of %u chunks (%llu of %u bytes).", i, n,
                    static_cast<unsigned long long>(i) * chunk, bytes);
    host.Progress(static_cast<uint32_t>(static_cast<uint64_t>(i) * 100 / n + 1), 100);
    const uint32_t address = i * chunk;
    const uint32_t size = std::min(chunk, bytes - address);
    if (DeviceApiTable.gfslNORReadRawData(0, address, size, buffer.data()) != 0)
      return "Failed to read data from the device.";
    if (!file.Write(buffer.data(), size)) return "Failed to write the master image file.";
  }
  return "Master image file is created.";
}

std::string EraseNorDuplicate(Host& host, RemainingTime& time, const std::vector<NorSector>& sectors) {
  const uint32_t count = static_cast<uint32_t>(sectors.size());
  uint32_t failed = 0;
  for (uint32_t s = 0; s < count; ++s) {
    if (s % 2 == 0) time.Estimate(s, count, host.NowMs());
    if (!host.Step()) return Format("Erase stopped after %u of %u sectors; %u failed.", s, count, failed);
    if (DeviceApiTable.gfslNOREraseBlock(0, s) != 0) {
      ++failed;
      host.Tell(Format("Error: Erase failed at erase sector #%d", s));
    }
    host.Progress(static_cast<uint32_t>(static_cast<uint64_t>(s) * 100 / count + 1), 100);
  }
  if (failed) return Format("Erase finished with errors: %u of %u sectors failed to erase.", failed, count);
  return "Erase finished.";
}

Report DuplicateNor(Host& host, RemainingTime& time, const std::string& path, const std::vector<NorSector>& sectors,
                    uint32_t chunk) {
  Report report{"Duplicate results.", ""};
  DataFile image;
  if (!image.OpenRead(path)) {
    report.body = "Failed to open image file.";
    return report;
  }
  std::vector<uint8_t> data(chunk), back(chunk);
  uint32_t total = 0;
  for (const NorSector& s : sectors) total += (s.size + chunk - 1) / chunk;
  uint32_t done = 0, copied = 0, ignored = 0, retries = 0;
  bool stopped = false, failed = false;
  for (uint32_t s = 0; s < sectors.size() && !stopped && !failed;) {
    bool retry = false;
    uint32_t sectorDone = 0;
    for (uint32_t offset = 0; offset < sectors[s].size; offset += chunk) {
      if (done % 4 == 0) time.Estimate(done, total, host.NowMs());
      if (!host.Step()) {
        stopped = true;
        break;
      }
      host.Progress(static_cast<uint32_t>(static_cast<uint64_t>(done) * 100 / (total ? total : 1) + 1), 100);
      const uint32_t address = sectors[s].start + offset;
      const uint32_t size = std::min(chunk, sectors[s].size - offset);
      // The image offset is the device address: each piece is read from its own place.
      if (!image.Seek(address) || image.Read(data.data(), size) != size) {
        host.Tell("Error: Failed to read master image file.");
        failed = true;
        break;
      }
      // The read-back decides: a failed program shows there. A read-back that failed shows
      // nothing, whatever the buffer holds.
      DeviceApiTable.gfslNORProgramRawData(0, address, size, data.data());
      const bool readBack = DeviceApiTable.gfslNORReadRawData(0, address, size, back.data()) == 0;
      const uint32_t last = address + size - 1;
      if (readBack && std::memcmp(data.data(), back.data(), size) == 0) {
        report.body += Format("0x%08x:0x%08x>>copied\r\n", address, last);
        ++done;
        ++copied;
        ++sectorDone;
        continue;
      }
      int answer = host.Ask(Format("Programming verification has been failed from 0x%X to 0x%X.", address, last), nullptr,
                            kAbortRetryIgnore);
      if (answer == kAnswerRetry) {
        report.body += Format("0x%08x:0x%08x>>RETRY\r\n", address, last);
        ++retries;
        retry = true;
        break;
      }
      if (answer == kAnswerIgnore) {
        report.body += Format("0x%08x:0x%08x>>IGNORED\r\n", address, last);
        ++done;
        ++ignored;
        ++sectorDone;
        continue;
      }
      stopped = true;
      break;
    }
    if (retry) {
      // The sector again from its first byte: what it had counted is counted anew.
      done -= sectorDone;
      copied -= std::min(copied, sectorDone);
      if (DeviceApiTable.gfslNOREraseBlock(0, s) != 0) host.Tell(Format("Error: Erase failed at erase sector #%d", s));
      continue;
    }
    ++s;
  }
  report.body += Format("\r\n%u of %u piece(s) copied and verified, %u ignored, %u retried.\r\n", copied, total, ignored,
                        retries);
  if (stopped) report.body += "Stopped before the end: the duplicate is not complete.\r\n";
  if (failed) report.body += "Ended by an error: the duplicate is not complete.\r\n";
  return report;
}

// ---- Veltan ---------------------------------------------------------------------------------
std::string BadBlockListPath(const std::string& imagePath) { return imagePath + ".lst"; }

std::string FormatBadBlockList(const std::vector<uint8_t>& table) {
  std::string text;
  for (size_t b = 0; b < table.size(); ++b) text += Format("%04d:%02x\r\n", static_cast<int>(b), table[b]);
  return text;
}

bool ParseBadBlockList(const std::string& text, uint32_t blocks, std::vector<uint8_t>* table, std::string* error) {
  table->assign(blocks, 0);
  size_t at = 0;
  for (uint32_t b = 0; b < blocks; ++b) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t colon = line.find(':');
    char* stop = nullptr;
    unsigned long number = colon == std::string::npos ? 0 : std::strtoul(line.c_str(), &stop, 10);
    const bool numberOk = colon != std::string::npos && colon > 0 && stop == line.c_str() + colon && number == b;
    const std::string value = colon == std::string::npos ? std::string() : line.substr(colon + 1);
    const bool valueOk = value.size() == 2 && std::isxdigit(static_cast<unsigned char>(value[0])) &&
                         std::isxdigit(static_cast<unsigned char>(value[1]));
    if (at >= text.size() || !numberOk || !valueOk) {
      if (error) *error = Format("line %u: expected \"%04u:xx\" for block %u", b + 1, b, b);
      return false;
    }
    (*table)[b] = static_cast<uint8_t>(std::strtoul(value.c_str(), nullptr, 16));
    if (end == std::string::npos) at = text.size();
    else at = end + 1;
  }
  return true;
}

bool ReadBadBlockTable(uint32_t blocks, std::vector<uint8_t>* table) {
  table->assign(blocks, 0);
  return blocks != 0 && DeviceApiTable.gfslVeltanGetBBT(kVolume, table->data()) == 0;
}

std::string CompareBadBlockTables(const std::vector<uint8_t>& master, const std::vector<uint8_t>& duplicate, bool* fits) {
  *fits = true;
  std::string body;
  const size_t n = std::min(master.size(), duplicate.size());
  for (size_t b = 0; b < n; ++b) {
    const uint8_t m = master[b], d = duplicate[b];
    const char* tail = "";
    if (m != d) {
      // A block the master holds no data in may be bad on the duplicate too.
      if (m != 0xFF) {
        tail = " << It would be OK.";
      } else {
        tail = " << Can't duplicate the device.";
        *fits = false;
      }
    }
    body += Format("%04d:%02x-%02x%s\r\n", static_cast<int>(b), m, d, tail);
  }
  if (master.size() != duplicate.size()) *fits = false;
  return body;
}

namespace {

bool ReadTextFile(const std::string& path, std::string* text) {
  DataFile file;
  if (!file.OpenRead(path)) return false;
  const uint64_t length = file.Length();
  if (length > (64u << 20)) return false;
  text->assign(static_cast<size_t>(length), '\0');
  return file.Read(&(*text)[0], text->size()) == text->size();
}

bool ReadMasterList(const std::string& imagePath, uint32_t blocks, std::vector<uint8_t>* table) {
  std::string text;
  return ReadTextFile(BadBlockListPath(imagePath), &text) && ParseBadBlockList(text, blocks, table, nullptr);
}

}  // namespace

std::string CreateBadBlockList(Host& host, const std::string& imagePath, Report* report) {
  (void)host;
  const VeltanGeometry g = ReadVeltanGeometry();
  std::vector<uint8_t> table;
  if (!ReadBadBlockTable(g.blocks, &table)) return "Failed to create a master bad block list.";
  const std::string text = FormatBadBlockList(table);
  DataFile file;
  if (!file.Create(BadBlockListPath(imagePath)) || !file.Write(text.data(), text.size()))
    return "Failed to create a master bad block list.";
  report->heading = "Bad block list from the master device.";
  report->body = text;
  return "Bad block list is created.";
}

std::string CreateVeltanMasterImage(Host& host, RemainingTime& time, const std::string& path, uint32_t spare) {
  const VeltanGeometry g = ReadVeltanGeometry();
  std::vector<uint8_t> table;
  if (!ReadBadBlockTable(g.blocks, &table)) return "Failed to create a master bad block list.";
  DataFile file;
  if (!file.Create(path)) return "Failed to create a master image file.";
  const uint32_t record = kPageDataBytes + spare;
  std::vector<uint8_t> page(record), zeros(record, 0);
  const uint64_t pages = g.Pages();
  for (uint32_t b = 0; b < g.blocks; ++b) {
    host.Progress(static_cast<uint32_t>(static_cast<uint64_t>(b) * 100 / g.blocks + 1), 100);
    for (uint32_t p = 0; p < g.pagesPerBlock; ++p) {
      const uint64_t number = static_cast<uint64_t>(b) * g.pagesPerBlock + p;
      if (number % 128 == 0) time.Estimate(static_cast<uint32_t>(number), static_cast<uint32_t>(pages), host.NowMs());
      if (!host.Step())
        return Format("Master image file is not complete: stopped at block %u of %u.", b, g.blocks);
      const uint8_t* out = zeros.data();
      if (table[b] != 0) {
        if (DeviceApiTable.gfslVeltanReadRawPage(0, static_cast<uint32_t>(number), 1, page.data()) != 0)
          return "Failed to read a page from the device.";
        out = page.data();
      }
      if (!file.Write(out, record)) return "Failed to write the master image file.";
    }
  }
  return "Master image file is created.";
}

std::string ScanBadBlocks(Report* report) {
  const VeltanGeometry g = ReadVeltanGeometry();
  std::vector<uint8_t> table;
  if (!ReadBadBlockTable(g.blocks, &table)) return "Failed to create a duplicate bad block list.";
  report->heading = "Bad block list from the duplicate device.";
  report->body = FormatBadBlockList(table);
  return "Bad block list is created.";
}

std::string CompareBadBlocks(const std::string& imagePath, Report* report, bool* fits) {
  *fits = false;
  const VeltanGeometry g = ReadVeltanGeometry();
  std::vector<uint8_t> master, duplicate;
  if (!ReadMasterList(imagePath, g.blocks, &master)) return "Failed to read a master bad block list file.";
  if (!ReadBadBlockTable(g.blocks, &duplicate)) return "Failed to create a duplicate bad block list.";
  report->heading = "Compare bad blocks.";
  report->body = CompareBadBlockTables(master, duplicate, fits);
  return std::string();
}

std::string EraseVeltanDuplicate(Host& host, RemainingTime& time) {
  const VeltanGeometry g = ReadVeltanGeometry();
  uint32_t failed = 0;
  for (uint32_t b = 0; b < g.blocks; ++b) {
    if (b % 16 == 0) time.Estimate(b, g.blocks, host.NowMs());
    if (!host.Step()) return Format("Erase stopped after %u of %u blocks; %u failed.", b, g.blocks, failed);
    if (DeviceApiTable.gfslVeltanEraseBlock(0, b) != 0) ++failed;
    host.Progress(static_cast<uint32_t>(static_cast<uint64_t>(b) * 100 / g.blocks + 1), 100);
  }
  if (failed) return Format("Erase finished with errors: %u of %u blocks failed to erase.", failed, g.blocks);
  return "Erase finished.";
}

Report DuplicateVeltan(Host& host, RemainingTime& time, const std::string& path, bool useList, uint32_t spare,
                       std::string* message) {
  Report report{"Duplicate results.", ""};
  message->clear();
  const VeltanGeometry g = ReadVeltanGeometry();
  const uint32_t P = g.pagesPerBlock;
  std::vector<uint8_t> master(g.blocks, 0xFF), duplicate;
  if (useList && !ReadMasterList(path, g.blocks, &master)) {
    *message = "Failed to read a master bad block list file.";
    return report;
  }
  if (!ReadBadBlockTable(g.blocks, &duplicate)) {
    *message = "Failed to create a duplicate bad block list.";
    return report;
  }
  bool fits = true;
  CompareBadBlockTables(master, duplicate, &fits);
  if (useList && !fits) {
    *message = "To duplicate a device, prepare a device which has same bad blocks or no bad block.";
    return report;
  }
  DataFile image;
  if (!image.OpenRead(path)) {
    report.body = "Failed to open image file.";
    return report;
  }
  const uint32_t record = kPageDataBytes + spare;
  const size_t blockBytes = static_cast<size_t>(P) * record;
  std::vector<uint8_t> written(blockBytes), back(blockBytes);
  uint32_t copied = 0, ignored = 0, retries = 0, skipped = 0, lost = 0;
  bool stopped = false, failed = false;
  for (uint32_t b = 0; b < g.blocks && !stopped && !failed;) {
    host.Progress(static_cast<uint32_t>(static_cast<uint64_t>(b) * 100 / g.blocks + 1), 100);
    const uint8_t m = master[b], d = duplicate[b];
    if (m != 0xFF || d != 0xFF) {
      // Nothing goes into a block that is bad on either side.
      if (m != 0xFF) report.body += Format("%04d:%02x-Skipped\r\n", static_cast<int>(b), m);
      else report.body += Format("%04d:%02x>>%02x-Skipped\r\n", static_cast<int>(b), m, d);
      ++skipped;
      if (m == 0xFF) ++lost;
      ++b;
      continue;
    }
    time.Estimate(b, g.blocks, host.NowMs());
    std::fill(written.begin(), written.end(), 0);
    std::fill(back.begin(), back.end(), 0);
    if (!image.Seek(static_cast<uint64_t>(b) * blockBytes)) {
      host.Tell("Error: Failed to read master image file.");
      failed = true;
      break;
    }
    for (uint32_t p = 0; p < P; ++p) {
      if (!host.Step()) {
        stopped = true;
        break;
      }
      uint8_t* rec = written.data() + static_cast<size_t>(p) * record;
      if (image.Read(rec, record) != record) {
        host.Tell("Error: Failed to read master image file.");
        failed = true;
        break;
      }
      DeviceApiTable.gfslVeltanProgramRawPage(0, b * P + p, 1, rec);
    }
    if (stopped || failed) break;
    if (DeviceApiTable.gfslVeltanReadRawPage(0, b * P, P, back.data()) == 0 && written == back) {
      report.body += Format("%04d:%02x>>%02x-Copied\r\n", static_cast<int>(b), m, d);
      ++copied;
      ++b;
      continue;
    }
    int answer = host.Ask(Format("Programming verification has been failed at block 0x%X.", b), nullptr, kAbortRetryIgnore);
    if (answer == kAnswerRetry) {
      report.body += Format("%04d:%02x>>%02x-RETRY\r\n", static_cast<int>(b), m, d);
      ++retries;
      if (DeviceApiTable.gfslVeltanEraseBlock(0, b) != 0) host.Tell(Format("Error: Erase failed at block #%d", b));
      continue;
    }
    if (answer == kAnswerIgnore) {
      report.body += Format("%04d:%02x>>%02x-IGNORED\r\n", static_cast<int>(b), m, d);
      ++ignored;
      ++b;
      continue;
    }
    stopped = true;
  }
  report.body += Format("\r\n%u of %u block(s) copied and verified, %u ignored, %u retried, %u skipped as bad.\r\n", copied,
                        g.blocks, ignored, retries, skipped);
  if (lost) report.body += Format("%u good master block(s) were bad on the duplicate: their data is not on it.\r\n", lost);
  if (stopped) report.body += "Stopped before the end: the duplicate is not complete.\r\n";
  if (failed) report.body += "Ended by an error: the duplicate is not complete.\r\n";
  return report;
}

}  // namespace prog
}  // namespace lx

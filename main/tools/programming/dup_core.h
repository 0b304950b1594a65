// The device duplicate without windows: a master device read into a master image file, the
// image programmed into duplicate devices piece by piece with a read-back check of every piece
// (Abort/Retry/Ignore on a mismatch), and for Veltan devices the master's bad-block list beside
// the image. Portable: DeviceApiTable and a Host, as the programming tools.
//
// NorMasterImage: the device's bytes from address 0, no header; image offset = device address.
// VeltanMasterImage: for each block and page one record of 2048 data bytes and the page's spare
// bytes (the record size follows the device's spare size); a block marked 0 in the master's table
// is all zero records. BadBlockListFile (image name + ".lst"): one line per block in block order,
// "%04d:%02x\r\n" (block number, table byte); numbers of five digits and more make a longer line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "prog_core.h"

namespace lx {
namespace prog {

// The remaining-time estimate and the elapsed-time title of the duplicate dialogs.
class RemainingTime {
 public:
  // done = 0 records the start; later calls estimate from the pace since the previous call.
  void Estimate(uint32_t done, uint32_t total, uint64_t nowMs);
  // "<name> - Time elapsed : %d min, %d sec" and the remaining-time text.
  std::string Title(const char* name, uint64_t nowMs) const;
  const std::string& Text() const { return text_; }

 private:
  uint64_t startMs_ = 0, previousMs_ = 0;
  uint32_t previousDone_ = 0;
  std::string text_;
};

// A duplicate report: heading and body of the information dialog.
struct Report {
  std::string heading;
  std::string body;
};

// ---- NOR ------------------------------------------------------------------------------------
// Kinds 1 and 2: the smaller of 128 KiB and the smallest sector; kind 3: 32 KiB.
uint32_t NorChunkSize(int deviceKind, const std::vector<NorSector>& sectors);
std::string CreateNorMasterImage(Host& host, RemainingTime& time, const std::string& path, uint32_t chunk);
std::string EraseNorDuplicate(Host& host, RemainingTime& time, const std::vector<NorSector>& sectors);
// Programs the image into the open device sector by sector; the report holds a line per piece
// and a closing count. Messages on the way go through the host.
Report DuplicateNor(Host& host, RemainingTime& time, const std::string& path, const std::vector<NorSector>& sectors,
                    uint32_t chunk);

// ---- Veltan ---------------------------------------------------------------------------------
std::string BadBlockListPath(const std::string& imagePath);
std::string FormatBadBlockList(const std::vector<uint8_t>& table);
// Reads `blocks` lines; false (with the reason) when the text has fewer or a line is not
// "<number>:<two hex digits>" for the block in its place.
bool ParseBadBlockList(const std::string& text, uint32_t blocks, std::vector<uint8_t>* table, std::string* error);
// The device's table; false when the module cannot give it.
bool ReadBadBlockTable(uint32_t blocks, std::vector<uint8_t>* table);
// Compares a master table with a duplicate table; *fits is false when a block that the master
// holds data in is bad on the duplicate.
std::string CompareBadBlockTables(const std::vector<uint8_t>& master, const std::vector<uint8_t>& duplicate, bool* fits);

std::string CreateBadBlockList(Host& host, const std::string& imagePath, Report* report);
std::string CreateVeltanMasterImage(Host& host, RemainingTime& time, const std::string& path, uint32_t spare);
std::string ScanBadBlocks(Report* report);
// "Compare bad blocks": the master's list file against the device; the report is filled.
std::string CompareBadBlocks(const std::string& imagePath, Report* report, bool* fits);
std::string EraseVeltanDuplicate(Host& host, RemainingTime& time);
// With useList the master's bad blocks come from the list file (else every master block is
// taken as good). A block bad on either side is skipped: nothing is programmed into it.
// `message` gets a text to show before the report (a refusal), or stays empty.
Report DuplicateVeltan(Host& host, RemainingTime& time, const std::string& path, bool useList, uint32_t spare,
                       std::string* message);

}  // namespace prog
}  // namespace lx

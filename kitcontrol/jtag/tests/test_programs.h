// STAPL programs and image generators shared by the player and loader tests: everything made
// here for the simulated target, nothing taken from any product.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware_image.h"
#include "jam_player.h"

namespace lxtest {

// Checks the IDCODE, erases, programs rows 0 and 1 and verifies them. WAIT_HERE marks where the
// wait after the first row goes.
inline const char* kProgramAndVerify =
    "NOTE \"CREATOR\" \"test\";\n"
    "ACTION PROGRAM = CHECK_ID, DO_PROGRAM RECOMMENDED, DO_VERIFY RECOMMENDED;\n"
    "DATA IMAGE;\nBOOLEAN ROW0[16] = $12F0;\nBOOLEAN ROW1[16] = $ABCD;\nENDDATA;\n"
    "PROCEDURE CHECK_ID;\nBOOLEAN ID_OK;\nIRSCAN 8, $01;\n"
    "DRSCAN 32, $00000000, COMPARE $1A6A50C3, $FFFFFFFF, ID_OK;\n"
    "IF !ID_OK THEN EXIT 2;\nENDPROC;\n"
    "PROCEDURE DO_PROGRAM USES IMAGE;\n"
    "IRSCAN 8, $23;\nDRSCAN 1, #1;\nWAIT 80 CYCLES;\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $00;\nIRSCAN 8, $21;\nDRSCAN 16, ROW0[15..0];\nWAIT_HERE\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $01;\nIRSCAN 8, $21;\nDRSCAN 16, ROW1[15..0];\nWAIT 30 CYCLES;\n"
    "ENDPROC;\n"
    "PROCEDURE DO_VERIFY USES IMAGE;\nBOOLEAN OK;\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $00;\nIRSCAN 8, $22;\nDRSCAN 16, $0000, COMPARE ROW0[15..0], $FFFF, OK;\n"
    "IF !OK THEN EXIT 11;\n"
    "IRSCAN 8, $20;\nDRSCAN 8, $01;\nIRSCAN 8, $22;\nDRSCAN 16, $0000, COMPARE ROW1[15..0], $FFFF, OK;\n"
    "IF !OK THEN EXIT 11;\nENDPROC;\n";

inline std::string WithCrc(std::string body) {
  uint16_t crc = lx::jam::ComputeCrc(reinterpret_cast<const uint8_t*>(body.data()), body.size());
  char buf[16];
  std::snprintf(buf, sizeof buf, "CRC %04X;\n", crc);
  return body + buf;
}

inline std::string Program(bool waitAfterFirstRow) {
  std::string p = kProgramAndVerify;
  p.replace(p.find("WAIT_HERE"), 9, waitAfterFirstRow ? "WAIT 30 CYCLES;" : "");
  return WithCrc(p);
}


// FPGA on-the-fly image: optional CRC prefix, a version record, the payload.
inline std::vector<uint8_t> MakeOnTheFly(const std::vector<uint8_t>& payload, const std::string& version,
                                         bool withCrc) {
  std::vector<uint8_t> body = {3, static_cast<uint8_t>(version.size())};
  body.insert(body.end(), version.begin(), version.end());
  body.insert(body.end(), payload.begin(), payload.end());
  if (!withCrc) return body;
  uint16_t crc = lx::fw::OnTheFlyCrc(body.data(), body.size());
  std::vector<uint8_t> img = {8, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
  img.insert(img.end(), body.begin(), body.end());
  return img;
}

struct BootChunk {
  uint16_t address;
  std::vector<uint8_t> data;
};

// USB-controller boot image: 8-byte header, records, the final CPU-release record.
inline std::vector<uint8_t> MakeBootImage(const std::vector<BootChunk>& chunks) {
  std::vector<uint8_t> img = {0xC2, 0x6A, 0x1A, 0x03, 0x01, 0x01, 0x00, 0x00};
  for (const BootChunk& c : chunks) {
    uint16_t n = static_cast<uint16_t>(c.data.size());
    img.insert(img.end(), {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n),
                           static_cast<uint8_t>(c.address >> 8), static_cast<uint8_t>(c.address)});
    img.insert(img.end(), c.data.begin(), c.data.end());
  }
  img.insert(img.end(), {0x80, 0x01, 0xE6, 0x00, 0x00});
  return img;
}

// A boot image shaped as the controller maker's converter writes them: a record that starts in
// the scratch RAM and runs on past it (0xE160 to 0xE211, where a string descriptor begins), and
// short records over the ends of both RAMs. The controller keeps only the bytes that land in RAM.
struct LongRecordBoot {
  std::vector<uint8_t> image;
  std::vector<uint8_t> code;     // at 0x0000
  std::vector<uint8_t> scratch;  // the whole scratch RAM after the load
};
inline LongRecordBoot MakeLongRecordBoot() {
  LongRecordBoot b;
  b.code.resize(3000);
  for (size_t i = 0; i < b.code.size(); ++i) b.code[i] = static_cast<uint8_t>(i * 5 + 3);
  std::vector<uint8_t> low(0x160, 0x11), descriptor(0xB2);
  for (size_t i = 0; i < descriptor.size(); ++i) descriptor[i] = static_cast<uint8_t>(0x80 + i);
  b.image = MakeBootImage({{0x0000, b.code}, {0xE000, low}, {0xE160, descriptor},
                           {0x3FFC, {1, 2, 3, 4, 5, 6}}, {0xE1FE, {9, 8, 7, 6}}});
  b.scratch = low;
  b.scratch.insert(b.scratch.end(), descriptor.begin(), descriptor.begin() + 0x9E);  // to 0xE1FD
  b.scratch.insert(b.scratch.end(), {9, 8});
  return b;
}

}  // namespace lxtest

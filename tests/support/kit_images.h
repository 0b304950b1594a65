// The kit's images as the tests make them for the simulated kit: the FPGA on-the-fly image the
// kit start loads and the USB controller's boot image the firmware update writes. Everything is
// made here, nothing taken from any product.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware_image.h"

namespace lxtest {

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

#include "firmware_image.h"

#include <cctype>

namespace lx {
namespace fw {

const char* FwErrorText(int error) {
  switch (error) {
    case FW_OK: return "ok";
    case FW_TRUNCATED: return "image is truncated";
    case FW_CRC_MISMATCH: return "image CRC mismatch";
    case FW_BAD_VERSION: return "image version is not supported";
    case FW_TOO_SMALL: return "image payload is too small";
    case FW_TOO_LARGE: return "image is larger than the target";
    case FW_BAD_ADDRESS: return "image record outside the controller's memory";
    case FW_BAD_HEADER: return "image does not begin with a boot header (first byte 0xC2)";
    case FW_BAD_END: return "image does not end with the record that starts the controller";
    case FW_EARLY_END: return "image has an end record before its last record";
  }
  return "unknown image error";
}

uint16_t OnTheFlyCrc(const uint8_t* data, size_t n) {
  static const uint16_t kNibble[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                       0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400};
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = data[i], r = 0;
    for (int k = 0; k < 8; ++k) r = static_cast<uint8_t>(r | (((b >> k) & 1) << (7 - k)));
    crc = static_cast<uint16_t>((crc >> 4) ^ kNibble[(crc ^ r) & 0xF]);
    crc = static_cast<uint16_t>((crc >> 4) ^ kNibble[(crc ^ (r >> 4)) & 0xF]);
  }
  return crc;
}

static bool VersionParts(const std::string& v, std::vector<unsigned long>* parts) {
  parts->clear();
  size_t i = 0;
  if (v.empty()) return false;
  while (i <= v.size()) {
    size_t b = i;
    unsigned long x = 0;
    while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
      x = x * 10 + static_cast<unsigned long>(v[i] - '0');
      if (x > 0xFFFFFFul) return false;
      ++i;
    }
    if (i == b) return false;
    parts->push_back(x);
    if (i == v.size()) return true;
    if (v[i] != '.') return false;
    ++i;
  }
  return false;
}

bool CompareVersions(const std::string& a, const std::string& b, int* result) {
  std::vector<unsigned long> pa, pb;
  if (!VersionParts(a, &pa) || !VersionParts(b, &pb)) return false;
  size_t n = pa.size() > pb.size() ? pa.size() : pb.size();
  pa.resize(n, 0);
  pb.resize(n, 0);
  *result = 0;
  for (size_t i = 0; i < n && !*result; ++i)
    if (pa[i] != pb[i]) *result = pa[i] < pb[i] ? -1 : 1;
  return true;
}

int ParseOnTheFly(const uint8_t* img, size_t n, OnTheFlyImage* out) {
  *out = OnTheFlyImage();
  if (n > kMaxFpgaImage) return FW_TOO_LARGE;
  size_t h = 0;
  if (n >= 1 && img[0] == 8) {
    if (n < 3) return FW_TRUNCATED;
    out->hasCrc = true;
    out->crc = static_cast<uint16_t>((img[1] << 8) | img[2]);
    if (OnTheFlyCrc(img + 3, n - 3) != out->crc) return FW_CRC_MISMATCH;
    h = 3;
  }
  // Header record: type, length in 7-bit groups (low group first), then that many bytes.
  if (h + 2 > n) return FW_TRUNCATED;
  uint8_t type = img[h];
  size_t p = h + 1, len = 0;
  for (int shift = 0;; shift += 7) {
    if (p >= n || shift > 21) return FW_TRUNCATED;
    uint8_t b = img[p++];
    len |= static_cast<size_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) break;
  }
  if (len > n - p) return FW_TRUNCATED;
  if (type == 3) {
    if (len > 7) return FW_BAD_VERSION;
    out->version.assign(reinterpret_cast<const char*>(img + p), len);
    int cmp;
    if (!CompareVersions(out->version, kSupportedFpgaVersion, &cmp) || cmp > 0) return FW_BAD_VERSION;
  }
  out->payloadOffset = p + len;
  out->payloadLength = n - out->payloadOffset;
  if (out->payloadLength < kFpgaBlock) return FW_TOO_SMALL;
  return FW_OK;
}

int ParseBootImage(const uint8_t* img, size_t n, std::vector<BootRecord>* records) {
  records->clear();
  if (n > kMaxBootImage) return FW_TOO_LARGE;
  if (n < 13) return FW_TRUNCATED;  // the header and the final record at least
  if (img[0] != 0xC2) return FW_BAD_HEADER;
  size_t end = n - 5;
  for (size_t pos = 8; pos < end;) {
    if (end - pos < 4) return FW_TRUNCATED;
    BootRecord r;
    r.length = static_cast<uint16_t>((img[pos] << 8) | img[pos + 1]);
    r.address = static_cast<uint16_t>((img[pos + 2] << 8) | img[pos + 3]);
    r.offset = pos + 4;
    // The controller stops loading at the end flag: what follows it would never run.
    if (r.length & 0x8000) return FW_EARLY_END;
    if (r.length > end - r.offset) return FW_TRUNCATED;
    bool startsInRam = r.address < kControllerRamEnd;
    bool startsInScratch = r.address >= kScratchRamBegin && r.address < kScratchRamEnd;
    if ((!startsInRam && !startsInScratch) || uint32_t{r.address} + r.length > kAddressSpaceEnd)
      return FW_BAD_ADDRESS;
    records->push_back(r);
    pos = r.offset + r.length;
  }
  const uint8_t* fin = img + end;
  if (fin[0] != 0x80 || fin[1] != 0x01 || fin[2] != 0xE6 || fin[3] != 0x00 || fin[4] != 0x00) {
    records->clear();
    return FW_BAD_END;
  }
  return FW_OK;
}

const std::vector<uint8_t>& HelperFirmware() {
  static const std::vector<uint8_t> image = [] {
    std::vector<uint8_t> img = {0xC2, 0x6A, 0x1A, 0x00, 0x01, 0x01, 0x00, 0x00};
    static const uint8_t kSignature[8] = {'L', 'X', 'E', 'E', 'W', 'R', 'T', '1'};
    const uint16_t lengths[] = {1023, 1023, 1023, 1023, 379};
    uint16_t address = 0;
    uint32_t seed = 0x1A6A0100;
    for (uint16_t len : lengths) {
      img.insert(img.end(), {static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len),
                             static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)});
      for (uint16_t i = 0; i < len; ++i) {
        seed = seed * 1103515245u + 12345u;
        uint16_t at = static_cast<uint16_t>(address + i);
        img.push_back(at < 8 ? kSignature[at] : static_cast<uint8_t>(seed >> 16));
      }
      address = static_cast<uint16_t>(address + len);
    }
    img.insert(img.end(), {0x80, 0x01, 0xE6, 0x00, 0x00});  // release the CPU
    return img;
  }();
  return image;
}

}  // namespace fw
}  // namespace lx

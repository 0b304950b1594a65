#include "jtag_link.h"

#include <cstring>
#include <vector>

namespace lx {
namespace jtag {

void JtagLink::Clear() {
  std::memset(packet_, 0xFF, sizeof packet_);
  std::memset(tdo_, 0xFF, sizeof tdo_);
  fill_ = 0;
  sent_ = false;
  ok_ = true;
}

bool JtagLink::WaitReady() {
  uint8_t buf[10];
  uint32_t got = sizeof buf;
  pipe_.Sleep(10);
  if (!pipe_.BulkIn(buf, &got, kPipeTimeoutMs) || got < 1 || buf[0] != 'I') return false;
  return true;
}

bool JtagLink::Send() {
  if ((mode_ == 2 || mode_ == 3) && sent_ && !WaitReady()) return ok_ = false;
  if (!pipe_.BulkOut(packet_, kPacketSize, kPipeTimeoutMs)) return ok_ = false;
  pipe_.Sleep(10);
  sent_ = true;
  std::memset(packet_, 0xFF, sizeof packet_);
  fill_ = 0;
  if (onSent) onSent();
  return true;
}

bool JtagLink::SendBlock(const uint8_t* block) {
  if (!pipe_.BulkOut(block, kPacketSize, kPipeTimeoutMs)) return false;
  pipe_.Sleep(10);
  sent_ = true;
  return true;
}

bool JtagLink::Append(uint8_t b) {
  if (fill_ >= kPacketSize) return ok_ = false;  // the full packet could not be sent
  packet_[fill_++] = b;
  if (fill_ == kPacketSize) return Send();
  return true;
}

bool JtagLink::Append32(uint32_t v) {
  bool ok = true;
  for (int s = 24; s >= 0; s -= 8) ok = Append(static_cast<uint8_t>(v >> s)) && ok;
  return ok;
}

bool JtagLink::ReadTdo(size_t payloadBytes) {
  uint8_t buf[kPacketSize];
  for (int tries = 0; tries < 11; ++tries) {
    uint32_t got = sizeof buf;
    pipe_.Sleep(10);
    if (!pipe_.BulkIn(buf, &got, kPipeTimeoutMs) || got < 1 || buf[0] != 'R') continue;
    // An answer shorter than the capture it carries is no answer.
    if (got < 1 + payloadBytes) return ok_ = false;
    std::memcpy(tdo_, buf + 1, got - 1 < kTdoPayload ? got - 1 : kTdoPayload);
    return true;
  }
  return ok_ = false;
}

bool JtagLink::Delay(uint32_t us) {
  bool ok = Append('D');
  return Append32(us) && ok;
}

int JtagLink::JtagIo(int tms, int tdi, int readTdo) {
  bool ok = Append('I') && Append(tdi ? 1 : 0) && Append('M') && Append(tms ? 1 : 0);
  if (!readTdo) return ok && Append('C') ? 0 : -1;
  ok = ok && Append('O') && Append32(1);
  if (!ok || (fill_ && !Send()) || !ReadTdo(1)) return -1;
  return tdo_[0] & 1;
}

bool JtagLink::Move(uint8_t count, uint8_t pattern) {
  return Append('M') && Append(count) && Append(pattern);
}

bool JtagLink::Shift(uint32_t count, const std::function<uint8_t()>& next) {
  if (count > kMaxShiftBits) return ok_ = false;
  bool ok = Append('I') && Append32(count);
  for (uint32_t i = 0; i < (count + 7) / 8 && ok; ++i) ok = Append(next());
  return ok;
}

bool JtagLink::CaptureShift(uint32_t count, const uint8_t* tdi, uint8_t* tdo) {
  std::memset(tdo, 0, (count + 7) / 8);
  for (uint32_t pos = 0; pos < count;) {
    uint32_t c = count - pos < kMaxPackedCaptureBits ? count - pos : kMaxPackedCaptureBits;
    // The previous chunk left its last bit on TDI: one clock shifts it before this chunk.
    if (pos && !Append('C')) return false;
    uint32_t bytes = (c + 7) / 8;
    if (Free() < 5 + bytes && !Send()) return false;
    bool ok = Append('O') && Append32(c | 0x80000000u);
    for (uint32_t i = 0; i < bytes && ok; ++i) {
      uint8_t b = 0;
      for (uint32_t k = 0; k < 8; ++k) {
        uint32_t bit = pos + i * 8 + k;
        if (bit < pos + c && ((tdi[bit >> 3] >> (bit & 7)) & 1)) b |= static_cast<uint8_t>(1u << k);
      }
      ok = Append(b);
    }
    if (!ok || (fill_ && !Send()) || !ReadTdo(bytes)) return false;
    for (uint32_t i = 0; i < c; ++i)
      if ((tdo_[i >> 3] >> (i & 7)) & 1) tdo[(pos + i) >> 3] |= static_cast<uint8_t>(1u << ((pos + i) & 7));
    pos += c;
  }
  return true;
}

int JtagLink::Scan(bool ir, int start, int32_t n, const uint8_t* tdi, uint8_t* capture) {
  static const uint8_t kIrFrom0[] = {1, 1, 0, 0};
  static const uint8_t kIrFrom1[] = {1, 1, 1, 1, 0, 0};
  static const uint8_t kIrFrom2[] = {1, 0};
  static const uint8_t kDrFromPause[] = {1, 1, 1, 0, 0};
  static const uint8_t kDrFrom0[] = {1, 0, 0};
  const uint8_t* path;
  size_t len;
  if (n < 0) return 1;
  if (ir) {
    switch (start) {
      case 0: path = kIrFrom0, len = sizeof kIrFrom0; break;
      case 1: path = kIrFrom1, len = sizeof kIrFrom1; break;
      case 2: path = kIrFrom2, len = sizeof kIrFrom2; break;
      default: return 1;
    }
  } else {
    switch (start) {
      case 0: path = kDrFrom0, len = sizeof kDrFrom0; break;
      case 1: case 2: path = kDrFromPause, len = sizeof kDrFromPause; break;
      default: return 1;
    }
  }
  for (size_t i = 0; i < len; ++i)
    if (JtagIo(path[i], 0, 0) < 0) return 1;
  auto bit = [tdi](int32_t i) { return (tdi[i >> 3] >> (i & 7)) & 1; };
  if (n == 0) {
    // Nothing to shift: leave the shift state as a scan would.
    if (JtagIo(1, 0, 0) < 0) return 1;
  } else if (capture && n <= kMaxBytePerBitCapture) {
    if (Free() < static_cast<size_t>(n) + 5 && !Send()) return 1;
    bool ok = Append(ir ? 'i' : 'o') && Append32(static_cast<uint32_t>(n));
    for (int32_t i = 0; i < n && ok; ++i) ok = Append(static_cast<uint8_t>(bit(i)));
    if (!ok || (fill_ && !Send()) || !ReadTdo(static_cast<size_t>(n))) return 1;
    std::memset(capture, 0, static_cast<size_t>(n + 7) / 8);
    for (int32_t i = 0; i < n; ++i)
      if (tdo_[i] & 1) capture[i >> 3] |= static_cast<uint8_t>(1u << (i & 7));
  } else if (capture) {
    // Longer than one answer holds: all but the last bit in packed chunks, the last with the
    // exit clock.
    std::memset(capture, 0, static_cast<size_t>(n + 7) / 8);
    if (n > 1 && !CaptureShift(static_cast<uint32_t>(n - 1), tdi, capture)) return 1;
    if (n > 1 && !Append('C')) return 1;
    int t = JtagIo(1, bit(n - 1), 1);
    if (t < 0) return 1;
    if (t) capture[(n - 1) >> 3] |= static_cast<uint8_t>(1u << ((n - 1) & 7));
  } else {
    for (int32_t i = 0; i < n; ++i)
      if (JtagIo(i == n - 1, bit(i), 0) < 0) return 1;
  }
  return JtagIo(0, 0, 0) < 0 ? 1 : 0;
}

}  // namespace jtag
}  // namespace lx

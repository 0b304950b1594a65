// The host side of the kit's JTAG stream: packs JTAG actions into 512-byte packets for the kit's
// firmware, waits for its ready messages and reads its TDO answers. Portable: the USB endpoints
// and the pause between transfers come through KitPipe.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace lx {
namespace jtag {

constexpr size_t kPacketSize = 512;
constexpr size_t kTdoPayload = kPacketSize - 1;
constexpr unsigned kPipeTimeoutMs = 2000;
// Captures that carry one byte per bit ('o' / 'i') must fit one packet with their header.
constexpr int32_t kMaxBytePerBitCapture = static_cast<int32_t>(kPacketSize - 5);
// Captures with packed TDI data are split into chunks of at most this many bits.
constexpr uint32_t kMaxPackedCaptureBits = (kPacketSize - 5) * 8;
// Longest shift the kit's stream parser accepts in one 'I' command.
constexpr uint32_t kMaxShiftBits = 0x00430000u - 1u;

class KitPipe {
 public:
  virtual ~KitPipe() = default;
  virtual bool BulkOut(const uint8_t* data, uint32_t length, unsigned timeoutMs) = 0;
  // length: in the capacity, out the bytes received.
  virtual bool BulkIn(uint8_t* data, uint32_t* length, unsigned timeoutMs) = 0;
  virtual void Sleep(unsigned milliseconds) = 0;
};

class JtagLink {
 public:
  explicit JtagLink(KitPipe& pipe) : pipe_(pipe) { Clear(); }

  void SetMode(int mode) { mode_ = mode; }
  int Mode() const { return mode_; }
  void Clear();  // empty packet (0xFF filled), nothing sent yet, no failure
  bool Ok() const { return ok_; }
  bool PacketSent() const { return sent_; }
  size_t Fill() const { return fill_; }
  size_t Free() const { return kPacketSize - fill_; }
  const uint8_t* Tdo() const { return tdo_; }

  bool Append(uint8_t b);  // sends the packet when this byte fills it
  bool Append32(uint32_t v);
  bool Send();                       // the current packet, waiting for ready in modes 2 and 3
  bool SendBlock(const uint8_t* block);  // a raw 512-byte block (on-the-fly configuration)
  bool ReadTdo(size_t payloadBytes);  // the next 'R' answer into Tdo()

  // Called after every packet that went out.
  std::function<void()> onSent;

  // Actions used by the players.
  bool Delay(uint32_t microseconds);
  int JtagIo(int tms, int tdi, int readTdo);  // TDO, or -1 when the link failed
  int Scan(bool ir, int start, int32_t count, const uint8_t* tdi, uint8_t* capture);
  bool Move(uint8_t count, uint8_t pattern);
  // Shift count bits, the last one left on TDI for the next clock. next() gives data bytes.
  bool Shift(uint32_t count, const std::function<uint8_t()>& next);
  // The same with TDO captured into tdo (packed), split into chunks when long.
  bool CaptureShift(uint32_t count, const uint8_t* tdi, uint8_t* tdo);

 private:
  bool WaitReady();

  KitPipe& pipe_;
  int mode_ = 0;
  uint8_t packet_[kPacketSize];
  size_t fill_ = 0;
  uint8_t tdo_[kTdoPayload];
  bool sent_ = false;
  bool ok_ = true;
};

}  // namespace jtag
}  // namespace lx

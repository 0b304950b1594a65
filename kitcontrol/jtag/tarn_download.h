// The portable part of the kit's firmware and logic loader: USB-controller firmware into RAM or
// EEPROM, the FPGA on the fly or burned from VME byte code, and the CPLD from a STAPL program.
// The USB device and the event source come in through small interfaces; the Windows shell
// (CTarnDownload) supplies them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "jam_player.h"
#include "jtag_link.h"
#include "vme_player.h"

namespace lx {
namespace jtag {

class KitUsb : public KitPipe {
 public:
  // Vendor request to the device on the control endpoint. For IN requests *length is the
  // capacity and becomes the count received.
  virtual bool Control(bool in, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                       uint32_t* length, unsigned timeoutMs) = 0;
  virtual bool ResetPipes() = 0;  // abort and reset the stream OUT endpoint, then the IN one
  virtual bool CyclePort() = 0;
};

class DownloadEvents {
 public:
  virtual ~DownloadEvents() = default;
  virtual void Progress(int tarnEvent, unsigned percent) = 0;
  virtual void Message(const std::string& text) = 0;
};

// Event codes the loader raises.
constexpr int kEventProgressFPGABurn = 13;

class TarnDownload {
 public:
  TarnDownload(KitUsb& usb, DownloadEvents& events) : usb_(usb), events_(events), link_(usb) {}

  bool FPGAOnTheFly(const uint8_t* image, size_t n);
  bool FPGABurn(const uint8_t* algorithm, size_t an, const uint8_t* data, size_t dn);
  bool CPLDBurn(const uint8_t* program, size_t n);
  bool USBOnTheFly(const uint8_t* image, size_t n);
  bool USBBurn(const uint8_t* image, size_t n);

  // Steps, public for tests.
  bool JobRequest(bool begin, int mode);
  // With hold, the CPU is held during the load and released after it unless release is false.
  bool LoadHexRecords(const uint8_t* image, size_t n, bool hold, bool release = true);
  bool ProbeEeprom(uint8_t request);

  const std::string& LastError() const { return error_; }
  const std::string& PlayerOutput() const { return playerOutput_; }
  int LastExitCode() const { return exitCode_; }
  bool InJob() const { return inJob_; }
  void SetLimits(const jam::JamLimits& stapl, const VmeLimits& vme) { stapl_ = stapl, vme_ = vme; }

 private:
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }
  bool EndJobAnd(bool result);
  // An image that cannot be loaded: the user hears why through the event messages.
  bool Refuse(const std::string& what, const std::string& why);

  KitUsb& usb_;
  DownloadEvents& events_;
  JtagLink link_;
  uint8_t rawRequest_ = 0;  // request code of raw image writes: the last probe's
  unsigned controlTimeout_ = 5000;
  bool inJob_ = false;
  std::string error_, playerOutput_;
  int exitCode_ = 0;
  jam::JamLimits stapl_;
  VmeLimits vme_;
};

}  // namespace jtag
}  // namespace lx

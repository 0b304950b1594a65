#include "tarn_download.h"

#include <cstring>
#include <vector>

#include "firmware_image.h"
#include "jam_link_host.h"

namespace lx {
namespace jtag {

bool TarnDownload::JobRequest(bool begin, int mode) {
  usb_.Sleep(10);
  uint32_t len = 0;
  bool ok = usb_.Control(false, 0xE0, begin ? 2 : 3, static_cast<uint16_t>(begin ? mode : 0), nullptr,
                         &len, controlTimeout_);
  if (begin && ok) inJob_ = true;
  if (!begin) inJob_ = false;
  return ok;
}

// Every path out of a JTAG job ends it, so the kit never stays in JTAG mode.
bool TarnDownload::EndJobAnd(bool result) {
  bool ended = JobRequest(false, 0);
  if (result && !ended) return Fail("JTAG job end failed");
  return result;
}

bool TarnDownload::FPGAOnTheFly(const uint8_t* image, size_t n) {
  fw::OnTheFlyImage img;
  if (int rc = fw::ParseOnTheFly(image, n, &img)) return Fail(fw::FwErrorText(rc));
  link_.SetMode(1);
  link_.Clear();
  if (!JobRequest(true, 1)) return Fail("JTAG job begin failed");
  usb_.ResetPipes();
  const uint8_t* payload = image + img.payloadOffset;
  size_t blocks = img.payloadLength / kPacketSize;
  for (size_t i = 0; i < blocks; ++i)
    if (!link_.SendBlock(payload + i * kPacketSize)) return EndJobAnd(Fail("FPGA block not sent"));
  uint8_t last[kPacketSize] = {};
  std::memcpy(last, payload + blocks * kPacketSize, img.payloadLength % kPacketSize);
  if (!link_.SendBlock(last)) return EndJobAnd(Fail("FPGA block not sent"));
  return EndJobAnd(true);
}

bool TarnDownload::FPGABurn(const uint8_t* algorithm, size_t an, const uint8_t* data, size_t dn) {
  // The program erases the configuration memory first: a cut or broken file must be refused
  // before the old configuration is gone.
  if (int rc = VmePlayer(link_, algorithm, an, data, dn, vme_).Validate())
    return Refuse("FPGA", VmeErrorText(rc));
  link_.SetMode(2);
  link_.Clear();
  if (!JobRequest(true, 2)) return Fail("JTAG job begin failed");
  VmePlayer player(link_, algorithm, an, data, dn, vme_);
  if (player.CheckHeader()) return EndJobAnd(Fail("VME header is not supported"));
  unsigned reported = 0;
  link_.onSent = [&]() {
    unsigned pct = player.Progress();
    if (pct != reported) {
      reported = pct;
      events_.Progress(kEventProgressFPGABurn, pct);
    }
  };
  bool ok = player.Move(VS_RESET) == VME_OK;
  int rc = ok ? player.Run() : VME_BAD_CODE;
  if (rc < 0) {
    link_.onSent = nullptr;
    // Leave the part in Test-Logic-Reset when the link still works.
    if (link_.Ok() && player.Move(VS_RESET) == VME_OK) link_.Send();
    return EndJobAnd(Fail("VME program failed with " + std::to_string(rc)));
  }
  player.Move(VS_RESET);
  ok = link_.Send();
  link_.onSent = nullptr;
  if (!ok) return EndJobAnd(Fail("JTAG packet not sent"));
  bool ended = EndJobAnd(true);
  if (ended && reported != 100) events_.Progress(kEventProgressFPGABurn, 100);
  return ended;
}

bool TarnDownload::CPLDBurn(const uint8_t* program, size_t n) {
  link_.SetMode(3);
  link_.Clear();
  if (!JobRequest(true, 3)) return Fail("JTAG job begin failed");
  playerOutput_.clear();
  LinkJamHost host(link_, [this](const std::string& m) { events_.Message(m); },
                   [this](const std::string& t) { playerOutput_ += t; });
  exitCode_ = 0;
  int rc = jam::RunJamProgram(host, program, n, &exitCode_, stapl_);
  // Any non-zero exit code is a failed burn, a failed verify (11) included. What the player
  // still buffered (its closing chain reset) goes out first while the link works.
  if (rc != 0 || exitCode_ != 0) {
    if (link_.Ok() && link_.Fill()) link_.Send();
    return EndJobAnd(Fail(rc ? "STAPL player error" : "STAPL exit code " + std::to_string(exitCode_)));
  }
  if (link_.Fill() && !link_.Send()) return EndJobAnd(Fail("JTAG packet not sent"));
  if (!link_.Ok()) return EndJobAnd(Fail("JTAG stream failed"));
  return EndJobAnd(true);
}

bool TarnDownload::LoadHexRecords(const uint8_t* image, size_t n, bool hold, bool release) {
  std::vector<fw::BootRecord> records;
  if (int rc = fw::ParseBootImage(image, n, &records)) return Fail(fw::FwErrorText(rc));
  uint8_t one = 1, zero = 0;
  uint32_t len = 1;
  if (hold && !usb_.Control(false, 0xA0, 0xE600, 0, &one, &len, controlTimeout_))
    return Fail("CPU hold failed");
  uint8_t request = hold ? 0xA0 : 0xA3;
  for (const fw::BootRecord& r : records) {
    len = r.length;
    if (!usb_.Control(false, request, r.address, 0, const_cast<uint8_t*>(image + r.offset), &len,
                      controlTimeout_))
      return Fail("RAM load failed");
  }
  len = 1;
  if (hold && release && !usb_.Control(false, 0xA0, 0xE600, 0, &zero, &len, controlTimeout_))
    return Fail("CPU release failed");
  return true;
}

bool TarnDownload::USBOnTheFly(const uint8_t* image, size_t n) {
  std::vector<fw::BootRecord> records;
  if (int rc = fw::ParseBootImage(image, n, &records)) return Fail(fw::FwErrorText(rc));
  controlTimeout_ = 25000;
  // The raw copy of the image goes out with the request code last probed: none on a fresh
  // device (the boot loader ignores it), the EEPROM write once the writer firmware answered.
  bool toEeprom = rawRequest_ != 0;
  if (n > 4096) {
    for (size_t off = 0; off < n; off += 64) {
      uint32_t len = static_cast<uint32_t>(n - off < 64 ? n - off : 64);
      if (!usb_.Control(false, rawRequest_, static_cast<uint16_t>(off), 0,
                        const_cast<uint8_t*>(image + off), &len, controlTimeout_)) {
        if (toEeprom) return Fail("EEPROM write failed");
        break;
      }
    }
  } else {
    uint32_t len = static_cast<uint32_t>(n);
    if (!usb_.Control(false, rawRequest_, 0, 0, const_cast<uint8_t*>(image), &len, controlTimeout_) &&
        toEeprom)
      return Fail("EEPROM write failed");
  }
  controlTimeout_ = 5000;
  return LoadHexRecords(image, n, true);
}

bool TarnDownload::ProbeEeprom(uint8_t request) {
  uint8_t buf[2] = {0xCD, 0xCD};
  uint32_t len = 2;
  if (!usb_.Control(true, request, 0, 0, buf, &len, controlTimeout_) || len != 2 ||
      (buf[0] == 0xCD && buf[1] == 0xCD))
    return Fail("EEPROM probe failed");
  rawRequest_ = request;
  return true;
}

bool TarnDownload::USBBurn(const uint8_t* image, size_t n) {
  std::vector<fw::BootRecord> records;
  if (int rc = fw::ParseBootImage(image, n, &records)) return Refuse("USB controller", fw::FwErrorText(rc));
  // The EEPROM is written last: the kit boots from it at its next power-up, so a new image must
  // first have shown that the controller takes every record of it. This trial load keeps the CPU
  // held; the writer firmware then takes the RAM again.
  if (!LoadHexRecords(image, n, true, false)) return Fail("RAM load failed before the EEPROM was written");
  const std::vector<uint8_t>& helper = fw::HelperFirmware();
  if (!USBOnTheFly(helper.data(), helper.size())) return false;
  if (!ProbeEeprom(0xA9)) return false;
  if (!USBOnTheFly(image, n)) return false;
  if (!usb_.CyclePort()) return Fail("port cycle failed");
  return true;
}

bool TarnDownload::Refuse(const std::string& what, const std::string& why) {
  std::string text = "The " + what + " image is refused (" + why + "): nothing was sent to the kit.";
  events_.Message(text);
  return Fail(text);
}

}  // namespace jtag
}  // namespace lx

// The STAPL player's host over the kit's JTAG stream: JTAG actions become stream commands,
// PRINT lines go to a message sink, player diagnostics to an optional output sink.
#pragma once
#include <functional>
#include <string>

#include "jam_player.h"
#include "jtag_link.h"

namespace lx {
namespace jtag {

class LinkJamHost : public jam::JamHost {
 public:
  using Sink = std::function<void(const std::string&)>;
  LinkJamHost(JtagLink& link, Sink message, Sink output = nullptr)
      : link_(link), message_(std::move(message)), output_(std::move(output)) {}

  void Message(const char* text) override {
    if (message_) message_(text);
  }
  void Delay(int32_t us) override { link_.Delay(static_cast<uint32_t>(us < 0 ? 0 : us)); }
  int JtagIo(int tms, int tdi, int readTdo) override { return link_.JtagIo(tms, tdi, readTdo); }
  int ScanIR(int start, int32_t count, const uint8_t* tdi, uint8_t* capture) override {
    return link_.Scan(true, start, count, tdi, capture);
  }
  int ScanDR(int start, int32_t count, const uint8_t* tdi, uint8_t* capture) override {
    return link_.Scan(false, start, count, tdi, capture);
  }
  void Output(int stream, const char* text) override {
    if (output_)
      output_(text);
    else
      jam::JamHost::Output(stream, text);
  }

 private:
  JtagLink& link_;
  Sink message_;
  Sink output_;
};

}  // namespace jtag
}  // namespace lx

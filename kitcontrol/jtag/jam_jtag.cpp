// The player's JTAG layer: tracks the TAP state, moves along the TAP diagram, adds padding
// around scans and hands whole bit strings to the host's fast scan.
#include <cstring>

#include "jam_internal.h"
#include "tap.h"

namespace lx {
namespace jam {
namespace {

const char* const kStateNames[16] = {
    "RESET",    "IDLE",     "DRSELECT", "DRCAPTURE", "DRSHIFT", "DREXIT1", "DRPAUSE", "DREXIT2",
    "DRUPDATE", "IRSELECT", "IRCAPTURE", "IRSHIFT",  "IREXIT1", "IRPAUSE", "IREXIT2", "IRUPDATE",
};

// Bit `target` of the current state's mask is the TMS level that leads toward it.
const uint16_t kPathMask[16] = {
    0x0001, 0xFFFD, 0xFE01, 0xFFE7, 0xFFEF, 0xFF0F, 0xFFBF, 0xFFFF,
    0xFEFD, 0x0001, 0xF3FF, 0xF7FF, 0x87FF, 0xDFFF, 0xFFFF, 0x7FFD,
};

}  // namespace

int StateFromName(std::string_view name) {
  for (int i = 0; i < 16; ++i)
    if (name == kStateNames[i]) return i;
  return -1;
}

int Player::Step(int64_t n) {
  stepsSinceScan_ += n;
  return stepsSinceScan_ > limits_.stepBudget ? JAMC_USER_ABORT : 0;
}

int Player::JtagClock(int tms, int tdi) {
  if (int rc = Step()) return rc;
  if (host_.JtagIo(tms, tdi, 0) < 0) return JAMC_INTERNAL_ERROR;
  if (state_ >= 0) state_ = jtag::TapNext(state_, tms);
  return 0;
}

int Player::JtagReset() {
  for (int i = 0; i < 5; ++i)
    if (int rc = JtagClock(1, 0)) return rc;
  state_ = JS_RESET;
  return JtagClock(0, 0);
}

int Player::JtagMove(int target) {
  if (state_ < 0)
    if (int rc = JtagReset()) return rc;
  if (state_ == target) {
    if (target == JS_RESET) return JtagClock(1, 0);
    if (target == JS_IDLE || target == JS_DRSHIFT || target == JS_DRPAUSE ||
        target == JS_IRSHIFT || target == JS_IRPAUSE)
      return JtagClock(0, 0);
    return 0;
  }
  for (int i = 0; i < 9 && state_ != target; ++i)
    if (int rc = JtagClock((kPathMask[state_] >> target) & 1, 0)) return rc;
  return state_ == target ? 0 : JAMC_INTERNAL_ERROR;
}

int Player::JtagWaitCycles(int state, int32_t cycles) {
  if (cycles < 0) return JAMC_BOUNDS_ERROR;
  if (int rc = JtagMove(state)) return rc;
  for (int32_t i = 0; i < cycles; ++i)
    if (int rc = JtagClock(state_ == JS_RESET ? 1 : 0, 0)) return rc;
  return 0;
}

int Player::JtagWaitUsec(int state, int32_t usec) {
  if (usec < 0) return JAMC_BOUNDS_ERROR;
  if (state_ >= 0 && state_ != state)
    if (int rc = JtagMove(state)) return rc;
  if (int rc = Step()) return rc;
  host_.Delay(usec);
  return 0;
}

int Player::SetPadding(int which, int32_t count, const BoolArg* data) {
  if (count < 0 || count > kMaxPadding) return JAMC_SYNTAX_ERROR;
  if (data && (data->start < 0 || static_cast<int64_t>(data->start) + count > data->count))
    return JAMC_BOUNDS_ERROR;
  padCount_[which] = count;
  padBits_[which].assign(static_cast<size_t>(count), 1);
  if (data)
    for (int32_t i = 0; i < count; ++i) padBits_[which][static_cast<size_t>(i)] = data->Bit(data->start + i);
  return 0;
}

int Player::JtagScan(bool ir, int32_t count, const BoolArg& data, std::vector<uint8_t>* captured) {
  const std::vector<uint8_t>& pre = padBits_[ir ? PAD_PREIR : PAD_PREDR];
  const std::vector<uint8_t>& post = padBits_[ir ? PAD_POSTIR : PAD_POSTDR];
  int64_t total64 = static_cast<int64_t>(pre.size()) + count + static_cast<int64_t>(post.size());
  if (count < 0 || total64 > INT32_MAX) return JAMC_BOUNDS_ERROR;
  int32_t total = static_cast<int32_t>(total64);
  if (int rc = ChargeHeap(static_cast<size_t>(total) / 4 + 16)) return rc;
  heapBytes_ -= static_cast<size_t>(total) / 4 + 16;  // scan buffers live for this scan only
  // Shifting data is progress: the budget only bounds the work between two scans.
  if (total > 0) stepsSinceScan_ = 0;
  std::vector<uint8_t> tdi(static_cast<size_t>(total) / 8 + 1, 0);
  auto put = [&tdi](int32_t i, bool v) {
    if (v) tdi[static_cast<size_t>(i) >> 3] |= static_cast<uint8_t>(1u << (i & 7));
  };
  int32_t k = 0;
  for (uint8_t b : pre) put(k++, b);
  for (int32_t i = 0; i < count; ++i) put(k++, data.Bit(data.start + i));
  for (uint8_t b : post) put(k++, b);

  int start;
  if (state_ < 0 || state_ == JS_RESET || state_ == JS_IDLE) {
    if (int rc = JtagMove(JS_IDLE)) return rc;
    start = 0;
  } else if (state_ >= JS_IRSELECT) {
    if (int rc = JtagMove(JS_IRPAUSE)) return rc;
    start = 2;
  } else {
    if (int rc = JtagMove(JS_DRPAUSE)) return rc;
    start = 1;
  }
  std::vector<uint8_t> cap;
  if (captured) cap.assign(tdi.size(), 0);
  int rc = ir ? host_.ScanIR(start, total, tdi.data(), captured ? cap.data() : nullptr)
              : host_.ScanDR(start, total, tdi.data(), captured ? cap.data() : nullptr);
  if (rc) return JAMC_INTERNAL_ERROR;
  state_ = ir ? JS_IRPAUSE : JS_DRPAUSE;
  if (captured) {
    captured->assign(static_cast<size_t>(count), 0);
    size_t off = pre.size();
    for (int32_t i = 0; i < count; ++i) {
      size_t b = off + static_cast<size_t>(i);
      (*captured)[static_cast<size_t>(i)] = (cap[b >> 3] >> (b & 7)) & 1;
    }
  }
  int stop = ir ? irStop_ : drStop_;
  if (stop != state_) return JtagMove(stop);
  return 0;
}

}  // namespace jam
}  // namespace lx

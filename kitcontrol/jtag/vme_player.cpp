#include "vme_player.h"

#include <cstring>

#include "tap.h"

namespace lx {
namespace jtag {
namespace {

enum { kEnd = 1, kEndLoop = 2, kEndDataRepeat = 3 };

constexpr uint32_t kMaxPaddingBits = 0xFFFF;

// TMS moves between the player's states, most significant bit first.
struct MoveEntry { int from, to; const char* bits; };
const MoveEntry kMoves[] = {
    {3, 5, "10"},    {2, 4, "10"},    {4, 2, "10"},     {5, 3, "10"},     {3, 1, "110"},
    {2, 1, "110"},   {0, 1, "0"},     {0, 3, "01010"},  {0, 2, "011010"}, {1, 0, "111"},
    {0, 0, "111111"},{6, 3, "10"},    {2, 6, "1110"},   {1, 3, "1010"},   {1, 2, "11010"},
    {3, 0, "11111"}, {3, 2, "1111010"},{3, 3, "111010"},{2, 0, "11111"},  {2, 3, "111010"},
    {2, 5, "11100"}, {4, 1, "110"},   {5, 1, "110"},    {3, 6, "1110"},   {1, 6, "10"},
};

const int kTapOf[7] = {TAP_RESET, TAP_IDLE, TAP_IRPAUSE, TAP_DRPAUSE, TAP_IRSHIFT, TAP_DRSHIFT,
                       TAP_DRCAPTURE};

// Shortest TMS path between two TAP states, for pairs the table leaves out.
bool ShortestPath(int from, int to, uint8_t* count, uint8_t* pattern) {
  for (int len = 1; len <= 8; ++len)
    for (int p = 0; p < (1 << len); ++p) {
      int s = from;
      for (int i = len - 1; i >= 0; --i) s = TapNext(s, (p >> i) & 1);
      if (s == to) {
        *count = static_cast<uint8_t>(len);
        *pattern = static_cast<uint8_t>(p);
        return true;
      }
    }
  return false;
}

}  // namespace

VmePlayer::VmePlayer(JtagLink& link, const uint8_t* algorithm, size_t algorithmSize,
                     const uint8_t* data, size_t dataSize, const VmeLimits& limits)
    : link_(link),
      alg_(algorithm, algorithm + algorithmSize),
      data_(data, data + dataSize),
      limits_(limits) {}

uint8_t VmePlayer::AlgByte() { return algPos_ < alg_.size() ? alg_[algPos_++] : (++algPos_, 0xFF); }
uint8_t VmePlayer::DataByte() { return dataPos_ < data_.size() ? data_[dataPos_++] : (++dataPos_, 0xFF); }

uint8_t VmePlayer::ScanDataByte() {
  if (run_ > 0) {
    --run_;
    return 0xFF;
  }
  for (;;) {
    uint8_t b = DataByte();
    if (!scanCompressed_ || b != 0xFF) return b;
    uint8_t c = DataByte();
    if (c == 0) continue;  // an empty run stands for nothing
    run_ = c - 1u;
    return 0xFF;
  }
}

int VmePlayer::Charge(int64_t n) {
  spent_ += n;
  return spent_ > limits_.budget ? VME_BAD_CODE : VME_OK;
}

int VmePlayer::Number(uint32_t* out) {
  uint64_t v = 0;
  for (int i = 0; i < 5; ++i) {
    uint8_t b = AlgByte();
    v |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) {
      if (v > 0xFFFFFFFFull) return VME_BAD_CODE;
      *out = static_cast<uint32_t>(v);
      return VME_OK;
    }
  }
  return VME_BAD_CODE;  // longer than a 32-bit value can need
}

bool IsVmeAlgorithm(const uint8_t* image, size_t size) {
  return size >= 8 && (std::memcmp(image, "_SVME1.1", 8) == 0 || std::memcmp(image, "_SVME1.2", 8) == 0);
}

int VmePlayer::CheckHeader() {
  if (!IsVmeAlgorithm(alg_.data(), alg_.size())) return VME_BAD_HEADER;
  compressed_ = !data_.empty() && data_[0] != 0;
  algPos_ = 8;
  dataPos_ = 1;
  return VME_OK;
}

unsigned VmePlayer::Progress() const {
  size_t total = alg_.size() + data_.size();
  if (!total) return 1;
  size_t a = algPos_ < alg_.size() ? algPos_ : alg_.size();
  size_t d = dataPos_ < data_.size() ? dataPos_ : data_.size();
  size_t pos = dataPos_ <= 1 ? a : a + d;
  unsigned pct = static_cast<unsigned>(pos * 100 / total);
  return pct < 1 ? 1 : pct;
}

bool VmePlayer::MovePattern(int from, int to, bool force, uint8_t* count, uint8_t* pattern) {
  (void)force;
  for (const MoveEntry& m : kMoves)
    if (m.from == from && m.to == to) {
      uint8_t p = 0, n = 0;
      for (const char* c = m.bits; *c; ++c, ++n) p = static_cast<uint8_t>((p << 1) | (*c == '1'));
      *count = n;
      *pattern = p;
      return true;
    }
  if (from < 0 || from > 6 || to < 0 || to > 6 || from == to) return false;
  return ShortestPath(kTapOf[from], kTapOf[to], count, pattern);
}

int VmePlayer::Move(int to, bool force) {
  if (to < 0 || to > 6) return VME_BAD_CODE;
  if (to == state_ && to != VS_RESET && !(force && to == VS_DRPAUSE)) return VME_OK;
  uint8_t count, pattern;
  if (!MovePattern(state_, to, force, &count, &pattern)) return VME_BAD_CODE;
  if (int rc = Charge(count)) return rc;
  if (!dry_) link_.Move(count, pattern);
  state_ = to;
  return VME_OK;
}

int VmePlayer::Padding(uint32_t bits, bool before) {
  if (!bits) return VME_OK;
  if (int rc = Charge(bits)) return rc;
  if (dry_) return VME_OK;
  if (!before) link_.Append('C');
  for (uint32_t i = 0; i < bits; ++i) {
    if (i) link_.Append('C');
    link_.Append('I');
    link_.Append(1);
  }
  if (before) link_.Append('C');
  return VME_OK;
}

int VmePlayer::Scan(bool ir) {
  uint32_t n;
  if (int rc = Number(&n)) return rc;
  if (n > kMaxShiftBits) return VME_BAD_CODE;
  if (int rc = Charge(n)) return rc;
  if (int rc = Move(ir ? VS_IRPAUSE : VS_DRPAUSE)) return rc;
  if (int rc = Move(ir ? VS_IRSHIFT : VS_DRSHIFT)) return rc;
  if (int rc = Padding(ir ? hir_ : hdr_, true)) return rc;

  size_t tdiPos = 0, tdoPos = 0, maskPos = 0;
  bool tdiInline = false, tdoInline = false, maskInline = false, tdiData = false, tdoData = false;
  uint32_t bytes = (n + 7) / 8;
  for (;;) {
    uint8_t d = AlgByte();
    if (d == 0x70) break;
    switch (d) {
      case 0x13: tdiInline = true, tdiPos = algPos_, algPos_ += bytes; break;
      case 0x14: tdoInline = true, tdoPos = algPos_, algPos_ += bytes; break;
      case 0x15: maskInline = true, maskPos = algPos_, algPos_ += bytes; break;
      case 0xA6:
      case 0xA7:
        if (AlgByte() != 0xA3) return VME_BAD_CODE;
        (d == 0xA6 ? tdiData : tdoData) = true;
        break;
      default:
        return VME_BAD_CODE;
    }
    if (algPos_ > alg_.size() + bytes + 1) return VME_BAD_CODE;
  }
  auto algAt = [this](size_t p) -> uint8_t { return p < alg_.size() ? alg_[p] : 0xFF; };
  // Data from the data image: a compression flag when the image is compressed, the bytes, then
  // the end-of-data marker.
  auto dataBlock = [this, bytes](std::vector<uint8_t>* out) -> int {
    scanCompressed_ = compressed_ && DataByte() != 0;
    run_ = 0;
    out->resize(bytes);
    for (uint32_t i = 0; i < bytes; ++i) (*out)[i] = ScanDataByte();
    bool ok = run_ == 0 && DataByte() == 0xA2;
    scanCompressed_ = false;
    run_ = 0;
    return ok ? VME_OK : VME_BAD_DATA;
  };

  std::vector<uint8_t> tdi(bytes, 0xFF);
  if (tdiInline)
    for (uint32_t i = 0; i < bytes; ++i) tdi[i] = algAt(tdiPos + i);
  if (tdiData)
    if (int rc = dataBlock(&tdi)) return rc;

  if (tdoInline || tdoData) {
    std::vector<uint8_t> expected(bytes), tdo(bytes + 1);
    if (tdoInline)
      for (uint32_t i = 0; i < bytes; ++i) expected[i] = algAt(tdoPos + i);
    if (tdoData)
      if (int rc = dataBlock(&expected)) return rc;
    // TDI goes out with the capture, so that scans which check TDO still load their data.
    if (!dry_ && !link_.CaptureShift(n, tdi.data(), tdo.data())) return VME_VERIFY_FAIL;
    int result = VME_OK;
    for (uint32_t i = 0; i < bytes && !dry_; ++i) {
      uint8_t m = maskInline ? algAt(maskPos + i) : 0xFF;
      if (i + 1 == bytes && (n & 7)) m &= static_cast<uint8_t>((1u << (n & 7)) - 1u);
      if ((tdo[i] & m) != (expected[i] & m)) result = VME_VERIFY_FAIL;
    }
    state_ = ir ? VS_IRSHIFT : VS_DRSHIFT;
    if (int rc = Padding(ir ? tir_ : tdr_, false)) return rc;
    if (int rc = Move(ir ? endIr_ : endDr_)) return rc;
    return result;
  }
  size_t i = 0;
  if (!dry_) link_.Shift(n, [&]() -> uint8_t { return tdi[i++]; });
  if (!dry_ && !link_.Ok()) return VME_VERIFY_FAIL;
  if (int rc = Padding(ir ? tir_ : tdr_, false)) return rc;
  return Move(ir ? endIr_ : endDr_);
}

int VmePlayer::Block(int nesting, uint8_t endOpcode) {
  if (nesting > limits_.maxNesting) return VME_BAD_CODE;
  int saved = nesting_;
  nesting_ = nesting;
  for (;;) {
    int rc = Instruction(AlgByte());
    if (rc == kEndLoop || rc == kEndDataRepeat) {
      nesting_ = saved;
      if ((rc == kEndLoop) != (endOpcode == 0x59)) return VME_BAD_CODE;
      return VME_OK;
    }
    if (rc == kEnd) return VME_BAD_CODE;  // the program ended inside a block
    if (rc != VME_OK) {
      nesting_ = saved;
      return rc;
    }
  }
}

int VmePlayer::Instruction(int op) {
  if (int rc = Charge(1)) return rc;
  uint32_t v;
  switch (op) {
    case 0x02:
    case 0x03: {
      uint8_t s = AlgByte();
      if (s > 6) return VME_BAD_CODE;
      (op == 0x02 ? endDr_ : endIr_) = s;
      return VME_OK;
    }
    case 0x06: case 0x07: case 0x08: case 0x09: {
      if (int rc = Number(&v)) return rc;
      if (v > kMaxPaddingBits) return VME_BAD_CODE;
      uint32_t* regs[] = {&hir_, &tir_, &hdr_, &tdr_};
      *regs[op - 0x06] = v;
      return VME_OK;
    }
    case 0x10: return Move(AlgByte());
    case 0x11: return Scan(true);
    case 0x12: return Scan(false);
    case 0x1A:
      if (int rc = Number(&v)) return rc;
      if (!dry_) link_.Delay(v);
      return VME_OK;
    case 0x1B:
      if (int rc = Number(&v)) return rc;
      if (int rc = Charge(v)) return rc;
      for (uint32_t i = 0; i < v && !dry_; ++i) link_.Append('C');
      return VME_OK;
    case 0x1C:
    case 0x20:
      AlgByte();
      if (!dry_) link_.Delay(1);
      return VME_OK;
    case 0x58: {
      if (int rc = Number(&v)) return rc;
      if (v == 0) return VME_BAD_CODE;
      size_t a = algPos_, d = dataPos_;
      int rc = VME_OK;
      for (uint32_t pass = 0; pass < v; ++pass) {
        algPos_ = a;
        dataPos_ = d;
        rc = Block(nesting_ + 1, 0x59);
        if (rc != VME_VERIFY_FAIL) break;
      }
      return rc;
    }
    case 0x59: return kEndLoop;
    case 0x66:
      return Number(&repeatCount_);
    case 0x67:
      for (;;) {
        if (int rc = Charge(1)) return rc;
        uint8_t b = AlgByte();
        if (b == 0x69) return VME_OK;
        if (b == 0x10) {
          uint8_t s = AlgByte();
          if (s > 6) return VME_BAD_CODE;
          loopState_ = s;
        } else if (b == 0x1A) {
          if (int rc = Number(&loopDelay_)) return rc;
        } else if (b == 0x1B) {
          if (int rc = Number(&loopTck_)) return rc;
        } else {
          return VME_BAD_CODE;
        }
      }
    case 0x68: {
      if (AlgByte() != 0x12) return VME_BAD_CODE;
      size_t a = algPos_, d = dataPos_;
      uint32_t tries = repeatCount_ ? repeatCount_ : 1;
      int rc = VME_OK;
      for (uint32_t t = 0; t < tries; ++t) {
        algPos_ = a;
        dataPos_ = d;
        rc = Scan(false);
        if (rc != VME_VERIFY_FAIL || t + 1 == tries) break;
        if ((rc = Move(VS_DRPAUSE, true)) || (rc = Move(loopState_))) return rc;
        if ((rc = Charge(loopTck_))) return rc;
        for (uint32_t i = 0; i < loopTck_ && !dry_; ++i) link_.Append('C');
        if (loopDelay_ && !dry_) link_.Delay(loopDelay_);
        rc = VME_VERIFY_FAIL;
      }
      return rc;
    }
    case 0x7F:
      return algPos_ >= alg_.size() ? static_cast<int>(kEnd) : static_cast<int>(VME_OK);
    case 0xA0: {
      if (int rc = Number(&v)) return rc;
      uint8_t mode = AlgByte();
      if (v == 0 || (mode != 0xA4 && mode != 0xA5)) return VME_BAD_CODE;
      if (mode == 0xA4) {
        savedData_ = dataPos_;
        haveSaved_ = true;
      } else {
        if (!haveSaved_) return VME_BAD_CODE;
        dataPos_ = savedData_;
      }
      size_t a = algPos_;
      for (uint32_t i = 0; i < v; ++i) {
        algPos_ = a;
        int rc = Block(nesting_ + 1, 0xA1);
        if (rc < 0) return rc;
      }
      return VME_OK;
    }
    case 0xA1: return kEndDataRepeat;
    default: return VME_BAD_CODE;
  }
}

int VmePlayer::Run() {
  for (;;) {
    int rc = Instruction(AlgByte());
    if (rc == kEnd) return VME_OK;
    if (rc == kEndLoop || rc == kEndDataRepeat) return VME_BAD_CODE;
    if (rc != VME_OK) return rc;
    if (!dry_ && !link_.Ok()) return VME_VERIFY_FAIL;
  }
}

int VmePlayer::Validate() {
  if (int rc = CheckHeader()) return rc;
  // The whole program once through without the kit: every scan passes, so each loop runs once
  // and the data is read as a successful run reads it. The program ends only with an end
  // instruction as its last byte; the data image must end with its last block.
  dry_ = true;
  int rc = Run();
  dry_ = false;
  if (rc == VME_OK && dataPos_ < data_.size()) rc = VME_EXTRA_DATA;
  // Leave the player as CheckHeader leaves it, ready for the real run.
  CheckHeader();
  state_ = VS_RESET, endDr_ = endIr_ = VS_IDLE, hir_ = tir_ = hdr_ = tdr_ = 0;
  run_ = repeatCount_ = loopTck_ = loopDelay_ = 0, loopState_ = VS_IDLE;
  nesting_ = 0, spent_ = 0, haveSaved_ = false, savedData_ = 0, scanCompressed_ = false;
  return rc;
}

const char* VmeErrorText(int rc) {
  switch (rc) {
    case VME_OK: return "ok";
    case VME_VERIFY_FAIL: return "read-back differs from the expected data";
    case VME_BAD_HEADER: return "the algorithm file does not begin with a VME header";
    case VME_BAD_CODE: return "the algorithm file is cut short or holds an unknown instruction";
    case VME_BAD_DATA: return "the data file is cut short or a data block lacks its end mark";
    case VME_EXTRA_DATA: return "the data file goes on after the last block the algorithm reads";
  }
  return "unknown VME error";
}

}  // namespace jtag
}  // namespace lx

// The NOR driver: bus cycles on the kit with their trace, status decoding and polling, the
// operations built on them, and the NOR, protection and trace commands.
#include <cstdio>
#include <cstring>

#include "kit_failure.h"
#include "lld_internal.h"

namespace lld {

namespace {

constexpr uint32_t kReadRecord = 1;
constexpr uint32_t kWriteRecord = 2;

const char* const kStatusNames[] = {
    "DEV_STATUS_UNKNOWN", "DEV_NOT_BUSY", "DEV_BUSY", "DEV_EXCEEDED_TIME_LIMITS", "DEV_SUSPEND",
    "DEV_WRITE_BUFFER_ABORT", "DEV_STATUS_GET_PROBLEM", "DEV_VERIFY_ERROR", "DEV_BYTES_PER_OP_WRONG",
};

const char* const kPollTypeNames[] = {
    "LLD_P_POLL_PGM", "LLD_P_POLL_WRT_BUF_PGM", "LLD_P_POLL_SEC_ERS", "LLD_P_POLL_CHIP_ERS", "LLD_P_POLL_RESUME",
};

const char* StatusName(int32_t status) {
  return status >= 0 && status <= DEV_BYTES_PER_OP_WRONG ? kStatusNames[status] : kStatusNames[0];
}

void Unlock() {
  BusWrite(0x555, 0xAAAA);
  BusWrite(0x2AA, 0x5555);
}

void Reset() { BusWrite(0x000, 0xF0F0); }

void CommandSetExit() {
  BusWrite(0x000, 0x9090);
  BusWrite(0x000, 0x0000);
}

void Program(uint32_t o, uint16_t d) {
  Unlock();
  BusWrite(0x555, 0xA0A0);
  BusWrite(o, d);
}

void SectorErase(uint32_t o) {
  Unlock();
  BusWrite(0x555, 0x8080);
  Unlock();
  BusWrite(o, 0x3030);
}

void ChipErase() {
  Unlock();
  BusWrite(0x555, 0x8080);
  Unlock();
  BusWrite(0x555, 0x1010);
}

void WriteToBuffer(uint32_t o) {
  Unlock();
  BusWrite(o, 0x2525);
}

void WriteBufferAbortReset() {
  Unlock();
  BusWrite(0x555, 0xF0F0);
}

void Entry(uint16_t command) {
  Unlock();
  BusWrite(0x555, command);
}

// Decodes the status at `offset` until it is no longer busy or the poll type's time is up.
int32_t WaitNotBusy(uint32_t offset, int32_t pollType) {
  LldHost& host = Host();
  uint64_t start = host.NowUs();
  uint64_t limit = PollTimeLimitUs(pollType);
  int32_t status;
  while ((status = StatusGet(offset)) == DEV_BUSY) {
    if (host.NowUs() - start >= limit) return DEV_EXCEEDED_TIME_LIMITS;
  }
  return status;
}

int32_t WriteBufferProgram(uint32_t o, uint32_t n, const uint8_t* source) {
  WriteToBuffer(o);
  BusWrite(o, uint16_t((n - 1) * 0x0101));
  uint16_t last = 0;
  for (uint32_t i = 0; i < n; ++i) {
    last = uint16_t(source[2 * i] | source[2 * i + 1] << 8);
    BusWrite(o + i, last);
  }
  BusWrite(o + n - 1, 0x2929);
  uint16_t actual = 0;
  return Poll(o + n - 1, last, &actual, LLD_P_POLL_WRT_BUF_PGM);
}

// The end of the protection operations: 0 when the chip finished, else a reset and -1.
int32_t ProtectionOpEnd() {
  int32_t status = WaitNotBusy(0x000, LLD_P_POLL_SEC_ERS);
  if (status == DEV_NOT_BUSY) {
    CommandSetExit();
    return 0;
  }
  Reset();
  CommandSetExit();
  return -1;
}

uint16_t PpbLockBitReadOp() {
  Entry(0x5050);
  uint16_t v = BusRead(0x000);
  CommandSetExit();
  return v;
}

// The byte address base + 2 x offset must lie in the window (64-bit sums: no wrap past 4 GiB).
bool OffsetOk(int32_t argc, char** argv, const char* name) {
  State& s = S();
  if (s.superUser) return true;
  uint64_t address = uint64_t(HexArg(argc, argv, 1)) + 2 * uint64_t(HexArg(argc, argv, 2));
  if (address < uint64_t(s.baseAddr) + s.windowSize) return true;
  char text[80];
  std::snprintf(text, sizeof text, "Invalid offset for %s!\n", name);
  PrintError(text);
  return false;
}

int32_t KeepStatus(int32_t status) {
  S().status = uint8_t(status);
  lld_Print("status = %s\n", StatusName(status));
  return status;
}

// The words [source, source + 2n) must lie in the scratchpad: nothing else is the library's to read.
const uint8_t* SourceWords(uint32_t source, uint32_t n, const char* name) {
  const uint8_t* p = ScratchpadRange(source, 2 * uint64_t(n));
  if (!p) {
    char text[96];
    std::snprintf(text, sizeof text, "Invalid source_addr for %s: the words must lie in the scratchpad!\n", name);
    PrintError(text);
  }
  return p;
}

}  // namespace

uint64_t PollTimeLimitUs(int32_t pollType) {
  switch (pollType) {
  case LLD_P_POLL_PGM:
  case LLD_P_POLL_WRT_BUF_PGM: return 5000000;
  case LLD_P_POLL_CHIP_ERS: return 1200000000;
  default: return 60000000;
  }
}

void TraceAccess(uint32_t offset, uint32_t type, uint32_t address, uint16_t data) {
  State& s = S();
  if (++s.traceIndex >= kTraceRecords) {
    s.traceIndex = 0;
    s.traceWrapped = true;
  }
  s.trace[s.traceIndex] = {s.traceSequence++, type, 0, offset, address, data};
}

const TraceRecord* TraceRing(int32_t* writeIndex, bool* wrapped) {
  *writeIndex = S().traceIndex;
  *wrapped = S().traceWrapped;
  return S().trace;
}

rook::KitBus* Kit() {
  State& s = S();
  if (!s.kit) return nullptr;
  if (s.kitLent) {
    if (s.kitRefused) return nullptr;
    rook::HResult hr = s.kit->ConnectTarn();
    if (!rook::Failed(hr)) hr = s.kit->TarnConfiguration(0, 1, 0);
    if (rook::Failed(hr)) {
      s.kitRefused = true;
      lld_Print("Error: %s\n",
                rook::KitFailureText(rook::KitStep::Connect, hr, "", "the device opened with Open Device (close it first)")
                    .c_str());
      return nullptr;
    }
    s.kitLent = false;
  }
  return s.kit.get();
}

void LendKit() {
  State& s = S();
  s.kitRefused = false;
  if (!s.kit || s.kitLent) return;
  s.kit->Qflush();
  s.kit->CloseTarn();
  s.kitLent = true;
}

void BusWrite(uint32_t offset, uint16_t data) {
  if (rook::KitBus* kit = Kit()) kit->Qwrite16(offset, data, 3);
  TraceAccess(offset, kWriteRecord, offset, data);
}

uint16_t BusRead(uint32_t offset) {
  uint16_t value = 0;
  if (rook::KitBus* kit = Kit()) {
    kit->Qflush();
    if (rook::Failed(kit->Read16(offset, &value))) value = 0;
  }
  TraceAccess(offset, kReadRecord, offset, value);
  return value;
}

void BusFlush() {
  // Nothing queued while the kit is lent: no need to take it back only to flush.
  if (S().kit && !S().kitLent) S().kit->Qflush();
}

uint16_t ReadCfiWord(uint32_t offset) {
  BusWrite(0x555, 0x9898);
  uint16_t v = BusRead(offset);
  Reset();
  return v;
}

uint32_t GetDeviceId() {
  Entry(0x9090);
  uint16_t a = BusRead(0x001), b = BusRead(0x00E), c = BusRead(0x00F);
  Reset();
  return uint32_t(a & 0xFF) << 16 | uint32_t(b & 0xFF) << 8 | uint32_t(c & 0xFF);
}

int32_t StatusGet(uint32_t offset) {
  uint16_t r1 = BusRead(offset), r2 = BusRead(offset), r3 = BusRead(offset);
  uint16_t t = uint16_t((r1 ^ r2) & (r2 ^ r3) & 0x4040);
  if (t) {
    if (S().writeBufferFlag && ((t >> 5) & r1) == (t >> 5)) return DEV_WRITE_BUFFER_ABORT;
    if (((t >> 1) & r1) == (t >> 1)) return DEV_EXCEEDED_TIME_LIMITS;
    return DEV_BUSY;
  }
  uint16_t r4 = BusRead(offset), r5 = BusRead(offset);
  uint16_t u = uint16_t((r4 ^ r5) & 0x0404);
  if (u == 0) return DEV_NOT_BUSY;
  return u == 0x0404 ? DEV_SUSPEND : DEV_BUSY;
}

int32_t Poll(uint32_t offset, uint16_t expected, uint16_t* actual, int32_t pollType) {
  S().writeBufferFlag = pollType == LLD_P_POLL_WRT_BUF_PGM;
  int32_t status = WaitNotBusy(offset, pollType);
  S().writeBufferFlag = false;
  if (status == DEV_WRITE_BUFFER_ABORT) {
    WriteBufferAbortReset();
    return status;
  }
  if (status != DEV_NOT_BUSY) {
    Reset();
    return status;
  }
  *actual = BusRead(offset);
  return *actual == expected ? DEV_NOT_BUSY : DEV_VERIFY_ERROR;
}

void CreateNorVariables() {
  State& s = S();
  CreateVariable("ReadOp", 2, &s.readOp, true);
  CreateVariable("GetDeviceId", 4, &s.deviceId, true);
  CreateVariable("ReadCfiWord", 2, &s.cfiWord, true);
  CreateVariable("Status", 1, &s.status, true);
  const char* const constants[] = {"DEV_STATUS_UNKNOWN", "DEV_NOT_BUSY", "DEV_BUSY", "DEV_EXCEEDED_TIME_LIMITS",
                                   "DEV_SUSPEND", "DEV_WRITE_BUFFER_ABORT", "DEV_STATUS_GET_PROBLEM",
                                   "DEV_VERIFY_ERROR", "DEV_BYTES_PER_OP_WRONG", "TRUE", "FALSE"};
  for (int i = 0; i < 11; ++i) CreateVariable(constants[i], 1, &s.constants[i], true);
}

}  // namespace lld

using namespace lld;

namespace {

// Decimal count of a delay: negative or empty is 0, anything beyond a minute is a minute, so that
// no typing slip keeps the console busy for hours.
int64_t DelayCount(const char* text, int64_t limit) {
  while (IsBlank(*text)) ++text;
  bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > limit) value = limit;
  }
  return negative ? 0 : value;
}

}  // namespace

// ---- NOR command set ----

LLD_DEFINE_COMMAND(ResetCmd) {
  (void)argc;
  (void)argv;
  Reset();
  return 0;
}
extern "C" int32_t cmd_CfiExitCmd(int32_t, char**) __attribute__((alias("cmd_ResetCmd")));
extern "C" int32_t cmd_AutoselectExitCmd(int32_t, char**) __attribute__((alias("cmd_ResetCmd")));

LLD_DEFINE_COMMAND(SectorEraseCmd) {
  if (!OffsetOk(argc, argv, "SectorEraseCmd")) return -1;
  SectorErase(HexArg(argc, argv, 2));
  return 0;
}

LLD_DEFINE_COMMAND(ChipEraseCmd) {
  (void)argc;
  (void)argv;
  ChipErase();
  return 0;
}

LLD_DEFINE_COMMAND(SectorEraseOp) {
  if (!OffsetOk(argc, argv, "SectorEraseOp")) return -1;
  uint32_t o = HexArg(argc, argv, 2);
  SectorErase(o);
  uint16_t actual = 0;
  return KeepStatus(Poll(o, 0xFFFF, &actual, LLD_P_POLL_SEC_ERS));
}

LLD_DEFINE_COMMAND(ChipEraseOp) {
  (void)argc;
  (void)argv;
  ChipErase();
  uint16_t actual = 0;
  int32_t status = Poll(0x000, 0xFFFF, &actual, LLD_P_POLL_CHIP_ERS);
  if (status != DEV_NOT_BUSY) Reset();
  return KeepStatus(status);
}

LLD_DEFINE_COMMAND(WriteBufferProgramOp) {
  if (!OffsetOk(argc, argv, "WriteBufferProgramOp")) return -1;
  uint32_t o = HexArg(argc, argv, 2), n = HexArg(argc, argv, 3);
  if (n == 0) return KeepStatus(DEV_NOT_BUSY);
  const uint8_t* source = SourceWords(HexArg(argc, argv, 4), n, "WriteBufferProgramOp");
  if (!source) return -1;
  return KeepStatus(WriteBufferProgram(o, n, source));
}

LLD_DEFINE_COMMAND(ReadOp) {
  if (!OffsetOk(argc, argv, "ReadOp")) return -1;
  S().readOp = BusRead(HexArg(argc, argv, 2));
  lld_Print("%8.8X\n", unsigned(S().readOp));
  return 0;
}

LLD_DEFINE_COMMAND(GetDeviceId) {
  (void)argc;
  (void)argv;
  S().deviceId = lld::GetDeviceId();
  lld_Print("%8.8X\n", unsigned(S().deviceId));
  return 0;
}

LLD_DEFINE_COMMAND(memcpy) {
  if (!OffsetOk(argc, argv, "memcpy")) return -1;
  uint32_t o = HexArg(argc, argv, 2), n = HexArg(argc, argv, 3);
  const uint8_t* source = n ? SourceWords(HexArg(argc, argv, 4), n, "memcpy") : nullptr;
  if (n && !source) return -1;
  int32_t status = DEV_NOT_BUSY;
  while (n && status == DEV_NOT_BUSY) {
    uint32_t piece = o % 16 ? 16 - o % 16 : 16;
    if (piece > n) piece = n;
    status = WriteBufferProgram(o, piece, source);
    o += piece;
    n -= piece;
    source += 2 * piece;
  }
  return KeepStatus(status);
}

LLD_DEFINE_COMMAND(DelayMilliseconds) {
  int64_t ms = DelayCount(Arg(argc, argv, 1), 60000);
  if (ms > 0) Host().DelayUs(uint64_t(ms) * 1000);
  return 0;
}

LLD_DEFINE_COMMAND(DelayMicroseconds) {
  int64_t us = DelayCount(Arg(argc, argv, 1), 60000000);
  if (us > 0) Host().DelayUs(uint64_t(us));
  return 0;
}

LLD_DEFINE_COMMAND(ProgramCmd) {
  if (!OffsetOk(argc, argv, "ProgramCmd")) return -1;
  Program(HexArg(argc, argv, 2), uint16_t(HexArg(argc, argv, 3)));
  return 0;
}

LLD_DEFINE_COMMAND(SecSiSectorExitCmd) {
  (void)argc;
  (void)argv;
  Entry(0x9090);
  BusWrite(0x000, 0x0000);
  return 0;
}

LLD_DEFINE_COMMAND(WriteToBufferCmd) {
  if (!OffsetOk(argc, argv, "WriteToBufferCmd")) return -1;
  WriteToBuffer(HexArg(argc, argv, 2));
  return 0;
}

LLD_DEFINE_COMMAND(ProgramBufferToFlashCmd) {
  if (!OffsetOk(argc, argv, "ProgramBufferToFlashCmd")) return -1;
  BusWrite(HexArg(argc, argv, 2), 0x2929);
  return 0;
}

LLD_DEFINE_COMMAND(ProgramOp) {
  if (!OffsetOk(argc, argv, "ProgramOp")) return -1;
  uint32_t o = HexArg(argc, argv, 2);
  uint16_t d = uint16_t(HexArg(argc, argv, 3)), actual = 0;
  Program(o, d);
  return KeepStatus(Poll(o, d, &actual, LLD_P_POLL_PGM));
}

LLD_DEFINE_COMMAND(ReadCfiWord) {
  if (!OffsetOk(argc, argv, "ReadCfiWord")) return -1;
  S().cfiWord = lld::ReadCfiWord(HexArg(argc, argv, 2));
  lld_Print("%8.8X\n", unsigned(S().cfiWord));
  return 0;
}

LLD_DEFINE_COMMAND(SetConfigRegCmd) {
  Entry(0xD0D0);
  BusWrite(0x000, uint16_t(HexArg(argc, argv, 2)));
  return 0;
}

LLD_DEFINE_COMMAND(ReadConfigRegCmd) {
  (void)argc;
  (void)argv;
  Entry(0xC6C6);
  lld_Print("0x%X\n", unsigned(BusRead(0x000)));
  return 0;
}

LLD_DEFINE_COMMAND(SecSiSectorEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0x8888);
  return 0;
}

LLD_DEFINE_COMMAND(UnlockBypassEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0x2020);
  return 0;
}

LLD_DEFINE_COMMAND(UnlockBypassProgramCmd) {
  if (!OffsetOk(argc, argv, "UnlockBypassProgramCmd")) return -1;
  BusWrite(0x555, 0xA0A0);
  BusWrite(HexArg(argc, argv, 2), uint16_t(HexArg(argc, argv, 3)));
  return 0;
}

LLD_DEFINE_COMMAND(UnlockBypassResetCmd) {
  (void)argc;
  (void)argv;
  CommandSetExit();
  return 0;
}
extern "C" int32_t cmd_LockRegExitCmd(int32_t, char**) __attribute__((alias("cmd_UnlockBypassResetCmd")));
extern "C" int32_t cmd_PasswordProtectionExitCmd(int32_t, char**) __attribute__((alias("cmd_UnlockBypassResetCmd")));
extern "C" int32_t cmd_PpbExitCmd(int32_t, char**) __attribute__((alias("cmd_UnlockBypassResetCmd")));
extern "C" int32_t cmd_PpbLockBitExitCmd(int32_t, char**) __attribute__((alias("cmd_UnlockBypassResetCmd")));
extern "C" int32_t cmd_DybExitCmd(int32_t, char**) __attribute__((alias("cmd_UnlockBypassResetCmd")));

LLD_DEFINE_COMMAND(AutoselectEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0x9090);
  return 0;
}

#define LLD_OFFSET_WRITE_COMMAND(suffix, data)          \
  LLD_DEFINE_COMMAND(suffix) {                          \
    if (!OffsetOk(argc, argv, #suffix)) return -1;      \
    BusWrite(HexArg(argc, argv, 2), data);              \
    return 0;                                           \
  }
LLD_OFFSET_WRITE_COMMAND(ProgramSuspendCmd, 0xB0B0)
LLD_OFFSET_WRITE_COMMAND(EraseSuspendCmd, 0xB0B0)
LLD_OFFSET_WRITE_COMMAND(EraseResumeCmd, 0x3030)
LLD_OFFSET_WRITE_COMMAND(ProgramResumeCmd, 0x3030)

LLD_DEFINE_COMMAND(CfiEntryCmd) {
  (void)argc;
  (void)argv;
  BusWrite(0x555, 0x9898);
  return 0;
}

LLD_DEFINE_COMMAND(WriteBufferAbortResetCmd) {
  (void)argc;
  (void)argv;
  WriteBufferAbortReset();
  return 0;
}

LLD_DEFINE_COMMAND(StatusGet) {
  if (!OffsetOk(argc, argv, "StatusGet")) return -1;
  return KeepStatus(lld::StatusGet(HexArg(argc, argv, 2)));
}

LLD_DEFINE_COMMAND(Poll) {
  int32_t type = 0;
  for (int i = 0; i < 5; ++i)
    if (WordIs(Arg(argc, argv, 4), kPollTypeNames[i])) type = i + 1;
  if (!type) {
    PrintError("Polling Type must be one of the following:\n");
    for (const char* name : kPollTypeNames) lld_Print("     %s\n", name);
    return -1;
  }
  if (!OffsetOk(argc, argv, "Poll")) return -1;
  uint16_t actual = 0;
  int32_t status = lld::Poll(HexArg(argc, argv, 2), uint16_t(HexArg(argc, argv, 3)), &actual, type);
  S().status = uint8_t(status);
  lld_Print("status = %s, act_data = 0x%8.8X\n", StatusName(status), unsigned(actual));
  return status;
}

// ---- Protection commands ----

LLD_DEFINE_COMMAND(LockRegEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0x4040);
  return 0;
}

LLD_DEFINE_COMMAND(LockRegBitsProgramCmd) {
  BusWrite(0x000, 0xA0A0);
  BusWrite(0x077, uint16_t(HexArg(argc, argv, 2)));
  return 0;
}

LLD_DEFINE_COMMAND(LockRegBitsReadCmd) {
  (void)argc;
  (void)argv;
  BusRead(0x077);
  return 0;
}

LLD_DEFINE_COMMAND(PasswordProtectionEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0x6060);
  return 0;
}

LLD_DEFINE_COMMAND(PasswordProtectionProgramCmd) {
  if (!OffsetOk(argc, argv, "PasswordProtectionProgramCmd")) return -1;
  uint32_t o = HexArg(argc, argv, 2);
  BusWrite(o, 0xA0A0);
  BusWrite(o, uint16_t(HexArg(argc, argv, 3)));
  return 0;
}

LLD_DEFINE_COMMAND(PasswordProtectionReadCmd) {
  (void)argc;
  (void)argv;
  uint16_t w[4];
  for (uint32_t i = 0; i < 4; ++i) w[i] = BusRead(i);
  lld_Print("0x%X 0x%X 0x%X 0x%X\n", unsigned(w[0]), unsigned(w[1]), unsigned(w[2]), unsigned(w[3]));
  return 0;
}

LLD_DEFINE_COMMAND(PasswordProtectionUnlockCmd) {
  BusWrite(0x000, 0x2525);
  BusWrite(0x000, 0x0303);
  for (int32_t i = 0; i < 4; ++i) BusWrite(uint32_t(i), uint16_t(HexArg(argc, argv, 2 + i)));
  BusWrite(0x000, 0x2929);
  return 0;
}

LLD_DEFINE_COMMAND(PpbEntryCmd) {
  if (!OffsetOk(argc, argv, "lld_PpbEntryCmd")) return -1;
  Unlock();
  BusWrite(HexArg(argc, argv, 2), 0xC0C0);
  return 0;
}

LLD_DEFINE_COMMAND(PpbProgramCmd) {
  if (!OffsetOk(argc, argv, "lld_PpbProgramCmd")) return -1;
  BusWrite(0x000, 0xA0A0);
  BusWrite(HexArg(argc, argv, 2), 0x0000);
  return 0;
}

LLD_DEFINE_COMMAND(PpbAllEraseCmd) {
  (void)argc;
  (void)argv;
  BusWrite(0x000, 0x8080);
  BusWrite(0x000, 0x3030);
  return 0;
}

LLD_DEFINE_COMMAND(PpbStatusReadCmd) {
  if (!OffsetOk(argc, argv, "lld_PpbStatusReadCmd")) return -1;
  lld_Print("0x%X\n", unsigned(BusRead(HexArg(argc, argv, 2))));
  return 0;
}

LLD_DEFINE_COMMAND(PpbLockBitEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0x5050);
  return 0;
}

LLD_DEFINE_COMMAND(PpbLockBitSetCmd) {
  (void)argc;
  (void)argv;
  BusWrite(0x000, 0xA0A0);
  BusWrite(0x000, 0x0000);
  return 0;
}

LLD_DEFINE_COMMAND(PpbLockBitReadCmd) {
  (void)argc;
  (void)argv;
  lld_Print("0x%X\n", unsigned(BusRead(0x000)));
  return 0;
}

LLD_DEFINE_COMMAND(DybEntryCmd) {
  (void)argc;
  (void)argv;
  Entry(0xE0E0);
  return 0;
}

LLD_DEFINE_COMMAND(DybSetCmd) {
  if (!OffsetOk(argc, argv, "lld_DybSetCmd")) return -1;
  BusWrite(0x000, 0xA0A0);
  BusWrite(HexArg(argc, argv, 2), 0x0000);
  return 0;
}

LLD_DEFINE_COMMAND(DybClrCmd) {
  if (!OffsetOk(argc, argv, "lld_DybClrCmd")) return -1;
  BusWrite(0x000, 0xA0A0);
  BusWrite(HexArg(argc, argv, 2), 0x0101);
  return 0;
}

LLD_DEFINE_COMMAND(DybReadCmd) {
  if (!OffsetOk(argc, argv, "lld_DybReadCmd")) return -1;
  lld_Print("0x%X\n", unsigned(BusRead(HexArg(argc, argv, 2))));
  return 0;
}

LLD_DEFINE_COMMAND(PpbLockBitReadOp) {
  (void)argc;
  (void)argv;
  lld_Print("LockBitRead data = 0x%X\n", unsigned(lld::PpbLockBitReadOp()));
  return 0;
}

LLD_DEFINE_COMMAND(PpbLockBitSetOp) {
  (void)argc;
  (void)argv;
  Entry(0x5050);
  BusWrite(0x000, 0xA0A0);
  BusWrite(0x000, 0x0000);
  int32_t r = ProtectionOpEnd();
  lld_Print(r == 0 ? "PPB LockBit Set Op Successful\n" : "PPB LockBit Set Op Not Successful\n");
  return r;
}

LLD_DEFINE_COMMAND(LockRegBitsReadOp) {
  (void)argc;
  (void)argv;
  Entry(0x4040);
  uint16_t v = BusRead(0x077);
  CommandSetExit();
  lld_Print("LockRegBitRead data = 0x%X\n", unsigned(v));
  return 0;
}

LLD_DEFINE_COMMAND(LockRegBitsProgramOp) {
  Entry(0x4040);
  BusWrite(0x000, 0xA0A0);
  BusWrite(0x077, uint16_t(HexArg(argc, argv, 2)));
  int32_t r = ProtectionOpEnd();
  lld_Print(r == 0 ? "LockRegBits Program Op Successful\n" : "LockRegBits Program Op Not Successful\n");
  return r;
}

LLD_DEFINE_COMMAND(PpbAllEraseOp) {
  (void)argc;
  (void)argv;
  int32_t r = -1;
  if (lld::PpbLockBitReadOp() != 0) {
    Unlock();
    BusWrite(0x000, 0xC0C0);
    BusWrite(0x000, 0x8080);
    BusWrite(0x000, 0x3030);
    r = ProtectionOpEnd();
  }
  // The operation's outcome is printed like the other protection operations': a user who only
  // sees the console must learn that the bits were not erased.
  lld_Print(r == 0 ? "PPB All Erase Op Successful\n" : "PPB All Erase Op Not Successful\n");
  return r;
}

LLD_DEFINE_COMMAND(PpbStatusReadOp) {
  if (!OffsetOk(argc, argv, "lld_PpbStatusReadOp")) return -1;
  uint32_t o = HexArg(argc, argv, 2);
  Unlock();
  BusWrite(o, 0xC0C0);
  uint16_t v = BusRead(o);
  CommandSetExit();
  lld_Print("PPB Status Read: data = 0x%X\n", unsigned(v));
  return 0;
}

LLD_DEFINE_COMMAND(PpbProgramOp) {
  if (!OffsetOk(argc, argv, "lld_PpbProgramOp")) return -1;
  uint32_t o = HexArg(argc, argv, 2);
  int32_t r = -1;
  if (lld::PpbLockBitReadOp() != 0) {
    Unlock();
    BusWrite(o, 0xC0C0);
    BusWrite(0x000, 0xA0A0);
    BusWrite(o, 0x0000);
    r = ProtectionOpEnd();
  }
  lld_Print(r == 0 ? "PPB Program Op Successful\n" : "PPB Program Op Not Successful\n");
  return r;
}

// ---- Trace commands ----

LLD_DEFINE_COMMAND(ResetTrace) {
  (void)argc;
  (void)argv;
  S().traceIndex = -1;
  S().traceWrapped = false;
  return 0;
}

LLD_DEFINE_COMMAND(DisplayTrace) {
  (void)argc;
  (void)argv;
  State& s = S();
  lld_Print("Sync     Type   Base     Offset   Address  Data       usecs\n");
  int count = s.traceWrapped ? kTraceRecords : s.traceIndex + 1;
  int first = s.traceWrapped ? (s.traceIndex + 1) % kTraceRecords : 0;
  for (int i = 0; i < count && !OutputFull(); ++i) {
    const TraceRecord& r = s.trace[(first + i) % kTraceRecords];
    lld_Print("%8.8d %6.6s %8.8X %8.8X %8.8X %8.8X %c \n", int(r.sequence), r.type == kReadRecord ? "Read  " : "Write ",
              unsigned(r.base), unsigned(r.offset), unsigned(r.address), unsigned(r.data),
              r.type == kReadRecord ? char(0xB0) : ' ');
    if (r.data == 0x00F0 || r.data == 0xF0F0) lld_Print("\n");
  }
  return 0;
}

namespace lld {

const CommandEntry* NorCommands() {
  static const CommandEntry table[] = {LX_NOR_OPERATION_ROWS(LLD_ROW) LLD_CLOSING_ROW};
  return table;
}

const CommandEntry* ProtectionCommands() {
  static const CommandEntry table[] = {LX_NOR_PROTECTION_ROWS(LLD_ROW) LLD_CLOSING_ROW};
  return table;
}

const CommandEntry* TraceCommands() {
  static const CommandEntry table[] = {LX_CONSOLE_TRACE_ROWS_RESET(LLD_ROW) LX_CONSOLE_TRACE_ROWS_DISPLAY(LLD_ROW) LLD_CLOSING_ROW};
  return table;
}

}  // namespace lld

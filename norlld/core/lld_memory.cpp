// CFI query commands and memory commands.
#include <cstdio>
#include <cstring>

#include "lld_internal.h"

namespace lld {

namespace {

// One CFI byte: interleaved x8 chips answer the byte in both halves of the word, a x16 chip in the
// low half; the low byte is the field either way.
uint32_t CfiByte(uint32_t offset) { return lld::ReadCfiWord(offset) & 0xFF; }

uint32_t PrimaryTable() { return CfiByte(0x16) << 8 | CfiByte(0x15); }

void PrintChoice(uint32_t value, const char* const* names, uint32_t count, const char* other) {
  if (value < count)
    lld_Print("%s", names[value]);
  else
    lld_Print("%s", other);
}

const char kUnknown[] = "-UNKNOWN-\n";
const char* const kNotSupportedSupported[] = {"Not supported\n", "Supported\n"};

}  // namespace

uint8_t* ScratchpadRange(uint32_t address, uint64_t length) {
  State& s = S();
  if (!s.scratchpad || !s.pad || address < s.scratchpad) return nullptr;
  uint64_t start = uint64_t(address) - s.scratchpad;
  if (start + length > kLldScratchpadSize) return nullptr;
  return s.pad.get() + start;
}

void CreateMemoryVariables() {
  State& s = S();
  CreateVariable("r8", 1, &s.r8, true);
  CreateVariable("r16", 2, &s.r16, true);
  CreateVariable("r32", 4, &s.r32, true);
  CreateVariable("s8", 4, &s.s8, true);
  CreateVariable("s16", 4, &s.s16, true);
  CreateVariable("s32", 4, &s.s32, true);
}

}  // namespace lld

using namespace lld;

// ---- CFI query commands ----

LLD_DEFINE_COMMAND(VendorCommandSet) {
  (void)argc;
  (void)argv;
  uint32_t v = CfiByte(0x14) << 8 | CfiByte(0x13);
  switch (v) {
  case 0: lld_Print("Not specified (0x00)\n"); break;
  case 1: lld_Print("Intel, Sharp (0x01)\n"); break;
  case 2: lld_Print("AMD, Fujitsu (0x02)\n"); break;
  case 3: lld_Print("Intel (0x03)\n"); break;
  case 4: lld_Print("Amd, Fujitsu (0x04)\n"); break;
  case 0x100: lld_Print("Mitsubishi (0x100)\n"); break;
  case 0x101: lld_Print("Mitsubishi (0x101)\n"); break;
  default: lld_Print("-UNKNOWN- (0x%8.8X)\n", unsigned(v)); break;
  }
  return 0;
}

LLD_DEFINE_COMMAND(PrimaryExtendedTableOffset) {
  (void)argc;
  (void)argv;
  lld_Print("0x%8.8X\n", unsigned(PrimaryTable()));
  return 0;
}

LLD_DEFINE_COMMAND(DeviceSize) {
  (void)argc;
  (void)argv;
  uint32_t n = CfiByte(0x27);
  // 2^n bytes: beyond 2^63 no size is meant, and sizes of 4 GiB and more need 64 bits.
  if (n >= 64) {
    lld_Print("-UNKNOWN- (0x%2.2X)\n", unsigned(n));
    return -1;
  }
  uint64_t size = uint64_t(1) << n;
  lld_Print("%lluMB (0x%8.8llX)\n", static_cast<unsigned long long>(size >> 20), static_cast<unsigned long long>(size));
  return 0;
}

LLD_DEFINE_COMMAND(MaxBytesPerMultiByteWrite) {
  (void)argc;
  (void)argv;
  uint32_t n = CfiByte(0x2B) << 8 | CfiByte(0x2A);
  lld_Print("0x%8.8X\n", unsigned(1u << (n % 32)));
  return 0;
}

LLD_DEFINE_COMMAND(NumberOfEraseBlockRegions) {
  (void)argc;
  (void)argv;
  lld_Print("0x%8.8X\n", unsigned(CfiByte(0x2C)));
  return 0;
}

LLD_DEFINE_COMMAND(GetEraseBlockRegionInfo) {
  (void)argc;
  (void)argv;
  State& s = S();
  // The library keeps six regions: a chip (or a bus without one) that reports more gets six.
  for (uint32_t i = 0; i < 6 && i < CfiByte(0x2C); ++i) {
    uint32_t sectors = ((CfiByte(0x2E + 4 * i) << 8 | CfiByte(0x2D + 4 * i)) + 1) & 0xFFFF;
    uint32_t unit = CfiByte(0x30 + 4 * i) << 8 | CfiByte(0x2F + 4 * i);
    s.regionSectors[i] = sectors;
    s.regionSize[i] = unit * 256;
    lld_Print("Region %d, %4.4d sectors of size %3.3dKB\n", int(i), int(sectors), int(unit * 256 / 1024));
  }
  return 0;
}

LLD_DEFINE_COMMAND(GetVersion) {
  (void)argc;
  (void)argv;
  uint32_t p = PrimaryTable();
  lld_Print("0x%4.4X\n", unsigned(CfiByte(p + 3) << 8 | CfiByte(p + 4)));
  return 0;
}

LLD_DEFINE_COMMAND(AddressSensitiveUnlock) {
  (void)argc;
  (void)argv;
  uint32_t v = CfiByte(PrimaryTable() + 5) & 3;
  if (v == 0)
    lld_Print("Required (0x0000)\n");
  else if (v == 1)
    lld_Print("Not required (0x0001)\n");
  else
    lld_Print("-Unknown- (0x%4.4X)\n", unsigned(v));
  return 0;
}

LLD_DEFINE_COMMAND(ProcessTechnology) {
  (void)argc;
  (void)argv;
  static const char* const names[] = {"Process generation 0\n", "Process generation 1\n", "Process generation 2\n",
                                      "Process generation 3\n", "Process generation 4\n"};
  PrintChoice(CfiByte(PrimaryTable() + 5) >> 2, names, 5, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(EraseSuspendCapability) {
  (void)argc;
  (void)argv;
  static const char* const names[] = {"Not supported\n", "Only read while suspended\n", "read and write while suspended\n"};
  PrintChoice(CfiByte(PrimaryTable() + 6), names, 3, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(SectorProtection) {
  (void)argc;
  (void)argv;
  uint32_t v = CfiByte(PrimaryTable() + 7);
  if (v == 0)
    lld_Print("Not supported\n");
  else
    lld_Print("Supported, %d sectors per group\n", int(v));
  return 0;
}

LLD_DEFINE_COMMAND(SectorTemporaryUnprotect) {
  (void)argc;
  (void)argv;
  PrintChoice(CfiByte(PrimaryTable() + 8), kNotSupportedSupported, 2, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(SectorProtectionScheme) {
  (void)argc;
  (void)argv;
  static const char* const names[] = {"No protection\n",
                                      "Protection scheme 1 Mode\n",
                                      "Protection scheme 2 Mode\n",
                                      "Protection scheme 3 Mode\n",
                                      "Protection scheme 4 Mode\n",
                                      "Protection scheme 5 Mode\n",
                                      "Protection scheme 6 Mode\n",
                                      "Protection scheme 4 Mode\n",
                                      "Protection scheme 8 Mode\n"};
  PrintChoice(CfiByte(PrimaryTable() + 9), names, 9, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(SimultaneousOperation) {
  (void)argc;
  (void)argv;
  PrintChoice(CfiByte(PrimaryTable() + 0xA), kNotSupportedSupported, 2, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(BurstModeType) {
  (void)argc;
  (void)argv;
  PrintChoice(CfiByte(PrimaryTable() + 0xB), kNotSupportedSupported, 2, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(PageModeType) {
  (void)argc;
  (void)argv;
  static const char* const names[] = {"Not supported\n", "4 word page\n", "8 word page\n"};
  PrintChoice(CfiByte(PrimaryTable() + 0xC), names, 3, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(BootSectorFlag) {
  (void)argc;
  (void)argv;
  static const char* const names[] = {"No WP\n",
                                      "8x8KB sectors at top and bottom with WP\n",
                                      "Bottom boot device\n",
                                      "Top boot device\n",
                                      "Uniform sectors, bottom sector with WP\n",
                                      "Uniform sectors, top sector with WP\n"};
  PrintChoice(CfiByte(PrimaryTable() + 0xF), names, 6, kUnknown);
  return 0;
}

LLD_DEFINE_COMMAND(ProgramSuspend) {
  (void)argc;
  (void)argv;
  static const char* const names[] = {"Not support\n", "Supported\n"};
  PrintChoice(CfiByte(PrimaryTable() + 0x10), names, 2, kUnknown);
  return 0;
}

// ---- Memory commands ----

namespace {

const char kInvalidAddress[] = "Invalid Address %8.8X : Please use \"interface macro\"\n";
const char kOutsideScratchpad[] = "Invalid Address %8.8X : the range must lie inside the 64K scratchpad\n";

// The whole range [address, address + length) in the scratchpad, or a message and null.
uint8_t* RawRange(uint32_t address, uint64_t length) {
  uint8_t* p = ScratchpadRange(address, length);
  if (!p) lld_Print(S().interfaceMacro ? kOutsideScratchpad : kInvalidAddress, unsigned(address));
  return p;
}

uint32_t Load(const uint8_t* p, unsigned unit) {
  uint32_t v = 0;
  for (unsigned i = 0; i < unit; ++i) v |= uint32_t(p[i]) << (8 * i);
  return v;
}

void Store(uint8_t* p, unsigned unit, uint32_t v) {
  for (unsigned i = 0; i < unit; ++i) p[i] = uint8_t(v >> (8 * i));
}

uint32_t Mask(unsigned unit) { return unit == 4 ? 0xFFFFFFFFu : (1u << (8 * unit)) - 1; }

const char* ItemFormat(unsigned unit) { return unit == 1 ? "%2.2X " : unit == 2 ? "%4.4X " : "%8.8X "; }

int Dump(int32_t argc, char** argv, unsigned unit) {
  State& s = S();
  uint32_t address = HexArg(argc, argv, 1);
  const uint32_t perLine = 16 / unit;
  uint64_t items = argc >= 2 ? HexArg(argc, argv, 2) : 2 * perLine;
  if (!s.interfaceMacro) {
    const uint8_t* p = RawRange(address, items * unit);
    if (!p) return -1;
    for (uint64_t i = 0; i < items && !OutputFull(); ++i) {
      if (i % perLine == 0) lld_Print("%8.8X   ", unsigned(address + i * unit));
      lld_Print(ItemFormat(unit), unsigned(Load(p + i * unit, unit)));
      if (i % perLine == perLine - 1 || i + 1 == items) lld_Print("\n");
    }
    return 0;
  }
  // The chip is read one 16-bit word per item, at word offsets counted from the base address;
  // d8 shows a word's low byte and d32 the word in eight digits. The line address scales the
  // offset by the unit shown, so "d16 base+10" starts its line at base+20, the byte address of
  // word 0x10, and the next line's address follows on from the last item shown.
  if (address < s.baseAddr) {
    lld_Print("Invalid Address %8.8X : below the base address %8.8X\n", unsigned(address), unsigned(s.baseAddr));
    return -1;
  }
  // Took the kit back before the first line starts, so that a kit held elsewhere is said alone.
  if (s.kit && !Kit()) return -1;
  const uint32_t first = address - s.baseAddr;
  for (uint64_t i = 0; i < items && !OutputFull(); ++i) {
    const uint32_t offset = uint32_t(first + i);
    if (i % perLine == 0) lld_Print("%8.8X   ", unsigned(s.baseAddr + unit * offset));
    const uint16_t word = BusRead(offset);
    lld_Print(ItemFormat(unit), unsigned(unit == 1 ? word & 0xFFu : word));
    if (i % perLine == perLine - 1 || i + 1 == items) lld_Print("\n");
  }
  return 0;
}

int Read(int32_t argc, char** argv, unsigned unit) {
  const uint8_t* p = RawRange(HexArg(argc, argv, 1), unit);
  if (!p) return -1;
  uint32_t v = Load(p, unit);
  State& s = S();
  if (unit == 1) s.r8 = uint8_t(v), lld_Print("%2.2X\n", unsigned(v));
  if (unit == 2) s.r16 = uint16_t(v), lld_Print("%4.4X\n", unsigned(v));
  if (unit == 4) s.r32 = v, lld_Print("%8.8X\n", unsigned(v));
  return 0;
}

int Write(int32_t argc, char** argv, unsigned unit) {
  uint8_t* p = RawRange(HexArg(argc, argv, 1), unit);
  if (!p) return -1;
  Store(p, unit, HexArg(argc, argv, 2));
  return 0;
}

// The checks of fill and search; on success the range's bytes, its item count and the data step.
bool RangeOf(int32_t argc, char** argv, unsigned unit, const char* command, uint8_t** bytes, uint64_t* items,
             int* step) {
  State& s = S();
  uint32_t address = HexArg(argc, argv, 1), end = HexArg(argc, argv, 2);
  if (!s.superUser && uint64_t(end) >= uint64_t(address) + s.windowSize) {
    char text[64];
    std::snprintf(text, sizeof text, "Invalid addr_end for %s command!\n", command);
    PrintError(text);
    return false;
  }
  *step = 0;
  if (argc >= 4) {
    const char* sign = Arg(argc, argv, 4);
    if (WordIs(sign, "+"))
      *step = 1;
    else if (WordIs(sign, "-"))
      *step = -1;
    else {
      PrintError("Don't understand forth parameter.\n");
      return false;
    }
  }
  *items = end >= address ? (uint64_t(end) - address) / unit + 1 : 0;
  *bytes = RawRange(address, *items * unit);
  return *bytes != nullptr;
}

int Fill(int32_t argc, char** argv, unsigned unit, const char* command) {
  uint8_t* p;
  uint64_t items;
  int step;
  if (!RangeOf(argc, argv, unit, command, &p, &items, &step)) return -1;
  uint32_t data = HexArg(argc, argv, 3);
  for (uint64_t i = 0; i < items; ++i, data += uint32_t(step)) Store(p + i * unit, unit, data & Mask(unit));
  return 0;
}

int Search(int32_t argc, char** argv, unsigned unit, const char* command, uint32_t* found) {
  uint8_t* p;
  uint64_t items;
  int step;
  if (!RangeOf(argc, argv, unit, command, &p, &items, &step)) return -1;
  const char* dataText = Arg(argc, argv, 3);
  bool differ = dataText[0] == '!';
  uint32_t data = ParseHex(differ ? dataText + 1 : dataText) & Mask(unit);
  uint32_t address = HexArg(argc, argv, 1);
  bool first = true;
  *found = 0;
  const char* differFormat = unit == 1 ? "%8.8X %2.2X != %2.2X\n" : unit == 2 ? "%8.8X %4.4X != %4.4X\n" : "%8.8X %8.8X != %8.8X\n";
  for (uint64_t i = 0; i < items && !OutputFull(); ++i, data = (data + uint32_t(step)) & Mask(unit)) {
    uint32_t item = Load(p + i * unit, unit);
    uint32_t at = uint32_t(address + i * unit);
    if (!differ && item == data)
      lld_Print("%8.8X\n", unsigned(at));
    else if (differ && item != data)
      lld_Print(differFormat, unsigned(at), unsigned(item), unsigned(data));
    else
      continue;
    if (first) *found = at;
    first = false;
  }
  return 0;
}

}  // namespace

LLD_DEFINE_COMMAND(memory_dump8) { return Dump(argc, argv, 1); }
LLD_DEFINE_COMMAND(memory_dump16) { return Dump(argc, argv, 2); }
LLD_DEFINE_COMMAND(memory_dump32) { return Dump(argc, argv, 4); }
LLD_DEFINE_COMMAND(memory_read8) { return Read(argc, argv, 1); }
LLD_DEFINE_COMMAND(memory_read16) { return Read(argc, argv, 2); }
LLD_DEFINE_COMMAND(memory_read32) { return Read(argc, argv, 4); }
LLD_DEFINE_COMMAND(memory_write8) { return Write(argc, argv, 1); }
LLD_DEFINE_COMMAND(memory_write16) { return Write(argc, argv, 2); }
LLD_DEFINE_COMMAND(memory_write32) { return Write(argc, argv, 4); }
LLD_DEFINE_COMMAND(memory_fill8) { return Fill(argc, argv, 1, "f8"); }
LLD_DEFINE_COMMAND(memory_fill16) { return Fill(argc, argv, 2, "f16"); }
LLD_DEFINE_COMMAND(memory_fill32) { return Fill(argc, argv, 4, "f32"); }
LLD_DEFINE_COMMAND(memory_search8) { return Search(argc, argv, 1, "s8", &S().s8); }
LLD_DEFINE_COMMAND(memory_search16) { return Search(argc, argv, 2, "s16", &S().s16); }
LLD_DEFINE_COMMAND(memory_search32) { return Search(argc, argv, 4, "s32", &S().s32); }

LLD_DEFINE_COMMAND(memory_interface) {
  if (argc < 1) {
    lld_Print(S().interfaceMacro ? "Current interface is set to macro\n" : "Current interface is set to raw\n");
    return 0;
  }
  const char* word = Arg(argc, argv, 1);
  if (WordIs(word, "raw"))
    S().interfaceMacro = false;
  else if (WordIs(word, "macro"))
    S().interfaceMacro = true;
  else
    lld_Print("Invalid parameter: enter raw or macro \n");
  return 0;
}

namespace lld {

const CommandEntry* MemoryCommands() {
  static const CommandEntry table[] = {LX_NOR_MEMORY_ROWS(LLD_ROW) LLD_CLOSING_ROW};
  return table;
}

}  // namespace lld

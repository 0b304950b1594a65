#include "module_arch.h"

#include <cstring>

namespace lx {
namespace {
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }
}  // namespace

uint16_t PeMachine(const uint8_t* bytes, size_t size) {
  // DOS header: "MZ", the offset of the PE header at 0x3C; PE header: "PE\0\0", then the machine.
  if (!bytes || size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
  uint32_t pe = U32(bytes + 0x3C);
  if (pe > size || size - pe < 6) return 0;
  if (std::memcmp(bytes + pe, "PE\0\0", 4) != 0) return 0;
  return U16(bytes + pe + 4);
}

const char* MachineBits(uint16_t machine) {
  switch (machine) {
    case kMachineI386: return "32-bit";
    case kMachineAmd64: return "64-bit";
    default: return "unknown";
  }
}

uint16_t OwnMachine() { return sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386; }

std::string WrongArchitectureText(const char* path, uint16_t machine, uint16_t own) {
  if (machine == own || (machine != kMachineI386 && machine != kMachineAmd64)) return {};
  std::string text = path ? path : "";
  text += " is a ";
  text += MachineBits(machine);
  text += " module; this Lumivex is a ";
  text += MachineBits(own);
  text += " program and loads only ";
  text += MachineBits(own);
  text += " modules.";
  return text;
}

}  // namespace lx

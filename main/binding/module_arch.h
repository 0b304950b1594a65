// Which processor a module file was built for, read from its PE header, so that a module of the
// other architecture is refused with a message that says so rather than a bare load failure.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace lx {

enum : uint16_t { kMachineI386 = 0x014C, kMachineAmd64 = 0x8664 };

// The PE machine word of an image that starts with `bytes` (the first `size` bytes of the file);
// 0 when they do not hold a whole PE header.
uint16_t PeMachine(const uint8_t* bytes, size_t size);

// "32-bit", "64-bit" or "unknown".
const char* MachineBits(uint16_t machine);

// The machine this program was built for.
uint16_t OwnMachine();

// The text of the refusal of `path`, built for `machine`, in a program built for `own`; empty
// when the module may be loaded (its machine is ours, or unknown: the loader then has its say).
std::string WrongArchitectureText(const char* path, uint16_t machine, uint16_t own);

}  // namespace lx

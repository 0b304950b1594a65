// Shared pieces of every table of named entry points: the symbol lookup the binders use
// (GetProcAddress on Windows, a fake in native tests), the "not supported" report of the
// stubs, and the stub result of each result type.
#pragma once
#include <cstdint>
#include <type_traits>

namespace lx {

// Looks an exported name up in a loaded module; null when the module lacks it.
typedef void* (*SymbolLookup)(void* module, const char* name);

// A stub's report of a call of a missing entry point: an OK box through the prompt seam.
void ReportNotSupported(const char* text);

// The value a stub returns, converted to its slot's result type: all ones for integers
// (so -1 for signed, 0xFFFFFFFF / 64-bit -1 for unsigned), null for pointers, nothing for void.
template <class R>
inline R StubResult(long long value) {
  if constexpr (std::is_void_v<R>) {
    (void)value;
  } else if constexpr (std::is_pointer_v<R>) {
    (void)value;
    return nullptr;
  } else {
    return static_cast<R>(value);
  }
}

// Stores a looked-up address into a typed cell, or the stub when the name is missing.
// Returns true when the name was found.
template <class Fn>
inline bool BindCell(Fn& cell, Fn stub, SymbolLookup lookup, void* module, const char* name) {
  void* address = lookup ? lookup(module, name) : nullptr;
  if (address) {
    cell = reinterpret_cast<Fn>(address);
    return true;
  }
  cell = stub;
  return false;
}

}  // namespace lx

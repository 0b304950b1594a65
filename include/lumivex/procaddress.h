// Looking up an export by name as a typed function pointer (Windows only).
#ifndef LUMIVEX_PROCADDRESS_H
#define LUMIVEX_PROCADDRESS_H

#include <windows.h>

// GetProcAddress gives a generic pointer; going through void* states that the cast is meant.
template <class Fn>
Fn LxGetProc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#endif

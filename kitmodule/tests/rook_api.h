// Tarn-Rook.dll's device API bound by name, as the main program binds it, for the tests that load the
// module.
#pragma once
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "lumivex/deviceapi.h"

struct RookApi {
    HMODULE module = nullptr;
#define LX_ROOK_MEMBER(slot, name, ret, params, args, group, stub, k, v) name##_fn name = nullptr;
    LX_DEVICE_API_SLOTS(LX_ROOK_MEMBER)
#undef LX_ROOK_MEMBER
};

// Loads the module from `path` and looks up every export; a name it lacks stays null.
inline RookApi BindRook(const char* path) {
    RookApi a;
    a.module = LoadLibraryA(path);
#define LX_ROOK_BIND(slot, name, ret, params, args, group, stub, k, v) \
    a.name = reinterpret_cast<name##_fn>(reinterpret_cast<void*>(GetProcAddress(a.module, #name)));
    if (a.module) LX_DEVICE_API_SLOTS(LX_ROOK_BIND)
#undef LX_ROOK_BIND
    return a;
}

// The USB driver as the device classes reach it: one table of functions. The Win32 table goes to the
// setup API and DeviceIoControl; when the environment variable LX_KITSIM names simulated kits, the
// table comes from LxKitSim.dll instead, and the same classes drive the simulated kits.
#pragma once
#include <windows.h>

extern "C" {

struct CyDriverTable {
    DWORD size;  // sizeof(CyDriverTable)
    // Path of the index-th present interface of the class; FALSE with ERROR_NO_MORE_ITEMS past the end.
    BOOL (*InterfacePath)(const GUID* guid, DWORD index, char* path, DWORD pathSize);
    // CreateFileA(read/write, shared, OPEN_EXISTING, overlapped); INVALID_HANDLE_VALUE on failure.
    HANDLE (*Open)(const char* path);
    BOOL (*Close)(HANDLE handle);
    BOOL (*IoControl)(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                      DWORD* returned, OVERLAPPED* overlapped);
    BOOL (*OverlappedResult)(HANDLE handle, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait);
};

// Exported by LxKitSim.dll.
typedef const CyDriverTable* (*LxKitSimDriverFn)(void);
}

// The table in force for this process (chosen once).
const CyDriverTable* CyDriver();

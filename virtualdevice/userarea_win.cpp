#include <windows.h>

#include <cstdlib>

#include "vdapi.h"

namespace lxvd {

/* The user area that the main program registered at its first start. */
bool PlatformUserAreaPath(std::string* path) {
    path->clear();
    /* a test can point a process at its own user area */
    if (const char* v = std::getenv("LX_USER_AREA")) {
        *path = v;
        return true;
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Keldorn\\Lumivex\\User Area", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buf[512];
    DWORD type = 0, size = sizeof buf - 1;
    LONG rc = RegQueryValueExA(key, "Full Path", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buf[size] = 0;
    *path = buf;
    while (!path->empty() && (path->back() == '\0' || path->back() == '\\')) path->pop_back();
    return true;
}

}  // namespace lxvd

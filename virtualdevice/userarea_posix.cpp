#include <cstdlib>

#include "vdapi.h"

namespace lxvd {

/* Builds without a registry take the user area from the environment. */
bool PlatformUserAreaPath(std::string* path) {
    const char* v = std::getenv("LX_USER_AREA");
    *path = v ? v : "";
    return v != nullptr;
}

}  // namespace lxvd

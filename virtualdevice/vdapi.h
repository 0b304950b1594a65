/* The volume layer of the virtual device: the module state behind the device-API exports.
 * Portable; the exports themselves are declared by lumivex/deviceapi.h. */
#ifndef LUMIVEX_VIRTUALDEVICE_VDAPI_H
#define LUMIVEX_VIRTUALDEVICE_VDAPI_H

#include <memory>
#include <string>

#include "blockdev.h"
#include "fat/fatfs.h"

namespace lxvd {

/* Where the user area is found: the registry on Windows, the environment elsewhere. */
bool PlatformUserAreaPath(std::string* path);

/* The image used from now on instead of the one in the user area (tests, the benchmark);
 * null returns to the user area's image. Closes the open image first. */
void VdUseStorage(std::unique_ptr<ImageStorage> storage);
/* Clock of the entry stamps. */
void VdSetClock(lxfat::ClockFn clock);
/* The file system's own error word (not reported by any export). */
int VdFsError();
/* The image path that gfslInit mode 0 derived from the user area. */
std::string VdImagePath();

}  // namespace lxvd

#endif

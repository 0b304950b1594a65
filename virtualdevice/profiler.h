/* The function-call profiler of a device module: one entry per device-API slot. The same source
 * serves every device module. Portable. */
#ifndef LUMIVEX_VIRTUALDEVICE_PROFILER_H
#define LUMIVEX_VIRTUALDEVICE_PROFILER_H

#define LX_DEVICE_MODULE_EXPORTS
#include "lumivex/deviceapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Counts one call of the entry point in `slot`; does nothing while no profiler exists, since
 * the main program may call before it creates one. */
void LxProfilerCount(int slot);

#ifdef __cplusplus
}
#endif

#endif

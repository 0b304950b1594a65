/* Records and types that cross the boundary between the main program and a device module,
 * and the declarations generated from the slot list. Usable from C and C++, on the 32-bit
 * Windows target and in the native build of the portable core. */
#ifndef LUMIVEX_DEVICEAPI_H
#define LUMIVEX_DEVICEAPI_H

#include <stddef.h>
#include <stdint.h>

#include "lumivex/deviceapi_slots.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A C "long" of the 32-bit target: file positions and lengths of the file API. */
typedef int32_t gfsl_long;

/* Group bits of the binder's missing-name mask. */
#define LX_GROUP_DEVICE 0x1u
#define LX_GROUP_FS 0x4u
#define LX_GROUP_PROFILER 0x8u

/* 32 bytes shaped like a FAT directory entry; callers read the attribute and the size. */
typedef struct GFSL_STAT {
    uint8_t name[11];
    uint8_t attr; /* 0x10 = directory */
    uint8_t ntRes;
    uint8_t crtTimeTenth;
    uint16_t crtTime;
    uint16_t crtDate;
    uint16_t lstAccDate;
    uint16_t fstClusHi;
    uint16_t wrtTime;
    uint16_t wrtDate;
    uint16_t fstClusLo;
    uint32_t fileSize;
} GFSL_STAT;

#define GFSL_ATTR_DIRECTORY 0x10u
#define GFSL_DIR_NAME_SIZE 512

/* Directory stream handed out by gfslopendir; owned by the module until gfslclosedir. */
typedef struct GFSL_DIR {
    uint32_t volume;                 /* module-private */
    uint32_t tag;                    /* module-private */
    char name[GFSL_DIR_NAME_SIZE];   /* UTF-8 name of the entry last read */
    GFSL_STAT entry;                 /* directory entry of the entry last read */
} GFSL_DIR;

/* One entry of a module's function profiler. */
typedef struct FunctionProfilerEntry {
    uint32_t index;
    uint32_t reserved;
    uint64_t count;       /* calls since the last reset */
    uint64_t accumulated; /* calls since creation */
} FunctionProfilerEntry;

#define LX_PROFILER_ENTRY_COUNT 66

/* The print callback and parameters handed to gfslDoSelfTest. */
typedef void (*SelfTestPrint)(int level, const char* format, ...);
typedef struct SelfTestRecord {
    int32_t testLevel;
    int32_t failureHandling;
    SelfTestPrint print;
} SelfTestRecord;

/* One row of a low-level command table (the consoles of the main program and the NOR driver). */
typedef int (*CommandHandler)(int argc, char** argv);
typedef struct CommandEntry {
    const char* name;
    CommandHandler handler;
    int32_t minParams;
    int32_t maxParams;
    const char* syntax;
} CommandEntry;

/* One record of the kit module's bus trace ("TraceMap"). */
typedef struct TraceRecord {
    uint32_t sync;
    uint32_t opcode;
    uint32_t base;
    uint32_t offset;
    uint32_t address;
    uint32_t data;
} TraceRecord;
#define LX_TRACE_RECORD_COUNT 50000u
#define LX_TRACE_MAP_BYTES (LX_TRACE_RECORD_COUNT * 24u)

/* Pointer types of the entry points: gfslInit_fn, gfslfopen_fn, ... */
#define LX_DEVICE_API_TYPEDEF(slot, name, ret, params, args, group, stub, k, v) typedef ret(*name##_fn) params;
LX_DEVICE_API_SLOTS(LX_DEVICE_API_TYPEDEF)
#undef LX_DEVICE_API_TYPEDEF

/* A device module defines LX_DEVICE_MODULE_EXPORTS before including this header to get the
 * prototypes of the entry points it implements (exported by name through its .def file). */
#ifdef LX_DEVICE_MODULE_EXPORTS
#define LX_DEVICE_API_PROTOTYPE(slot, name, ret, params, args, group, stub, k, v) ret name params;
LX_DEVICE_API_SLOTS(LX_DEVICE_API_PROTOTYPE)
#undef LX_DEVICE_API_PROTOTYPE
#endif

#ifdef __cplusplus
}
#endif

/* The layouts are fixed by the modules already in the field. */
#ifdef __cplusplus
#define LX_STATIC_ASSERT static_assert
#else
#define LX_STATIC_ASSERT _Static_assert
#endif
LX_STATIC_ASSERT(sizeof(GFSL_STAT) == 32, "GFSL_STAT is 32 bytes");
LX_STATIC_ASSERT(offsetof(GFSL_STAT, attr) == 11, "attribute byte at 11");
LX_STATIC_ASSERT(offsetof(GFSL_STAT, fileSize) == 28, "size at 28");
LX_STATIC_ASSERT(sizeof(GFSL_DIR) == 552, "GFSL_DIR is 552 bytes");
LX_STATIC_ASSERT(offsetof(GFSL_DIR, name) == 8, "name at 8");
LX_STATIC_ASSERT(offsetof(GFSL_DIR, entry) + offsetof(GFSL_STAT, attr) == 531, "attribute at 531");
LX_STATIC_ASSERT(offsetof(GFSL_DIR, entry) + offsetof(GFSL_STAT, fileSize) == 548, "size at 548");
LX_STATIC_ASSERT(sizeof(FunctionProfilerEntry) == 24, "FunctionProfilerEntry is 24 bytes");
LX_STATIC_ASSERT(offsetof(FunctionProfilerEntry, count) == 8, "count at 8");
LX_STATIC_ASSERT(sizeof(TraceRecord) == 24, "TraceRecord is 24 bytes");
/* These two hold pointers and never leave the process: a module of the same architecture reads them. */
#if UINTPTR_MAX == 0xFFFFFFFFu
LX_STATIC_ASSERT(sizeof(CommandEntry) == 20, "CommandEntry is five 32-bit words");
LX_STATIC_ASSERT(sizeof(SelfTestRecord) == 12, "SelfTestRecord is three 32-bit words");
#else
LX_STATIC_ASSERT(sizeof(CommandEntry) == 32, "CommandEntry: three pointers and two 32-bit words");
LX_STATIC_ASSERT(sizeof(SelfTestRecord) == 16, "SelfTestRecord: two 32-bit words and a pointer");
#endif

#endif

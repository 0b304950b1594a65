// Tables of the optional outside modules: the analyzer library and its viewer, the external
// GFSL module and the external ECC module. Same scheme as the device table: one stub per
// name, bound by name, no cell ever empty.
#pragma once
#include <cstdint>

#include "bind_core.h"

// X(name, result type, (parameters), stub result)
#define LX_VYR_VIEWER_API(X)            \
  X(vyrOpenViewer, int, (void), -1)     \
  X(vyrRunViewer, int, (void), -1)

#define LX_VYR_API(X)                                           \
  X(vyrOpen, int, (void* record), -1)                           \
  X(vyrClose, int, (int value), -1)                             \
  X(vyrGetVersion, const char*, (uint32_t* out), 0)             \
  X(vyrGetCoreCommands, void*, (void), 0)                       \
  X(vyrGetEngineErrorStrings, void*, (void), 0)                 \
  X(vyrGetCoreErrorStrings, void*, (void), 0)                   \
  X(vyrGetResult, int, (const char** text), 0)                  \
  X(vyrGetStatus, int, (const char** text), -1)                 \
  X(vyrGetLastErrorEngine, int, (void), -1)                     \
  X(vyrGetLastErrorCore, int, (void), -1)                       \
  X(vyrGetProgress, int, (const char** text), -1)               \
  X(vyrGetLastBDCommand, int, (void), -1)                       \
  X(vyrGetLastFSCommand, int, (void), -1)                       \
  X(vyrStartBDAnalysis, int, (uint32_t value), -1)              \
  X(vyrStartFSAnalysis, int, (uint32_t value), -1)

#define LX_EXT_GFSL_API(X)                  \
  X(egmInit, int, (void* record), -1)       \
  X(egmRun, int, (int value), -1)           \
  X(egmExit, int, (int value), -1)

#define LX_EXT_ECC_API(X)                                                                                   \
  X(eemInit, int, (void* context), -1)                                                                      \
  X(eemExit, int, (void), -1)                                                                               \
  X(eemCalculateECC, void, (const uint8_t* sector, uint8_t* ecc), 0)                                        \
  X(eemCorrectECC, int, (uint8_t* sector, const uint8_t* storedEcc, const uint8_t* computedEcc, uint32_t flag), -1) \
  X(eemCalculateBCH, void, (uint8_t* buffer), 0)                                                            \
  X(eemCorrectBCH, int, (uint8_t* buffer, void* b, void* c), -1)

#define LX_OUTSIDE_CELL(name, ret, params, stub) ret (*name) params;
struct VyrViewerApiTableCells { LX_VYR_VIEWER_API(LX_OUTSIDE_CELL) };
struct VyrApiTableCells { LX_VYR_API(LX_OUTSIDE_CELL) };
struct ExtGfslApiTableCells { LX_EXT_GFSL_API(LX_OUTSIDE_CELL) };
struct ExtEccApiTableCells { LX_EXT_ECC_API(LX_OUTSIDE_CELL) };
#undef LX_OUTSIDE_CELL

extern VyrViewerApiTableCells VyrViewerApiTable;
extern VyrApiTableCells VyrApiTable;
extern ExtGfslApiTableCells ExtGfslApiTable;
extern ExtEccApiTableCells ExtEccApiTable;

// The device table's slots 0..64 as handed to egmInit.
constexpr int kGfslApiRecordCount = 65;
struct GfslApiRecord {
  void* entries[kGfslApiRecordCount];
};

namespace lx {

// 0 when every name was found, 1 when any was missing (those cells hold their stubs).
int BindVyrViewerApi(SymbolLookup lookup, void* module);
int BindVyrApi(SymbolLookup lookup, void* module);
int BindExtGfslApi(SymbolLookup lookup, void* module);
int BindExtEccApi(SymbolLookup lookup, void* module);

void ResetVyrViewerApiCells();
void ResetVyrApiCells();

// Copies DeviceApiTable slots 0..64 into the record.
void FillGfslApiRecordCells(GfslApiRecord& record);

}  // namespace lx

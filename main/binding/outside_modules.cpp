#include "outside_modules.h"

#include "device_api.h"

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif

namespace {

#define LX_OUTSIDE_STUB(name, ret, params, stub)             \
  ret name##_Stub params {                                   \
    lx::ReportNotSupported(#name " is not supported.");      \
    return lx::StubResult<ret>(stub);                        \
  }
LX_VYR_VIEWER_API(LX_OUTSIDE_STUB)
LX_VYR_API(LX_OUTSIDE_STUB)
LX_EXT_GFSL_API(LX_OUTSIDE_STUB)
LX_EXT_ECC_API(LX_OUTSIDE_STUB)
#undef LX_OUTSIDE_STUB

#define LX_OUTSIDE_STUB_CELL(name, ret, params, stub) &name##_Stub,
const VyrViewerApiTableCells kVyrViewerStubs = {LX_VYR_VIEWER_API(LX_OUTSIDE_STUB_CELL)};
const VyrApiTableCells kVyrStubs = {LX_VYR_API(LX_OUTSIDE_STUB_CELL)};
const ExtGfslApiTableCells kExtGfslStubs = {LX_EXT_GFSL_API(LX_OUTSIDE_STUB_CELL)};
const ExtEccApiTableCells kExtEccStubs = {LX_EXT_ECC_API(LX_OUTSIDE_STUB_CELL)};
#undef LX_OUTSIDE_STUB_CELL

#define LX_OUTSIDE_BIND(name, ret, params, stub) \
  if (!lx::BindCell(table.name, stubs.name, lookup, module, #name)) missing = 1;

}  // namespace

VyrViewerApiTableCells VyrViewerApiTable = kVyrViewerStubs;
VyrApiTableCells VyrApiTable = kVyrStubs;
ExtGfslApiTableCells ExtGfslApiTable = kExtGfslStubs;
ExtEccApiTableCells ExtEccApiTable = kExtEccStubs;

namespace lx {

// One binder per table, all from the same lines.
#define LX_OUTSIDE_BINDER(function, tableVar, stubsVar, LIST) \
  int function(SymbolLookup lookup, void* module) {          \
    int missing = 0;                                         \
    auto& table = tableVar;                                  \
    const auto& stubs = stubsVar;                            \
    LIST(LX_OUTSIDE_BIND)                                    \
    return missing;                                          \
  }
LX_OUTSIDE_BINDER(BindVyrViewerApi, VyrViewerApiTable, kVyrViewerStubs, LX_VYR_VIEWER_API)
LX_OUTSIDE_BINDER(BindVyrApi, VyrApiTable, kVyrStubs, LX_VYR_API)
LX_OUTSIDE_BINDER(BindExtGfslApi, ExtGfslApiTable, kExtGfslStubs, LX_EXT_GFSL_API)
LX_OUTSIDE_BINDER(BindExtEccApi, ExtEccApiTable, kExtEccStubs, LX_EXT_ECC_API)
#undef LX_OUTSIDE_BINDER

void ResetVyrViewerApiCells() { VyrViewerApiTable = kVyrViewerStubs; }
void ResetVyrApiCells() { VyrApiTable = kVyrStubs; }

void FillGfslApiRecordCells(GfslApiRecord& record) { CopyDeviceApiCells(record.entries, kGfslApiRecordCount); }

}  // namespace lx

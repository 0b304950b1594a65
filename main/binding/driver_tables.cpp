#include "driver_tables.h"

#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif

namespace {

int LXLLD_Init_Stub(uint32_t* baseAddress, uint32_t* windowSize, uint32_t* scratchpadAddress) {
  lx::ReportNotSupported("LXLLD_Init is not supported.");
  return -1;
}

// The consoles ignore a command's result; the stubs still give a defined failure value.
#define LX_NOR_STUB(suffix)                                              \
  int cmd_##suffix##_NorStub(int argc, char** argv) {                    \
    lx::ReportNotSupported("cmd_LLD_" #suffix " is not supported.");     \
    return -1;                                                           \
  }
LX_NOR_DRIVER_COMMANDS(LX_NOR_STUB)
#undef LX_NOR_STUB

#define LX_VELTAN_STUB(name)                                \
  int name##_VeltanStub(int argc, char** argv) {            \
    lx::ReportNotSupported(#name " is not supported.");     \
    return -1;                                              \
  }
LX_VELTAN_DRIVER_COMMANDS(LX_VELTAN_STUB)
#undef LX_VELTAN_STUB

const lx::NorDriverApiTableCells kNorStubs = {
    &LXLLD_Init_Stub,
    {
#define LX_NOR_STUB_CELL(suffix) &cmd_##suffix##_NorStub,
        LX_NOR_DRIVER_COMMANDS(LX_NOR_STUB_CELL)
#undef LX_NOR_STUB_CELL
    },
    nullptr,
    nullptr};

const lx::VeltanDriverApiTableCells kVeltanStubs = {
    &LXLLD_Init_Stub,
    {
#define LX_VELTAN_STUB_CELL(name) &name##_VeltanStub,
        LX_VELTAN_DRIVER_COMMANDS(LX_VELTAN_STUB_CELL)
#undef LX_VELTAN_STUB_CELL
    },
    nullptr,
    nullptr};

const char* const kNorNames[] = {
    "LXLLD_Init",
#define LX_NOR_NAME(suffix) "cmd_" #suffix,
    LX_NOR_DRIVER_COMMANDS(LX_NOR_NAME)
#undef LX_NOR_NAME
};

const char* const kVeltanNames[] = {
    "LXLLD_Init",
#define LX_VELTAN_NAME(name) #name,
    LX_VELTAN_DRIVER_COMMANDS(LX_VELTAN_NAME)
#undef LX_VELTAN_NAME
};

template <int N>
int BindDriver(lx::LldDriverTable<N>& table, const lx::LldDriverTable<N>& stubs, const char* const* names,
               lx::SymbolLookup lookup, void* module) {
  bool missing = false;
  table.g_ulBufferIndex = static_cast<uint32_t*>(lookup ? lookup(module, "g_ulBufferIndex") : nullptr);
  if (!table.g_ulBufferIndex) missing = true;
  table.g_ucBuffer = static_cast<uint8_t*>(lookup ? lookup(module, "g_ucBuffer") : nullptr);
  if (!table.g_ucBuffer) missing = true;
  if (!lx::BindCell(table.LXLLD_Init, stubs.LXLLD_Init, lookup, module, names[0])) missing = true;
  for (int i = 0; i < N; ++i)
    if (!lx::BindCell(table.commands[i], stubs.commands[i], lookup, module, names[i + 1])) missing = true;
  return missing ? 1 : 0;
}

}  // namespace

namespace lx {

NorDriverApiTableCells NorDriverApiTable = kNorStubs;
VeltanDriverApiTableCells VeltanDriverApiTable = kVeltanStubs;

int BindNorDriverApi(SymbolLookup lookup, void* module) {
  return BindDriver(NorDriverApiTable, kNorStubs, kNorNames, lookup, module);
}

int BindVeltanDriverApi(SymbolLookup lookup, void* module) {
  return BindDriver(VeltanDriverApiTable, kVeltanStubs, kVeltanNames, lookup, module);
}

const char* NorDriverCellName(int cell) { return cell >= 0 && cell < kNorCellCount ? kNorNames[cell] : nullptr; }

const char* VeltanDriverCellName(int cell) {
  return cell >= 0 && cell < kVeltanCellCount ? kVeltanNames[cell] : nullptr;
}

CommandHandler NorDriverCommand(int cell) {
  return cell >= 1 && cell < kNorCellCount ? NorDriverApiTable.commands[cell - 1] : nullptr;
}

CommandHandler VeltanDriverCommand(int cell) {
  return cell >= 1 && cell < kVeltanCellCount ? VeltanDriverApiTable.commands[cell - 1] : nullptr;
}

}  // namespace lx

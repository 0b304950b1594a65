#include "console_router.h"

#include <cstring>

#include "driver_tables.h"

namespace lx {

namespace {

// "init LXLLD" / "init LXOLLD": load and bind, initialise, hand the address space to the console.
template <class Table>
bool InitDriver(Table& table, bool (*load)(void*), void* context, CCommandInterpreter& console,
                std::atomic<bool>& loaded, uint32_t* base, uint32_t* window, uint32_t* scratchpad) {
  loaded = false;
  if (!load || !load(context)) return false;
  if (table.LXLLD_Init(base, window, scratchpad) < 0) return false;
  console.SetAddressInfo(*base, *window, *scratchpad);
  loaded = true;
  return true;
}

}  // namespace

int CConsoleRouter::RunLine(const char* line, const ConsoleDriverLoader& loader, ConsolePrint print,
                            void* context) {
  if (!line) return -1;
  std::lock_guard<std::mutex> lock(ConsoleMutex());
  CCommandInterpreter& veltan = g_VeltanCommandInterpreter;
  CCommandInterpreter& nor = g_NorCommandInterpreter;

  // Whatever a driver wrote is shown, and its buffer emptied, on every path: a buffer left
  // full would run over or show stale text with the next command.
  if (std::strcmp(line, "init LXOLLD") == 0 && loader.veltanPathSet) {
    bool ok = InitDriver(VeltanDriverApiTable, loader.loadVeltan, loader.context, veltan, veltanLoaded_, &base_,
                         &window_, &scratchpad_);
    veltan.FlushOutput(print, context);
    return ok ? 0 : -1;
  }
  if (veltanLoaded_) {
    int result = veltan.ExecuteCommand(line);
    // A word the Veltan console does not know goes on to the NOR console: its "Command not
    // found" is not the line's last word and is dropped.
    veltan.FlushOutput(result == 0 ? print : nullptr, context);
    if (result == 0) return 0;
  }
  if (std::strcmp(line, "init LXLLD") == 0 && loader.norPathSet) {
    bool ok = InitDriver(NorDriverApiTable, loader.loadNor, loader.context, nor, norLoaded_, &base_, &window_,
                         &scratchpad_);
    nor.FlushOutput(print, context);
    return ok ? 0 : -1;
  }
  if (norLoaded_) {
    int result = nor.ExecuteCommand(line);
    nor.FlushOutput(result == 0 ? print : nullptr, context);
    if (result == 0) return 0;
  }
  return -1;
}

CConsoleRouter g_ConsoleRouter;

}  // namespace lx

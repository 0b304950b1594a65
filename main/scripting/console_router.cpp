#include "console_router.h"

#include <cstring>

#include "driver_tables.h"

namespace lx {

namespace {

constexpr int kPassedOn = 1;

// One driver kind's turn at a line: its init word, then its console. Returns 0 when the line
// ran, -1 when it failed, kPassedOn when the line is not for this kind.
// Whatever the driver wrote is shown, and its buffer emptied, on every path: a buffer left full
// would run over or show stale text with the next command. Only the console's own "Command not
// found" is dropped, since the line goes on to the next console.
template <class Table>
int DriverTurn(const char* line, const char* initWord, bool pathSet, bool (*load)(void*), void* loadContext,
               Table& table, CCommandInterpreter& console, std::atomic<bool>& loaded, uint32_t* address,
               ConsolePrint print, void* context) {
  if (std::strcmp(line, initWord) == 0 && pathSet) {
    loaded = false;
    bool ok = load && load(loadContext) && table.LXLLD_Init(&address[0], &address[1], &address[2]) >= 0;
    if (ok) {
      console.SetAddressInfo(address[0], address[1], address[2]);
      loaded = true;
    }
    console.FlushOutput(print, context);
    return ok ? 0 : -1;
  }
  if (!loaded) return kPassedOn;
  int result = console.ExecuteCommand(line);
  console.FlushOutput(result == 0 ? print : nullptr, context);
  return result == 0 ? 0 : kPassedOn;
}

}  // namespace

int CConsoleRouter::RunLine(const char* line, const ConsoleDriverLoader& loader, ConsolePrint print,
                            void* context) {
  if (!line) return -1;
  std::lock_guard<std::mutex> lock(ConsoleMutex());
  int result = DriverTurn(line, "init LXOLLD", loader.veltanPathSet, loader.loadVeltan, loader.context,
                          VeltanDriverApiTable, g_VeltanCommandInterpreter, veltanLoaded_, address_, print, context);
  if (result == kPassedOn)
    result = DriverTurn(line, "init LXLLD", loader.norPathSet, loader.loadNor, loader.context, NorDriverApiTable,
                        g_NorCommandInterpreter, norLoaded_, address_, print, context);
  return result == 0 ? 0 : -1;
}

CConsoleRouter g_ConsoleRouter;

}  // namespace lx

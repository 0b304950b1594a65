// A driver started against one simulated kit with a NOR chip in its socket, or against a bus that
// answers from a table; helpers that run a line and return what it printed.
#pragma once
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "lld.h"
#include "sim_kit_bus.h"
#include "table_bus.h"

namespace lldtest {

class RigHost : public LldHost {
public:
  kitsim::Kit* kit = nullptr;        // the simulated kit, or
  TableBus* table = nullptr;         // a table bus handed over at the first CreateKit
  std::unique_ptr<TableBus> tableOwned;
  rook::HResult createResult = 0;
  int creates = 0;
  uint64_t tableClockUs = 0;
  std::string folder = "C:\\Lumivex";
  std::string out, err;
  std::deque<std::string> input;
  std::vector<std::string> fpgaPaths;

  std::unique_ptr<rook::KitBus> CreateKit(rook::HResult* hr) override {
    ++creates;
    *hr = createResult;
    if (createResult < 0) return nullptr;
    if (tableOwned) {
      table = tableOwned.get();
      table->clockUs = &tableClockUs;
      return std::move(tableOwned);
    }
    return std::make_unique<rook::SimKitBus>(*kit);
  }
  bool InstallFolder(std::string* f, size_t limit) override {
    *f = folder.substr(0, limit);
    return true;
  }
  uint64_t NowUs() override { return kit ? kit->Clock().NowNs() / 1000 : tableClockUs; }
  void DelayUs(uint64_t us) override {
    if (kit)
      kit->Clock().AdvanceUs(us);
    else
      tableClockUs += us;
  }
  void StdOut(const char* t) override { out += t; }
  void StdErr(const char* t) override { err += t; }
  bool ReadLine(std::string* line) override {
    if (input.empty()) return false;
    *line = input.front();
    input.pop_front();
    return true;
  }
};

// The text the driver printed since the last Take, and empties the buffer as the console does.
inline std::string Take() {
  std::string text(reinterpret_cast<const char*>(g_ucBuffer), g_ulBufferIndex);
  g_ulBufferIndex = 0;
  g_ucBuffer[0] = '\0';
  return text;
}

// Runs one line through the driver's interpreter and returns what it printed.
inline std::string Line(const std::string& line) {
  Take();
  lld_ExecuteCommandLine(line.c_str());
  return Take();
}

// Calls an export the way the console does: argv[1..] point at the words of `params` inside one
// line, the rest of the line following each.
inline std::string Call(LldHandler handler, const std::string& params) {
  std::vector<char> line(params.begin(), params.end());
  line.insert(line.begin(), {'x', ' '});
  line.push_back('\0');
  std::vector<char*> argv{line.data()};
  for (size_t i = 1; line[i]; ++i)
    if (line[i] != ' ' && line[i - 1] == ' ') argv.push_back(&line[i]);
  int argc = int(argv.size()) - 1;
  argv.push_back(nullptr);
  Take();
  handler(argc, argv.data());
  return Take();
}

// A started driver.
struct Rig {
  kitsim::Kit kit;
  std::unique_ptr<kitsim::NorChip> chip;
  RigHost host;
  std::string startText;
  int32_t startResult = 0;
  uint32_t base = 0, window = 0, scratchpad = 0;

  // With the simulated chip (default), or with a table bus when `table` is given.
  explicit Rig(std::unique_ptr<TableBus> table = nullptr, kitsim::NorPart part = kitsim::DefaultNorPart(),
               bool start = true) {
    lld::ResetForTest();
    if (table) {
      host.tableOwned = std::move(table);
    } else {
      chip = std::make_unique<kitsim::NorChip>(part, kit.Clock());
      kit.Attach(0, chip.get());
      host.kit = &kit;
    }
    lld::SetHost(&host);
    if (start) Start();
  }
  ~Rig() {
    lld::ResetForTest();
    lld::SetHost(nullptr);
  }
  void Start() {
    Take();
    startResult = LXLLD_Init(&base, &window, &scratchpad);
    startText = Take();
  }
};

}  // namespace lldtest

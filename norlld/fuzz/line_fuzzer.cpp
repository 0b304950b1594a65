// Fuzzes the driver's command lines: each input is a started driver (on a bus that answers every
// read with a word of its offset) and a run of lines, through the interpreter and through the job
// and variable commands that the console calls directly. Invariants: the text buffer's index never
// passes its capacity and the text ends with a NUL there; nothing outside the scratchpad is touched
// (the sanitizers watch every access).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lld_internal.h"
#include "table_bus.h"

namespace {

class FuzzHost : public LldHost {
public:
  uint64_t now = 0;
  std::vector<std::string> input;
  size_t next = 0;
  std::unique_ptr<rook::KitBus> CreateKit(rook::HResult* hr) override {
    *hr = 0;
    auto bus = std::make_unique<lldtest::TableBus>();
    bus->clockUs = &now;
    bus->readCostUs = 1000;  // a millisecond per read keeps every time limit short
    bus->read = [](uint32_t a) { return uint16_t(a * 0x9E37u); };
    return bus;
  }
  bool InstallFolder(std::string* f, size_t) override {
    *f = "C:\\";
    return true;
  }
  uint64_t NowUs() override { return now; }
  void DelayUs(uint64_t us) override { now += us; }
  void StdOut(const char*) override {}
  void StdErr(const char*) override {}
  bool ReadLine(std::string* line) override {
    if (next >= input.size()) return false;
    *line = input[next++];
    return true;
  }
};

// The console's own words (not in the interpreter's table), called with the line's words.
struct Direct {
  const char* word;
  LldHandler handler;
};
const Direct kDirect[] = {
    {"var", cmd_var},   {"var8", cmd_var8},         {"var16", cmd_var16},       {"var32", cmd_var32},
    {"if", cmd_if},     {"goto", cmd_goto},         {"job", cmd_job},           {"disp", cmd_disp},
    {"label", cmd_label}, {"EditJob", cmd_edit_job}, {"ListJob", cmd_list_job}, {"DeleteJob", cmd_delete_job},
    {"VendorCommandSet", cmd_VendorCommandSet}, {"GetEraseBlockRegionInfo", cmd_GetEraseBlockRegionInfo},
    {"DeviceSize", cmd_DeviceSize}, {"GetVersion", cmd_GetVersion},
};

void CallDirect(LldHandler handler, std::string line) {
  std::vector<char*> argv{&line[0]};
  for (size_t i = 1; i < line.size(); ++i)
    if (!lld::IsBlank(line[i]) && lld::IsBlank(line[i - 1])) argv.push_back(&line[i]);
  int argc = int(argv.size()) - 1;
  argv.push_back(nullptr);
  handler(argc, argv.data());
}

void CheckBuffer() {
  if (g_ulBufferIndex >= kLldBufferSize || g_ucBuffer[g_ulBufferIndex] != '\0') std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzHost host;
  host = FuzzHost();
  lld::ResetForTest();
  lld::SetHost(&host);
  uint32_t b, w, s;
  if (LXLLD_Init(&b, &w, &s) != 0) std::abort();
  // The first byte leaves the buffer nearly full now and then, so that the truncation runs too.
  if (size && data[0] == 0xFF) g_ulBufferIndex = kLldBufferSize - 300;
  std::string all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  size_t at = 0;
  while (at <= all.size()) {
    size_t end = all.find('\n', at);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(at, end - at);
    line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
    lines.push_back(line);
    at = end + 1;
  }
  host.input = lines;
  for (size_t i = 0; i < lines.size() && i < 64; ++i) {
    const std::string& line = lines[i];
    bool direct = false;
    for (const Direct& d : kDirect) {
      if (lld::WordIs(line.c_str(), d.word)) {
        CallDirect(d.handler, line);
        direct = true;
        break;
      }
    }
    if (!direct) lld_ExecuteCommandLine(line.c_str());
    CheckBuffer();
    // The console empties the buffer after each command, except now and then.
    if (line.size() % 7) {
      g_ulBufferIndex = 0;
      g_ucBuffer[0] = '\0';
    }
  }
  return 0;
}

// Typed console lines are untrusted: feed arbitrary bytes through both consoles over a small
// driver buffer so that every overrun of a line, argv or the output buffer shows up under ASan.
#include <cstdint>
#include <cstring>
#include <string>

#include "../tests/console_test_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first 12 bytes are the address space LXLLD_Init reported (base, window, scratchpad).
  uint32_t info[3] = {0x80000000u, 0x7FFFFFFFu, 0x00410000u};
  if (size >= sizeof info) {
    std::memcpy(info, data, sizeof info);
    data += sizeof info;
    size -= sizeof info;
  }
  lx_test::FakeDriver fake(512);
  lx::CNorCommandInterpreter nor{&fake.driver};
  lx::CVeltanCommandInterpreter veltan{&fake.driver};
  nor.SetAddressInfo(info[0], info[1], info[2]);
  veltan.SetAddressInfo(info[0], info[1], info[2]);

  std::string text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    line = line.c_str();  // a console line ends at its first NUL
    if (veltan.ExecuteCommand(line.c_str()) != 0) nor.ExecuteCommand(line.c_str());
    for (const lx_test::RecordedCall& call : fake.calls)
      if (call.argc < 0 || call.argc > 30) __builtin_trap();
    fake.calls.clear();
    nor.FlushOutput([](void*, const char* piece) { (void)std::strlen(piece); }, nullptr);
    start = end + 1;
  }
  return 0;
}

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "console_router.h"
#include "driver_tables.h"

namespace {

// Two fake drivers, one per kind, each with its own output buffer.
struct FakeLld {
  uint8_t buffer[4096];
  uint32_t index = 0;
  int initResult = 0;
  int calls = 0;
  void Append(const char* text) {
    size_t n = std::strlen(text);
    std::memcpy(buffer + index, text, n + 1);
    index += uint32_t(n);
  }
};
FakeLld g_nor, g_veltan;
std::atomic<int> g_inside{0}, g_mostInside{0};

int NorInit(uint32_t* base, uint32_t* window, uint32_t* scratchpad) {
  if (g_nor.initResult < 0) return g_nor.initResult;
  *base = 0x80000000u;
  *window = 0x7FFFFFFFu;
  *scratchpad = 0x00410000u;
  g_nor.Append(" Device ID = 0x0001227E\n");
  return 0;
}
int VeltanInit(uint32_t* base, uint32_t* window, uint32_t* scratchpad) {
  *base = 0x80000000u;
  *window = 0x01000000u;
  *scratchpad = 0;
  g_veltan.Append("veltan ready\n");
  return g_veltan.initResult;
}
int NorReset(int, char** argv) {
  // Two commands inside one driver at once would share its buffer and its chip.
  int inside = ++g_inside;
  int most = g_mostInside;
  while (inside > most && !g_mostInside.compare_exchange_weak(most, inside)) {
  }
  ++g_nor.calls;
  g_nor.Append("reset ");
  g_nor.Append(std::string(argv[1], 8).c_str());
  g_nor.Append("\n");
  --g_inside;
  return 0;
}
int VeltanReset(int, char**) {
  ++g_veltan.calls;
  g_veltan.Append("nand reset\n");
  return 0;
}

void* NorLookup(void*, const char* name) {
  if (!std::strcmp(name, "g_ucBuffer")) return g_nor.buffer;
  if (!std::strcmp(name, "g_ulBufferIndex")) return &g_nor.index;
  if (!std::strcmp(name, "LXLLD_Init")) return reinterpret_cast<void*>(&NorInit);
  if (!std::strcmp(name, "cmd_ResetCmd")) return reinterpret_cast<void*>(&NorReset);
  return nullptr;
}
void* VeltanLookup(void*, const char* name) {
  if (!std::strcmp(name, "g_ucBuffer")) return g_veltan.buffer;
  if (!std::strcmp(name, "g_ulBufferIndex")) return &g_veltan.index;
  if (!std::strcmp(name, "LXLLD_Init")) return reinterpret_cast<void*>(&VeltanInit);
  if (!std::strcmp(name, "cmd_NandResetCmd")) return reinterpret_cast<void*>(&VeltanReset);
  return nullptr;
}

struct Loads {
  bool norLoads = true, veltanLoads = true;
  int norAttempts = 0, veltanAttempts = 0;
};

// Binds the fakes; the names they lack keep their stubs, which these tests never reach.
bool LoadNor(void* context) {
  Loads* loads = static_cast<Loads*>(context);
  ++loads->norAttempts;
  if (!loads->norLoads) return false;
  lx::BindNorDriverApi(&NorLookup, nullptr);
  return true;
}
bool LoadVeltan(void* context) {
  Loads* loads = static_cast<Loads*>(context);
  ++loads->veltanAttempts;
  if (!loads->veltanLoads) return false;
  lx::BindVeltanDriverApi(&VeltanLookup, nullptr);
  return true;
}

void Collect(void* context, const char* text) { *static_cast<std::string*>(context) += text; }

struct ConsoleRouterTest : ::testing::Test {
  lx::CConsoleRouter router;
  Loads loads;
  lx::ConsoleDriverLoader loader{true, true, &LoadNor, &LoadVeltan, &loads};
  std::string printed;

  void SetUp() override {
    g_nor = FakeLld();
    g_veltan = FakeLld();
    lx::BindNorDriverApi(nullptr, nullptr);
    lx::BindVeltanDriverApi(nullptr, nullptr);
  }
  void TearDown() override { SetUp(); }
  int Run(const char* line) {
    printed.clear();
    return router.RunLine(line, loader, &Collect, &printed);
  }
};

TEST_F(ConsoleRouterTest, WithoutADriverEveryLineFails) {
  EXPECT_EQ(Run("ResetCmd"), -1);
  EXPECT_EQ(Run("init lxlld"), -1);  // the init words count case
  EXPECT_EQ(Run("init LXLLD "), -1);
  loader.norPathSet = false;
  EXPECT_EQ(Run("init LXLLD"), -1);  // no driver named: not an init at all
  EXPECT_EQ(loads.norAttempts, 0);
  EXPECT_EQ(printed, "");
}

TEST_F(ConsoleRouterTest, InitLxlldBindsTheNorConsoleAndShowsTheStartupText) {
  ASSERT_EQ(Run("init LXLLD"), 0);
  EXPECT_TRUE(router.NorDriverLoaded());
  EXPECT_EQ(printed, " Device ID = 0x0001227E\n");
  EXPECT_EQ(lx::g_NorCommandInterpreter.BaseAddress(), 0x80000000u);
  EXPECT_EQ(g_nor.index, 0u);

  EXPECT_EQ(Run("ResetCmd"), 0);
  EXPECT_EQ(printed, "reset 80000000\n");
  EXPECT_EQ(Run("ResetCmd 70000000"), 0);  // refused by the console, but the word was known
  EXPECT_EQ(printed, "User-supplied base address is invalid!\n");
  // A line no console knows fails; its "Command not found" does not linger into the next command.
  EXPECT_EQ(Run("nonsense"), -1);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(g_nor.index, 0u);
  EXPECT_EQ(Run("ResetCmd"), 0);
  EXPECT_EQ(printed, "reset 80000000\n");
}

TEST_F(ConsoleRouterTest, AFailedInitLeavesTheConsoleDisabled) {
  ASSERT_EQ(Run("init LXLLD"), 0);
  loads.norLoads = false;
  EXPECT_EQ(Run("init LXLLD"), -1);
  EXPECT_FALSE(router.NorDriverLoaded());
  EXPECT_EQ(Run("ResetCmd"), -1);

  loads.norLoads = true;
  g_nor.initResult = -3;
  EXPECT_EQ(Run("init LXLLD"), -1);
  EXPECT_FALSE(router.NorDriverLoaded());
  g_nor.initResult = 0;
  EXPECT_EQ(Run("init LXLLD"), 0);
  EXPECT_EQ(Run("ResetCmd"), 0);
}

TEST_F(ConsoleRouterTest, TheVeltanConsoleGoesFirstAndPassesOnWhatItDoesNotKnow) {
  ASSERT_EQ(Run("init LXOLLD"), 0);
  EXPECT_EQ(printed, "veltan ready\n");
  ASSERT_EQ(Run("init LXLLD"), 0);
  EXPECT_TRUE(router.VeltanDriverLoaded());

  EXPECT_EQ(Run("NaResetCmd"), 0);
  EXPECT_EQ(printed, "nand reset\n");
  EXPECT_EQ(Run("ResetCmd"), 0);  // not a Veltan word
  EXPECT_EQ(printed, "reset 80000000\n");
  EXPECT_EQ(g_veltan.index, 0u);
  EXPECT_EQ(g_nor.calls, 1);
  EXPECT_EQ(g_veltan.calls, 1);

  g_veltan.initResult = -1;
  EXPECT_EQ(Run("init LXOLLD"), -1);
  EXPECT_FALSE(router.VeltanDriverLoaded());
  EXPECT_EQ(Run("ResetCmd"), 0);  // the NOR console still serves
}

TEST_F(ConsoleRouterTest, CommandWindowsTakeTurnsAtTheConsoles) {
  ASSERT_EQ(Run("init LXLLD"), 0);
  g_mostInside = 0;
  auto window = [this] {
    std::string out;
    for (int i = 0; i < 300; ++i) router.RunLine("ResetCmd", loader, &Collect, &out);
  };
  std::thread a(window), b(window), c(window);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(g_nor.calls, 900);
  EXPECT_EQ(g_mostInside.load(), 1);
  EXPECT_EQ(g_nor.index, 0u);
}

}  // namespace

// The scriptable object's methods against fake device-module cells: what reaches the module,
// what the script gets back, and what is refused before anything is touched.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device_api.h"
#include "device_ops.h"
#include "device_state.h"
#include "script_object_core.h"

namespace {

using lx::ScriptError;
using lx::ScriptObjectCore;

struct Fake {
  std::vector<std::string> calls;
  std::string lastPath;
  uint32_t readResult = 0;  // what gfslfread answers
  std::string fileBytes;    // what gfslfread copies out (at most size x count)
  GFSL_DIR dir = {};
  int dirEntries = 0;
  int statResult = 0;
  uint16_t blockStatus = 0;
  int blockStatusResult = 0;
} g;

void Call(const std::string& c) { g.calls.push_back(c); }
std::string Text(const void* p) { return p ? static_cast<const char*>(p) : "(null)"; }

int FakeInit(int mode) { Call("gfslInit(" + std::to_string(mode) + ")"); return mode == 2 ? 1 : 0; }
FunctionProfilerEntry* FakeCreate() { return nullptr; }
int FakeDestroy() { return 0; }
int FakeMount(int v) { Call("gfslMount(" + std::to_string(v) + ")"); return 0; }
int FakeUnmount(int v) { Call("gfslUnmount(" + std::to_string(v) + ")"); return 0; }
int FakeBdtlMount(int v) { Call("gfslBDTLMount(" + std::to_string(v) + ")"); return 0; }
int FakeBdtlUnmount(int v) { Call("gfslBDTLUnmount(" + std::to_string(v) + ")"); return 0; }
int FakeReadSectors(int p, uint32_t first, uint32_t count, void* buffer, int flag) {
  Call("gfslReadSectors(" + std::to_string(p) + "," + std::to_string(first) + "," + std::to_string(count) + "," +
       std::to_string(flag) + ")");
  std::memset(buffer, 0x5A, count * 512u);
  return 0;
}
int FakeFopen(const char* path, const char* mode) { Call("gfslfopen(" + Text(path) + "," + Text(mode) + ")"); return 3; }
uint32_t FakeFread(void* buffer, uint32_t size, uint32_t count, int handle) {
  Call("gfslfread(" + std::to_string(size) + "," + std::to_string(count) + "," + std::to_string(handle) + ")");
  size_t n = std::min<size_t>(g.fileBytes.size(), static_cast<size_t>(size) * count);
  std::memcpy(buffer, g.fileBytes.data(), n);
  return g.readResult;
}
std::string g_written;
uint32_t FakeFwrite(const void* buffer, uint32_t size, uint32_t count, int handle) {
  Call("gfslfwrite(" + std::to_string(size) + "," + std::to_string(count) + "," + std::to_string(handle) + ")");
  g_written.assign(static_cast<const char*>(buffer), static_cast<size_t>(size) * count);
  return count;
}
int FakeStat(const char* path, GFSL_STAT* out) {
  Call("gfslstat(" + Text(path) + ")");
  out->attr = 0x20;
  out->fileSize = 1000;
  return g.statResult;
}
GFSL_DIR* FakeOpendir(const char* path) { Call("gfslopendir(" + Text(path) + ")"); return &g.dir; }
char* FakeReaddir(GFSL_DIR* dir) {
  if (g.dirEntries == 0) return nullptr;
  --g.dirEntries;
  std::strcpy(dir->name, "NAME.TXT");
  return dir->name;
}
int FakeClosedir(GFSL_DIR*) { Call("gfslclosedir"); return 0; }
int FakeNorStatus(int, uint32_t, uint16_t* status) {
  *status = g.blockStatus;
  return g.blockStatusResult;
}
int FakeLastError(char* text, uint32_t size) {
  std::snprintf(text, size, "volume not mounted");
  return -7;
}
int FakeNorRead(int device, uint32_t address, uint32_t length, uint8_t* buffer) {
  Call("gfslNORReadData(" + std::to_string(device) + "," + std::to_string(address) + "," + std::to_string(length) + ")");
  std::memset(buffer, 0xEE, length);
  return 0;
}

struct Log : lx::ScriptLog {
  std::vector<std::string> lines;
  void Print(bool bold, uint32_t colour, const char* text) override {
    lines.push_back((bold ? "[b]" : "") + (colour ? "[" + std::to_string(colour) + "]" : std::string()) + text);
  }
  void Clear() override { lines.push_back("<clear>"); }
};

class ScriptObjectCoreTest : public testing::Test {
 protected:
  void SetUp() override {
    g = Fake();
    g_written.clear();
    lx::ResetDeviceApiCells();
    lx::SetDeviceState("/a", lx::kDeviceClosed);
    DeviceApiTable.gfslInit = FakeInit;
    DeviceApiTable.fpCreateFunctionProfiler = FakeCreate;
    DeviceApiTable.fpDestroyFunctionProfiler = FakeDestroy;
    DeviceApiTable.gfslMount = FakeMount;
    DeviceApiTable.gfslUnmount = FakeUnmount;
    DeviceApiTable.gfslBDTLMount = FakeBdtlMount;
    DeviceApiTable.gfslBDTLUnmount = FakeBdtlUnmount;
    DeviceApiTable.gfslReadSectors = FakeReadSectors;
    DeviceApiTable.gfslfopen = FakeFopen;
    DeviceApiTable.gfslfread = FakeFread;
    DeviceApiTable.gfslfwrite = FakeFwrite;
    DeviceApiTable.gfslstat = FakeStat;
    DeviceApiTable.gfslopendir = FakeOpendir;
    DeviceApiTable.gfslreaddir = FakeReaddir;
    DeviceApiTable.gfslclosedir = FakeClosedir;
    DeviceApiTable.gfslNORGetBlockStatus = FakeNorStatus;
    DeviceApiTable.gfslGetLastError = FakeLastError;
    DeviceApiTable.gfslNORReadData = FakeNorRead;
    object.SetLog(&log);
  }
  void TearDown() override { lx::ResetDeviceApiCells(); }

  Log log;
  ScriptObjectCore object;
};

// The text of the script error a call raises, or "" when it raised none.
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "";
}

TEST_F(ScriptObjectCoreTest, DumpPrintsNumberedLinesOfHexBytes) {
  int32_t block = object.malloc(16);
  object.memcpy(block, block, 0);
  uint8_t* p = object.Memory().Resolve(static_cast<uint32_t>(block), 5);
  std::memcpy(p, "ABCDE", 5);
  struct Case {
    int32_t count, perLine;
    std::vector<std::string> lines;
  } cases[] = {
      {5, 4, {"0000: 41 42 43 44 \r\n", "0001: 45 \r\n"}},
      {4, 2, {"0000: 41 42 \r\n", "0001: 43 44 \r\n"}},  // an exact multiple: no extra line
      {3, 0, {"0000: 41 42 43 \r\n"}},                   // 0 per line: one line at the end
      {0, 4, {}},
      {-3, 4, {}},
  };
  for (const Case& c : cases) {
    log.lines.clear();
    object.Dump(block, c.count, c.perLine);
    std::vector<std::string> expected = {"Process Dump\r\n"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(log.lines, expected) << c.count << " / " << c.perLine;
  }
}

TEST_F(ScriptObjectCoreTest, RandomBytesRepeatForTheSameSeed) {
  ScriptObjectCore fresh;
  int32_t first = fresh.rand();
  object.srand(1);
  EXPECT_EQ(object.rand(), first);  // a run without srand starts as seed 1 does
  EXPECT_EQ(first, 41);             // the C library's sequence the program always had
  int32_t a = object.malloc(64), b = object.malloc(64);
  object.srand(1234);
  object.memrand(a, 64);
  object.srand(1234);
  object.memrand(b, 64);
  EXPECT_EQ(object.memcmp(a, b, 64), 0);
  object.memrand(b, 64);
  EXPECT_NE(object.memcmp(a, b, 64), 0);
  EXPECT_EQ(object.memrand(b, 0), b);
  EXPECT_EQ(object.memrand(b, -5), b);
}

TEST_F(ScriptObjectCoreTest, MemoryMethodsWorkInsideBlocks) {
  int32_t a = object.malloc(8), b = object.malloc(8);
  EXPECT_EQ(object.memset(a, 0x141, 8), a);  // the low 8 bits of the value
  EXPECT_EQ(object.Memory().Resolve(static_cast<uint32_t>(a), 8)[7], 0x41);
  EXPECT_EQ(object.memchr(a, 0x41, 8), a);
  object.memset(a + 5, 0x80, 1);
  EXPECT_EQ(object.memchr(a, 0x80, 8), a + 5);
  EXPECT_EQ(object.memchr(a, 0x7F, 8), 0);
  EXPECT_EQ(object.memcpy(b, a, 8), b);
  EXPECT_EQ(object.memcmp(a, b, 8), 0);
  object.memset(b + 2, 0x90, 1);
  EXPECT_LT(object.memcmp(a, b, 8), 0);  // unsigned bytes: 0x41 < 0x90
  EXPECT_GT(object.memcmp(b, a, 8), 0);
  object.memcpy(a + 1, a, 4);  // overlapping ranges of one block move as memmove does
  object.free(0);
  object.free(a);
  object.free(b);
  EXPECT_EQ(object.Memory().BlockCount(), 0u);
}

TEST_F(ScriptObjectCoreTest, BadAddressesOverrunsAndDoubleFreeAreScriptErrorsThatTouchNothing) {
  int32_t a = object.malloc(16);
  int32_t gone = object.malloc(16);
  object.free(gone);
  std::vector<uint8_t> before(object.Memory().Resolve(static_cast<uint32_t>(a), 16),
                              object.Memory().Resolve(static_cast<uint32_t>(a), 16) + 16);
  struct Case {
    const char* name;
    std::function<void()> call;
    const char* error;
  } cases[] = {
      {"memset past the end", [&] { object.memset(a, 1, 17); }, "memset: 17 bytes at"},
      {"memset at 0", [&] { object.memset(0, 1, 1); }, "memset: 0x00000000 is no address"},
      {"memset negative count", [&] { object.memset(a, 1, -1); }, "memset: the count -1 is negative"},
      {"memcpy source", [&] { object.memcpy(a, a + 8, 9); }, "memcpy: 9 bytes at"},
      {"memcmp freed", [&] { object.memcmp(a, gone, 1); }, "memcmp: 0x"},
      {"memchr", [&] { object.memchr(a + 16, 0, 1); }, "memchr: 1 bytes at"},
      {"memrand", [&] { object.memrand(a, 100000); }, "memrand: 100000 bytes"},
      {"free inside", [&] { object.free(a + 1); }, "free: 0x"},
      {"free twice", [&] { object.free(gone); }, "free: 0x"},
      {"malloc negative", [&] { object.malloc(-1); }, "malloc: the size -1 is negative"},
      {"Dump", [&] { object.Dump(a, 17, 16); }, "Dump: 17 bytes at"},
      {"ReadSectors 2 x 512 into 16", [&] { object.ReadSectors(0, 0, 2, a, 0); }, "ReadSectors: 1024 bytes at"},
      {"ReadSectors huge", [&] { object.ReadSectors(0, 0, -1, a, 0); }, "ReadSectors: "},
      {"fread 4 x 5", [&] { object.fread(a, 4, 5, 3); }, "fread: 20 bytes at"},
      {"fread size x count wraps", [&] { object.fread(a, 0x10000, 0x10000, 3); }, "fread: 4294967296 bytes"},
      {"fwrite", [&] { object.fwrite(a + 15, 1, 2, 3); }, "fwrite: 2 bytes at"},
      {"NORReadData", [&] { object.NORReadData(0, 0, 17, a); }, "NORReadData: 17 bytes"},
      {"freadtext huge", [&] { object.freadtext(0x7FFFFFFF, 0x7FFFFFFF, 3); }, "freadtext: "},
      {"readdir unknown", [&] { object.readdir(99); }, "readdir: 99 is no open directory stream"},
      {"closedir unknown", [&] { object.closedir(0); }, "closedir: 0 is no open directory stream"},
  };
  for (const Case& c : cases) {
    std::string error = ErrorOf(c.call);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.name << ": " << error;
  }
  uint8_t* now = object.Memory().Resolve(static_cast<uint32_t>(a), 16);
  EXPECT_EQ(std::vector<uint8_t>(now, now + 16), before);
  // Refused calls never reached the module.
  EXPECT_EQ(g.calls, std::vector<std::string>());
}

TEST_F(ScriptObjectCoreTest, DeviceBuffersReachTheModuleWhenTheyFit) {
  int32_t block = object.malloc(1024);
  EXPECT_EQ(object.ReadSectors(0, 7, 2, block, 1), 0);
  EXPECT_EQ(object.Memory().Resolve(static_cast<uint32_t>(block), 1024)[1023], 0x5A);
  EXPECT_EQ(object.NORReadData(0, 0x100, 24, block + 1000), 0);
  EXPECT_EQ(object.fread(block, 4, 3, 3), 0);  // 3 elements of 4 bytes
  EXPECT_EQ(g.calls, (std::vector<std::string>{"gfslReadSectors(0,7,2,1)", "gfslNORReadData(0,256,24)",
                                               "gfslfread(4,3,3)"}));
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Process ReadSectors\r\n", "Process NORReadData\r\n",
                                                 "Process fread\r\n"}));
}

const uint8_t* g_spare = nullptr;
int FakeVeltanProgramPage(int, uint32_t column, uint32_t page, uint32_t length, const uint8_t*, const uint8_t* spare) {
  Call("gfslVeltanProgramPage(" + std::to_string(column) + "," + std::to_string(page) + "," + std::to_string(length) + ")");
  g_spare = spare;
  return 0;
}

// The page program's last argument is the spare area the module reads: a block of the script, or 0
// for none; any other number is refused before the module could take it for an address.
TEST_F(ScriptObjectCoreTest, VeltanSpareIsABlockOrNothing) {
  DeviceApiTable.gfslVeltanProgramPage = FakeVeltanProgramPage;
  int32_t data = object.malloc(2048), spare = object.malloc(64);
  g_spare = reinterpret_cast<const uint8_t*>(&g);
  EXPECT_EQ(object.VeltanProgramPage(0, 512, 9, 512, data, 0), 0);
  EXPECT_EQ(g_spare, nullptr);
  EXPECT_EQ(object.VeltanProgramPage(0, 0, 9, 2048, data, spare), 0);
  EXPECT_EQ(g_spare, object.Memory().Resolve(static_cast<uint32_t>(spare), 64));
  EXPECT_NE(ErrorOf([&] { object.VeltanProgramPage(0, 0, 9, 2048, data, 0x1234); }), "");
  EXPECT_EQ(g.calls, (std::vector<std::string>{"gfslVeltanProgramPage(512,9,512)", "gfslVeltanProgramPage(0,9,2048)"}));
}

TEST_F(ScriptObjectCoreTest, InitAndMountsGoThroughTheSharedDeviceState) {
  EXPECT_EQ(object.Init(0), 0);
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceOpen);
  EXPECT_EQ(object.Mount(1), 0);
  EXPECT_EQ(object.Mount(1), 0);  // already mounted: not asked again
  EXPECT_EQ(lx::VolumeMountMask, 2u);
  EXPECT_EQ(object.BDTLMount(2), 0);
  EXPECT_EQ(lx::BdtlMountMask, 4u);
  EXPECT_EQ(object.BDTLUnmount(2), 0);
  EXPECT_EQ(lx::BdtlMountMask, 0u);
  EXPECT_EQ(object.Unmount(1), 0);
  EXPECT_EQ(object.Init(2), 1);
  g.calls.clear();
  EXPECT_EQ(object.Init(7), -1);  // any other mode: nothing called, a failure
  EXPECT_EQ(object.Init(1), lx::kDeviceClosed);  // the state the close left
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceClosed);
  EXPECT_EQ(g.calls, (std::vector<std::string>{"gfslInit(1)"}));
}

TEST_F(ScriptObjectCoreTest, OverLongPathsFailWithoutReachingTheModule) {
  lx::Utf8Path ok = lx::MakeUtf8Path("/a/FILE.TXT");
  lx::Utf8Path longest = lx::MakeUtf8Path("/a/" + std::string(508, 'x'));  // 511 bytes + terminator
  lx::Utf8Path tooLong = lx::MakeUtf8Path("/a/" + std::string(509, 'x'));
  EXPECT_TRUE(longest.fits);
  EXPECT_FALSE(tooLong.fits);
  EXPECT_EQ(object.fopen(ok, lx::MakeUtf8Path("rw")), 3);
  EXPECT_EQ(object.fopen(longest, lx::MakeUtf8Path("r")), 3);
  EXPECT_EQ(object.fopen(tooLong, lx::MakeUtf8Path("r")), -1);
  EXPECT_EQ(object.stat(tooLong), "");
  EXPECT_EQ(object.opendir(tooLong), 0);
  EXPECT_EQ(g.calls.size(), 2u);
  EXPECT_EQ(g.calls[0], "gfslfopen(/a/FILE.TXT,rw)");
}

TEST_F(ScriptObjectCoreTest, TextReadsAndWritesKeepToTheirSizes) {
  struct Case {
    int32_t size, count;
    std::string bytes;
    uint32_t result;
    std::string text;
  } cases[] = {
      {1, 10, "ABCD", 4, "ABCD"},                // fewer bytes left than asked
      {2, 3, "ABCDEF", 3, "ABCDEF"},             // the result counts elements, not bytes
      {4, 2, "ABCDEFGH", 1, "ABCD"},
      {1, 4, "ABCD", 0xFFFFFFFFu, ""},           // a failed read gives no text
      {1, 4, "AB\0D", 4, "AB"},                  // the text ends at a NUL
      {0, 5, "", 0, ""},
  };
  for (const Case& c : cases) {
    g.fileBytes = c.bytes;
    g.readResult = c.result;
    EXPECT_EQ(object.freadtext(c.size, c.count, 3), c.text) << c.bytes;
  }
  EXPECT_EQ(object.fwritetext("Hello", 100, 100, 3), 5);  // never more than the text
  EXPECT_EQ(g_written, "Hello");
  EXPECT_EQ(object.fwritetext("Hello", 1, 3, 3), 3);
  EXPECT_EQ(g_written, "Hel");
}

TEST_F(ScriptObjectCoreTest, StatusDirectoriesAndLastError) {
  EXPECT_EQ(object.stat(lx::MakeUtf8Path("/a/F")), "Attr:0x20, Size:1000");
  g.statResult = -1;
  EXPECT_EQ(object.stat(lx::MakeUtf8Path("/a/F")), "");

  uint16_t status = 0;
  g.blockStatus = 0xBEEF;
  EXPECT_TRUE(object.NORGetBlockStatus(0, 1, &status));
  EXPECT_EQ(status, 0xBEEF);
  g.blockStatusResult = -1;
  EXPECT_FALSE(object.NORGetBlockStatus(0, 1, &status));
  EXPECT_EQ(status, 0xFFFF);

  g.dirEntries = 1;
  int32_t dir = object.opendir(lx::MakeUtf8Path("/a"));
  EXPECT_NE(dir, 0);
  EXPECT_EQ(object.readdir(dir), "NAME.TXT");
  EXPECT_EQ(object.readdir(dir), "");  // the end of the folder
  EXPECT_EQ(object.closedir(dir), 0);
  EXPECT_NE(ErrorOf([&] { object.closedir(dir); }), "");

  log.lines.clear();
  EXPECT_EQ(object.GetLastError(), -7);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Process GetLastError\r\n", "Error:-7, volume not mounted\r\n"}));
}

TEST_F(ScriptObjectCoreTest, StopRequestFailsEveryNextCall) {
  std::atomic<bool> stop{false};
  object.SetStopFlag(&stop);
  int32_t block = object.malloc(4);
  stop = true;
  EXPECT_EQ(ErrorOf([&] { object.rand(); }), "rand: stopped");
  EXPECT_EQ(ErrorOf([&] { object.ReadSectors(0, 0, 1, block, 0); }), "ReadSectors: stopped");
  EXPECT_EQ(ErrorOf([&] { object.Print("x", false, 0); }), "Print: stopped");
  EXPECT_TRUE(g.calls.empty());
}

TEST_F(ScriptObjectCoreTest, LogMethodsWithoutALogDoNothing) {
  object.Print("Hello", true, 0xFF);
  object.ClearLog();
  EXPECT_EQ(log.lines, (std::vector<std::string>{"[b][255]Hello\r\n", "<clear>"}));
  ScriptObjectCore outside;  // an instance of an outside client has no log
  int32_t block = outside.malloc(4);
  outside.Print("x", false, 0);
  outside.ClearLog();
  outside.Dump(block, 4, 16);
  outside.Dump(0, 4, 16);  // nothing is read without a log
}

TEST_F(ScriptObjectCoreTest, HostFilesRoundTripAndFailuresReachTheScript) {
  std::string path = testing::TempDir() + "lx_script_store.bin";
  int32_t block = object.malloc(300);
  object.srand(7);
  object.memrand(block, 300);
  object.store(lx::MakeUtf8Path(path), block, 300);
  int32_t copy = object.malloc(400);
  EXPECT_EQ(object.load(lx::MakeUtf8Path(path), copy, 400), 300);  // shorter than asked
  EXPECT_EQ(object.memcmp(block, copy, 300), 0);
  EXPECT_EQ(object.load(lx::MakeUtf8Path(path), copy, 10), 10);
  std::remove(path.c_str());
  EXPECT_EQ(ErrorOf([&] { object.load(lx::MakeUtf8Path(path), copy, 10); }).rfind("load: cannot open", 0), 0u);
  EXPECT_EQ(ErrorOf([&] { object.store(lx::MakeUtf8Path(testing::TempDir() + "no/such/dir/f"), copy, 10); })
                .rfind("store: cannot create", 0),
            0u);
  EXPECT_EQ(ErrorOf([&] { object.load(lx::MakeUtf8Path(path), copy, 401); }).rfind("load: 401 bytes", 0), 0u);
}

}  // namespace

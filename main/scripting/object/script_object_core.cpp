#include "script_object_core.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "device_api.h"
#include "device_ops.h"
#include "script_host_file.h"

namespace lx {

namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

// A count that must not be negative (sizes, lengths, element counts).
uint64_t Count(const char* method, const char* what, int32_t value) {
  if (value < 0) throw ScriptError(Printf("%s: the %s %" PRId32 " is negative", method, what, value));
  return static_cast<uint64_t>(value);
}

}  // namespace

Utf8Path MakeUtf8Path(const std::string& utf8) {
  Utf8Path path;
  // The module's path buffers hold 512 bytes with the terminator.
  if (utf8.size() + 1 > 512) {
    path.fits = false;
    return path;
  }
  path.text = utf8;
  return path;
}

std::string StatText(const GFSL_STAT& st) {
  return Printf("Attr:0x%x, Size:%lu", static_cast<unsigned>(st.attr), static_cast<unsigned long>(st.fileSize));
}

std::vector<std::string> DumpLines(const uint8_t* bytes, int32_t count, int32_t bytesPerLine) {
  std::vector<std::string> lines;
  std::string line;
  int32_t lineNumber = 0, column = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (column == 0) {
      line = Printf("%04d: ", lineNumber);
      ++lineNumber;
    }
    ++column;
    line += Printf("%02X ", bytes[i]);
    if (column == bytesPerLine) {
      column = 0;
      lines.push_back(line + "\r\n");
    }
  }
  if (column != 0 && column != bytesPerLine) lines.push_back(line + "\r\n");
  return lines;
}

ScriptObjectCore::~ScriptObjectCore() {
  // Streams the script left open would be lost with their numbers.
  for (auto& entry : directories_) DeviceApiTable.gfslclosedir(entry.second);
}

void ScriptObjectCore::Begin(const char* method, bool logLine) {
  if (stop_ && stop_->load()) throw ScriptError(std::string(method) + ": stopped");
  if (logLine && log_) LogLine(std::string("Process ") + method + "\r\n");
}

void ScriptObjectCore::LogLine(const std::string& text) {
  if (log_) log_->Print(false, 0, text.c_str());
}

uint8_t* ScriptObjectCore::Buffer(const char* method, int32_t address, uint64_t length) {
  uint8_t* memory = memory_.Resolve(U(address), length);
  if (!memory) {
    uint32_t base = 0, size = 0;
    if (memory_.Find(U(address), &base, &size))
      throw ScriptError(Printf("%s: %" PRIu64 " bytes at 0x%08" PRIX32 " run past the end of the block of %" PRIu32
                               " bytes at 0x%08" PRIX32,
                               method, length, U(address), size, base));
    throw ScriptError(Printf("%s: 0x%08" PRIX32 " is no address of a block from malloc", method, U(address)));
  }
  return memory;
}

GFSL_DIR* ScriptObjectCore::Directory(const char* method, int32_t directory) {
  auto it = directories_.find(directory);
  if (it == directories_.end())
    throw ScriptError(Printf("%s: %" PRId32 " is no open directory stream", method, directory));
  return it->second;
}

int32_t ScriptObjectCore::AddDirectory(GFSL_DIR* dir) {
  if (!dir) return 0;
  int32_t id = nextDirectory_++;
  directories_[id] = dir;
  return id;
}

uint32_t ScriptObjectCore::VeltanSpareBytes() { return FrameDevice().VeltanSpareSize; }

// ---- log, memory, random numbers, host files ------------------------------------------------

void ScriptObjectCore::ClearLog() {
  Begin("ClearLog", false);
  if (log_) log_->Clear();
}

void ScriptObjectCore::Print(const std::string& text, bool bold, int32_t colour) {
  Begin("Print", false);
  if (log_) log_->Print(bold, U(colour), (text + "\r\n").c_str());
}

void ScriptObjectCore::Dump(int32_t address, int32_t count, int32_t bytesPerLine) {
  Begin("Dump", true);
  if (count <= 0 || !log_) return;
  const uint8_t* bytes = Buffer("Dump", address, U(count));
  for (const std::string& line : DumpLines(bytes, count, bytesPerLine)) LogLine(line);
}

int32_t ScriptObjectCore::malloc(int32_t size) {
  Begin("malloc", false);
  return static_cast<int32_t>(memory_.Allocate(static_cast<uint32_t>(Count("malloc", "size", size))));
}

void ScriptObjectCore::free(int32_t address) {
  Begin("free", false);
  if (address == 0) return;
  if (!memory_.Free(U(address)))
    throw ScriptError(Printf("free: 0x%08" PRIX32 " is no block from malloc (or it was freed already)", U(address)));
}

int32_t ScriptObjectCore::memset(int32_t address, int32_t value, int32_t count) {
  Begin("memset", false);
  uint64_t n = Count("memset", "count", count);
  std::memset(Buffer("memset", address, n), value & 0xFF, n);
  return address;
}

int32_t ScriptObjectCore::memcpy(int32_t destination, int32_t source, int32_t count) {
  Begin("memcpy", false);
  uint64_t n = Count("memcpy", "count", count);
  uint8_t* to = Buffer("memcpy", destination, n);
  const uint8_t* from = Buffer("memcpy", source, n);
  std::memmove(to, from, n);
  return destination;
}

int32_t ScriptObjectCore::memcmp(int32_t first, int32_t second, int32_t count) {
  Begin("memcmp", false);
  uint64_t n = Count("memcmp", "count", count);
  const uint8_t* a = Buffer("memcmp", first, n);
  const uint8_t* b = Buffer("memcmp", second, n);
  for (uint64_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

int32_t ScriptObjectCore::memchr(int32_t address, int32_t value, int32_t count) {
  Begin("memchr", false);
  uint64_t n = Count("memchr", "count", count);
  const uint8_t* bytes = Buffer("memchr", address, n);
  const void* found = std::memchr(bytes, value & 0xFF, n);
  if (!found) return 0;
  return static_cast<int32_t>(U(address) + static_cast<uint32_t>(static_cast<const uint8_t*>(found) - bytes));
}

int32_t ScriptObjectCore::memrand(int32_t address, int32_t count) {
  Begin("memrand", false);
  if (count <= 0) return address;
  uint8_t* bytes = Buffer("memrand", address, U(count));
  for (int32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(rand());
  return address;
}

void ScriptObjectCore::srand(int32_t seed) {
  Begin("srand", false);
  randState_ = U(seed);
}

// The generator of the C library the program has always used: the same seed gives the same
// numbers on every build and under every host.
int32_t ScriptObjectCore::rand() {
  Begin("rand", false);
  randState_ = randState_ * 214013u + 2531011u;
  return static_cast<int32_t>((randState_ >> 16) & 0x7FFF);
}

int32_t ScriptObjectCore::load(const Utf8Path& path, int32_t address, int32_t count) {
  Begin("load", true);
  uint64_t n = Count("load", "count", count);
  uint8_t* into = Buffer("load", address, n);
  if (!path.fits) throw ScriptError("load: the path is too long");
  uint32_t got = 0;
  std::string error;
  if (!ReadHostFile(path.text, into, static_cast<uint32_t>(n), &got, &error)) throw ScriptError("load: " + error);
  return static_cast<int32_t>(got);
}

void ScriptObjectCore::store(const Utf8Path& path, int32_t address, int32_t count) {
  Begin("store", true);
  uint64_t n = Count("store", "count", count);
  const uint8_t* from = Buffer("store", address, n);
  if (!path.fits) throw ScriptError("store: the path is too long");
  std::string error;
  if (!WriteHostFile(path.text, from, static_cast<uint32_t>(n), &error)) throw ScriptError("store: " + error);
}

// ---- device ------------------------------------------------------------------------------------

int32_t ScriptObjectCore::Init(int32_t mode) {
  Begin("Init", true);
  switch (mode) {
    case 0: return DeviceOpen("/a");
    case 1: return DeviceClose("/a");
    case 2: return DeviceQueryClosed();
    default: return -1;
  }
}

int32_t ScriptObjectCore::BDTLMount(int32_t volume) {
  Begin("BDTLMount", true);
  return VolumeBDTLMount(volume);
}
int32_t ScriptObjectCore::BDTLUnmount(int32_t volume) {
  Begin("BDTLUnmount", true);
  return VolumeBDTLUnmount(volume);
}
int32_t ScriptObjectCore::Mount(int32_t volume) {
  Begin("Mount", true);
  return VolumeMount(volume);
}
int32_t ScriptObjectCore::Unmount(int32_t volume) {
  Begin("Unmount", true);
  return VolumeUnmount(volume);
}

int32_t ScriptObjectCore::Format(const std::string& volume, const std::string& second, const std::string& third,
                                 int32_t fourth) {
  Begin("Format", true);
  return DeviceApiTable.gfslFormat(volume.c_str(), second.c_str(), third.c_str(), fourth);
}

int32_t ScriptObjectCore::LowLevelFormat(const std::string& volume, int32_t offset, int32_t size) {
  Begin("LowLevelFormat", true);
  return DeviceApiTable.gfslLowLevelFormat(volume.c_str(), U(offset), U(size));
}

std::string ScriptObjectCore::GetDeviceTextInfo(const std::string& volume) {
  Begin("GetDeviceTextInfo", true);
  char text[513] = "";
  DeviceApiTable.gfslGetDeviceTextInfo(volume.c_str(), text);
  text[512] = '\0';
  return text;
}

int64_t ScriptObjectCore::GetNumberOfBytesPerDevice(const std::string& device) {
  Begin("GetNumberOfBytesPerDevice", true);
  return static_cast<int64_t>(DeviceApiTable.gfslGetNumberOfBytesPerDevice(device.c_str()));
}

int32_t ScriptObjectCore::VeltanGetNumberOfPhysicalBlocks(const std::string& device) {
  Begin("VeltanGetNumberOfPhysicalBlocks", true);
  return static_cast<int32_t>(DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks(device.c_str()));
}

int32_t ScriptObjectCore::VeltanGetNumberOfPagesPerBlock(const std::string& device) {
  Begin("VeltanGetNumberOfPagesPerBlock", true);
  return static_cast<int32_t>(DeviceApiTable.gfslVeltanGetNumberOfPagesPerBlock(device.c_str()));
}

int32_t ScriptObjectCore::VeltanGetBBT(const std::string& volume, int32_t table) {
  Begin("VeltanGetBBT", true);
  // The module writes one marker byte per physical block. A module without the table answers
  // through its stub, which touches no buffer.
  const int kBbtSlot = 11, kBlocksSlot = 9;
  if (DeviceApiCellIsStub(kBbtSlot)) return DeviceApiTable.gfslVeltanGetBBT(volume.c_str(), nullptr);
  if (DeviceApiCellIsStub(kBlocksSlot)) throw ScriptError("VeltanGetBBT: the device module does not tell its block count");
  uint32_t blocks = DeviceApiTable.gfslVeltanGetNumberOfPhysicalBlocks(volume.c_str());
  if (blocks == 0xFFFFFFFFu) return -1;
  return DeviceApiTable.gfslVeltanGetBBT(volume.c_str(), Buffer("VeltanGetBBT", table, blocks));
}

int32_t ScriptObjectCore::NORGetBlockSize(const std::string& device, int32_t block) {
  Begin("NORGetBlockSize", false);
  return static_cast<int32_t>(DeviceApiTable.gfslNORGetBlockSize(device.c_str(), U(block)));
}

int32_t ScriptObjectCore::VeltanReadPage(int32_t device, int32_t value1, int32_t value2, int32_t dataLength,
                                         int32_t buffer) {
  Begin("VeltanReadPage", true);
  // The module writes the page's spare area after the data.
  uint64_t n = static_cast<uint64_t>(U(dataLength)) + VeltanSpareBytes();
  return DeviceApiTable.gfslVeltanReadPage(device, U(value1), U(value2), U(dataLength),
                                           Buffer("VeltanReadPage", buffer, n));
}

int32_t ScriptObjectCore::VeltanProgramPage(int32_t device, int32_t byteOffset, int32_t value2, int32_t length,
                                            int32_t buffer, int32_t value5) {
  Begin("VeltanProgramPage", true);
  // value5 is the spare area's block (0 for none): the module reads a whole spare area from it
  // when a whole page is programmed, and nothing otherwise.
  const uint8_t* spare = nullptr;
  if (value5 != 0)
    spare = Buffer("VeltanProgramPage", value5, U(length) >= kVeltanPageBytes ? VeltanSpareBytes() : 1);
  return DeviceApiTable.gfslVeltanProgramPage(device, U(byteOffset), U(value2), U(length),
                                              Buffer("VeltanProgramPage", buffer, U(length)), spare);
}

int32_t ScriptObjectCore::VeltanReadRawPage(int32_t device, int32_t page, int32_t pageCount, int32_t buffer) {
  Begin("VeltanReadRawPage", true);
  uint64_t n = static_cast<uint64_t>(U(pageCount)) * (kVeltanPageBytes + VeltanSpareBytes());
  return DeviceApiTable.gfslVeltanReadRawPage(device, U(page), U(pageCount), Buffer("VeltanReadRawPage", buffer, n));
}

int32_t ScriptObjectCore::VeltanProgramRawPage(int32_t device, int32_t page, int32_t pageCount, int32_t buffer) {
  Begin("VeltanProgramRawPage", true);
  uint64_t n = static_cast<uint64_t>(U(pageCount)) * (kVeltanPageBytes + VeltanSpareBytes());
  return DeviceApiTable.gfslVeltanProgramRawPage(device, U(page), U(pageCount),
                                                 Buffer("VeltanProgramRawPage", buffer, n));
}

int32_t ScriptObjectCore::VeltanEraseBlock(int32_t device, int32_t block) {
  Begin("VeltanEraseBlock", true);
  return DeviceApiTable.gfslVeltanEraseBlock(device, U(block));
}

int32_t ScriptObjectCore::NORReadData(int32_t device, int32_t address, int32_t length, int32_t buffer) {
  Begin("NORReadData", true);
  return DeviceApiTable.gfslNORReadData(device, U(address), U(length), Buffer("NORReadData", buffer, U(length)));
}

int32_t ScriptObjectCore::NORProgramData(int32_t device, int32_t address, int32_t length, int32_t data) {
  Begin("NORProgramData", true);
  return DeviceApiTable.gfslNORProgramData(device, U(address), U(length), Buffer("NORProgramData", data, U(length)));
}

int32_t ScriptObjectCore::NORReadRawData(int32_t device, int32_t address, int32_t length, int32_t buffer) {
  Begin("NORReadRawData", false);
  return DeviceApiTable.gfslNORReadRawData(device, U(address), U(length), Buffer("NORReadRawData", buffer, U(length)));
}

int32_t ScriptObjectCore::NORProgramRawData(int32_t device, int32_t address, int32_t length, int32_t data) {
  Begin("NORProgramRawData", false);
  return DeviceApiTable.gfslNORProgramRawData(device, U(address), U(length),
                                              Buffer("NORProgramRawData", data, U(length)));
}

int32_t ScriptObjectCore::NOREraseBlock(int32_t device, int32_t address) {
  Begin("NOREraseBlock", true);
  return DeviceApiTable.gfslNOREraseBlock(device, U(address));
}

bool ScriptObjectCore::NORGetBlockStatus(int32_t device, int32_t address, uint16_t* status) {
  Begin("NORGetBlockStatus", true);
  // A cell wider than the word the module writes, as the program always passed.
  uint32_t cell = 0;
  if (DeviceApiTable.gfslNORGetBlockStatus(device, U(address), reinterpret_cast<uint16_t*>(&cell)) != 0) {
    *status = 0xFFFF;
    return false;
  }
  *status = static_cast<uint16_t>(cell & 0xFFFF);
  return true;
}

int32_t ScriptObjectCore::NORSetBlockStatus(int32_t device, int32_t address, uint16_t status) {
  Begin("NORSetBlockStatus", true);
  return DeviceApiTable.gfslNORSetBlockStatus(device, U(address), status);
}

int32_t ScriptObjectCore::NORSetASOMode(int32_t device, int32_t mode) {
  Begin("NORSetASOMode", false);
  return DeviceApiTable.gfslNORSetASOMode(device, U(mode));
}

int32_t ScriptObjectCore::GetNumberOfSectors(int32_t partition, int32_t flag) {
  Begin("GetNumberOfSectors", true);
  return DeviceApiTable.gfslGetNumberOfSectors(partition, flag);
}

int32_t ScriptObjectCore::ReadSectors(int32_t partition, int32_t first, int32_t count, int32_t buffer, int32_t flag) {
  Begin("ReadSectors", true);
  uint64_t n = static_cast<uint64_t>(U(count)) * kSectorBytes;
  return DeviceApiTable.gfslReadSectors(partition, U(first), U(count), Buffer("ReadSectors", buffer, n), flag);
}

int32_t ScriptObjectCore::WriteSectors(int32_t partition, int32_t first, int32_t count, int32_t buffer, int32_t flag) {
  Begin("WriteSectors", true);
  uint64_t n = static_cast<uint64_t>(U(count)) * kSectorBytes;
  return DeviceApiTable.gfslWriteSectors(partition, U(first), U(count), Buffer("WriteSectors", buffer, n), flag);
}

// ---- files and folders ------------------------------------------------------------------------

int32_t ScriptObjectCore::fopen(const Utf8Path& path, const Utf8Path& mode) {
  Begin("fopen", true);
  if (!path.fits || !mode.fits) return -1;
  return DeviceApiTable.gfslfopen(path.text.c_str(), mode.text.c_str());
}

int32_t ScriptObjectCore::fclose(int32_t handle) {
  Begin("fclose", true);
  return DeviceApiTable.gfslfclose(handle);
}

int32_t ScriptObjectCore::fcloseall() {
  Begin("fcloseall", true);
  return DeviceApiTable.gfslfcloseall();
}

int32_t ScriptObjectCore::fread(int32_t buffer, int32_t size, int32_t count, int32_t handle) {
  Begin("fread", true);
  uint64_t n = static_cast<uint64_t>(U(size)) * U(count);
  return static_cast<int32_t>(DeviceApiTable.gfslfread(Buffer("fread", buffer, n), U(size), U(count), handle));
}

int32_t ScriptObjectCore::fwrite(int32_t buffer, int32_t size, int32_t count, int32_t handle) {
  Begin("fwrite", true);
  uint64_t n = static_cast<uint64_t>(U(size)) * U(count);
  return static_cast<int32_t>(DeviceApiTable.gfslfwrite(Buffer("fwrite", buffer, n), U(size), U(count), handle));
}

std::string ScriptObjectCore::freadtext(int32_t size, int32_t count, int32_t handle) {
  Begin("freadtext", true);
  uint64_t n = static_cast<uint64_t>(U(size)) * U(count);
  if (n > kMaxReadTextBytes)
    throw ScriptError(Printf("freadtext: %" PRIu64 " bytes (size x count) are more than the %" PRIu64
                             " one call may read",
                             n, kMaxReadTextBytes));
  std::vector<char> block(n + 1, '\0');
  int32_t got = static_cast<int32_t>(DeviceApiTable.gfslfread(block.data(), U(size), U(count), handle));
  // A negative count is the module's failure: nothing was read. The count is of elements.
  if (got < 0) return std::string();
  block[std::min<uint64_t>(n, static_cast<uint64_t>(U(got)) * U(size))] = '\0';
  return block.data();
}

int32_t ScriptObjectCore::fwritetext(const std::string& text, int32_t size, int32_t count, int32_t handle) {
  Begin("fwritetext", true);
  uint64_t b = static_cast<uint64_t>(U(size)) * U(count);
  if (b > text.size()) b = text.size();
  return static_cast<int32_t>(DeviceApiTable.gfslfwrite(text.data(), 1, static_cast<uint32_t>(b), handle));
}

int32_t ScriptObjectCore::ftell(int32_t handle) {
  Begin("ftell", true);
  return DeviceApiTable.gfslftell(handle);
}

int32_t ScriptObjectCore::fseek(int32_t handle, int32_t offset, int32_t origin) {
  Begin("fseek", true);
  return DeviceApiTable.gfslfseek(handle, offset, origin);
}

int32_t ScriptObjectCore::fflush(int32_t handle) {
  Begin("fflush", true);
  return DeviceApiTable.gfslfflush(handle);
}

std::string ScriptObjectCore::getcwd() {
  Begin("getcwd", true);
  char text[513] = "";
  DeviceApiTable.gfslgetcwd(text, 512);
  text[512] = '\0';
  return text;
}

int32_t ScriptObjectCore::chdir(const Utf8Path& path) {
  Begin("chdir", true);
  return path.fits ? DeviceApiTable.gfslchdir(path.text.c_str()) : -1;
}

int32_t ScriptObjectCore::fchdir(int32_t handle) {
  Begin("fchdir", true);
  return DeviceApiTable.gfslfchdir(handle);
}

int32_t ScriptObjectCore::opendir(const Utf8Path& path) {
  Begin("opendir", true);
  return path.fits ? AddDirectory(DeviceApiTable.gfslopendir(path.text.c_str())) : 0;
}

int32_t ScriptObjectCore::fdopendir(int32_t handle) {
  Begin("fdopendir", true);
  return AddDirectory(DeviceApiTable.gfslfdopendir(handle));
}

std::string ScriptObjectCore::readdir(int32_t directory) {
  Begin("readdir", false);
  const char* entry = DeviceApiTable.gfslreaddir(Directory("readdir", directory));
  if (!entry) return std::string();
  return std::string(entry, strnlen(entry, GFSL_DIR_NAME_SIZE));
}

int32_t ScriptObjectCore::closedir(int32_t directory) {
  Begin("closedir", true);
  GFSL_DIR* dir = Directory("closedir", directory);
  directories_.erase(directory);
  return DeviceApiTable.gfslclosedir(dir);
}

void ScriptObjectCore::rewinddir(int32_t directory) {
  Begin("rewinddir", true);
  DeviceApiTable.gfslrewinddir(Directory("rewinddir", directory));
}

int32_t ScriptObjectCore::unlink(const Utf8Path& path) {
  Begin("unlink", true);
  return path.fits ? DeviceApiTable.gfslunlink(path.text.c_str()) : -1;
}

int32_t ScriptObjectCore::rmdir(const Utf8Path& path) {
  Begin("rmdir", true);
  return path.fits ? DeviceApiTable.gfslrmdir(path.text.c_str()) : -1;
}

int32_t ScriptObjectCore::rename(const Utf8Path& from, const Utf8Path& to) {
  Begin("rename", true);
  return from.fits && to.fits ? DeviceApiTable.gfslrename(from.text.c_str(), to.text.c_str()) : -1;
}

int32_t ScriptObjectCore::mkdir(const Utf8Path& path, int32_t mode) {
  Begin("mkdir", true);
  return path.fits ? DeviceApiTable.gfslmkdir(path.text.c_str(), mode) : -1;
}

std::string ScriptObjectCore::stat(const Utf8Path& path) {
  Begin("stat", false);
  GFSL_STAT st = {};
  if (!path.fits || DeviceApiTable.gfslstat(path.text.c_str(), &st) != 0) return std::string();
  return StatText(st);
}

std::string ScriptObjectCore::fstat(int32_t handle) {
  Begin("fstat", false);
  GFSL_STAT st = {};
  if (DeviceApiTable.gfslfstat(handle, &st) != 0) return std::string();
  return StatText(st);
}

int32_t ScriptObjectCore::access(const Utf8Path& path, int32_t mode) {
  Begin("access", true);
  return path.fits ? DeviceApiTable.gfslaccess(path.text.c_str(), mode) : -1;
}

int32_t ScriptObjectCore::truncate(const Utf8Path& path, int32_t length) {
  Begin("truncate", true);
  return path.fits ? DeviceApiTable.gfsltruncate(path.text.c_str(), length) : -1;
}

int32_t ScriptObjectCore::ftruncate(int32_t handle, int32_t length) {
  Begin("ftruncate", true);
  return DeviceApiTable.gfslftruncate(handle, length);
}

int32_t ScriptObjectCore::GetLastError() {
  Begin("GetLastError", true);
  char text[513] = "";
  int32_t code = DeviceApiTable.gfslGetLastError(text, 512);
  text[512] = '\0';
  LogLine(Printf("Error:%ld, %s\r\n", static_cast<long>(code), text));
  return code;
}

int32_t ScriptObjectCore::CustomCallback(int which, int32_t a, int32_t b, int32_t c, int32_t d) {
  static const char* const names[] = {"CustomCallback1", "CustomCallback2", "CustomCallback3", "CustomCallback4",
                                      "CustomCallback5", "CustomCallback6", "CustomCallback7", "CustomCallback8"};
  static const gfslCustomCallback1_fn DeviceApiTableCells::*const cells[] = {
      &DeviceApiTableCells::gfslCustomCallback1, &DeviceApiTableCells::gfslCustomCallback2,
      &DeviceApiTableCells::gfslCustomCallback3, &DeviceApiTableCells::gfslCustomCallback4,
      &DeviceApiTableCells::gfslCustomCallback5, &DeviceApiTableCells::gfslCustomCallback6,
      &DeviceApiTableCells::gfslCustomCallback7, &DeviceApiTableCells::gfslCustomCallback8};
  if (which < 1 || which > 8) throw ScriptError("CustomCallback: no such callback");
  Begin(names[which - 1], true);
  return (DeviceApiTable.*cells[which - 1])(a, b, c, d);
}

void ScriptObjectCore::DoSelfTest() { Begin("DoSelfTest", true); }

}  // namespace lx

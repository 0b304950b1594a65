// What the scriptable object does, without COM: every method of the script's "LXObject" over
// the device API table, the script memory table, the script log and the host's files.
//
// The COM class (lx_object.h) converts the script's arguments (texts to the system code page or
// to UTF-8 paths) and the results, and turns a ScriptError into the script error the engine
// shows; everything else happens here, so the native tests reach all of it.
//
// Rules every method keeps:
//  - A stop request (the frame's Stop Script) makes the next method call fail with "stopped".
//  - Every buffer argument is a script memory number; the whole range the call reads or writes
//    is checked against its block before anything is copied or any device entry is called, and
//    a bad range is a ScriptError naming the method.
//  - Device results come back unchanged; failures of the device are results, not errors.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "lumivex/deviceapi.h"
#include "script_memory.h"

namespace lx {

// A refusal of the object: the script sees it as a run-time error with this text.
class ScriptError : public std::runtime_error {
 public:
  explicit ScriptError(const std::string& text) : std::runtime_error(text) {}
};

// Where the object's log lines go: the frame's script log (any thread may print).
class ScriptLog {
 public:
  virtual ~ScriptLog() = default;
  virtual void Print(bool bold, uint32_t colour, const char* text) = 0;
  virtual void Clear() = 0;
};

// A path converted for the device module: UTF-8 with its terminator in 512 bytes, or too long.
struct Utf8Path {
  bool fits = true;
  std::string text;  // without the terminator
};
// The conversion's rule in one place: a UTF-8 text whose form with terminator needs more than
// 512 bytes does not fit.
Utf8Path MakeUtf8Path(const std::string& utf8);

// The bytes freadtext may ask for at once.
constexpr uint64_t kMaxReadTextBytes = 16u << 20;
// The bytes of one sector of the sector methods.
constexpr uint32_t kSectorBytes = 512;
// The page of the NAND-interface device without its spare area.
constexpr uint32_t kVeltanPageBytes = 2048;

class ScriptObjectCore {
 public:
  ScriptObjectCore() = default;
  ~ScriptObjectCore();
  ScriptObjectCore(const ScriptObjectCore&) = delete;
  ScriptObjectCore& operator=(const ScriptObjectCore&) = delete;

  void SetLog(ScriptLog* log) { log_ = log; }
  bool HasLog() const { return log_ != nullptr; }
  // The run's stop request, read by every method; null: the object cannot be stopped.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
  ScriptMemory& Memory() { return memory_; }

  // ---- log, memory, random numbers, host files
  void ClearLog();
  void Print(const std::string& text, bool bold, int32_t colour);
  void Dump(int32_t address, int32_t count, int32_t bytesPerLine);
  int32_t malloc(int32_t size);
  void free(int32_t address);
  int32_t memset(int32_t address, int32_t value, int32_t count);
  int32_t memcpy(int32_t destination, int32_t source, int32_t count);
  int32_t memcmp(int32_t first, int32_t second, int32_t count);
  int32_t memchr(int32_t address, int32_t value, int32_t count);
  int32_t memrand(int32_t address, int32_t count);
  void srand(int32_t seed);
  int32_t rand();
  int32_t load(const Utf8Path& path, int32_t address, int32_t count);
  void store(const Utf8Path& path, int32_t address, int32_t count);

  // ---- device
  int32_t Init(int32_t mode);
  int32_t BDTLMount(int32_t volume);
  int32_t BDTLUnmount(int32_t volume);
  int32_t Mount(int32_t volume);
  int32_t Unmount(int32_t volume);
  int32_t Format(const std::string& volume, const std::string& second, const std::string& third, int32_t fourth);
  int32_t LowLevelFormat(const std::string& volume, int32_t offset, int32_t size);
  std::string GetDeviceTextInfo(const std::string& volume);
  int64_t GetNumberOfBytesPerDevice(const std::string& device);
  int32_t VeltanGetNumberOfPhysicalBlocks(const std::string& device);
  int32_t VeltanGetNumberOfPagesPerBlock(const std::string& device);
  int32_t VeltanGetBBT(const std::string& volume, int32_t table);
  int32_t NORGetBlockSize(const std::string& device, int32_t block);
  int32_t VeltanReadPage(int32_t device, int32_t value1, int32_t value2, int32_t dataLength, int32_t buffer);
  int32_t VeltanProgramPage(int32_t device, int32_t byteOffset, int32_t value2, int32_t length, int32_t buffer,
                            int32_t value5);
  int32_t VeltanReadRawPage(int32_t device, int32_t page, int32_t pageCount, int32_t buffer);
  int32_t VeltanProgramRawPage(int32_t device, int32_t page, int32_t pageCount, int32_t buffer);
  int32_t VeltanEraseBlock(int32_t device, int32_t block);
  int32_t NORReadData(int32_t device, int32_t address, int32_t length, int32_t buffer);
  int32_t NORProgramData(int32_t device, int32_t address, int32_t length, int32_t data);
  int32_t NORReadRawData(int32_t device, int32_t address, int32_t length, int32_t buffer);
  int32_t NORProgramRawData(int32_t device, int32_t address, int32_t length, int32_t data);
  int32_t NOREraseBlock(int32_t device, int32_t address);
  // False (with 0xFFFF in *status) when the module failed.
  bool NORGetBlockStatus(int32_t device, int32_t address, uint16_t* status);
  int32_t NORSetBlockStatus(int32_t device, int32_t address, uint16_t status);
  int32_t NORSetASOMode(int32_t device, int32_t mode);
  int32_t GetNumberOfSectors(int32_t partition, int32_t flag);
  int32_t ReadSectors(int32_t partition, int32_t first, int32_t count, int32_t buffer, int32_t flag);
  int32_t WriteSectors(int32_t partition, int32_t first, int32_t count, int32_t buffer, int32_t flag);

  // ---- files and folders of the device's volumes
  int32_t fopen(const Utf8Path& path, const Utf8Path& mode);
  int32_t fclose(int32_t handle);
  int32_t fcloseall();
  int32_t fread(int32_t buffer, int32_t size, int32_t count, int32_t handle);
  int32_t fwrite(int32_t buffer, int32_t size, int32_t count, int32_t handle);
  // The bytes read, in the system code page (empty when the read failed).
  std::string freadtext(int32_t size, int32_t count, int32_t handle);
  int32_t fwritetext(const std::string& text, int32_t size, int32_t count, int32_t handle);
  int32_t ftell(int32_t handle);
  int32_t fseek(int32_t handle, int32_t offset, int32_t origin);
  int32_t fflush(int32_t handle);
  // UTF-8 text from the module (the COM class converts it for the script).
  std::string getcwd();
  int32_t chdir(const Utf8Path& path);
  int32_t fchdir(int32_t handle);
  // Directory streams are numbers of this object too (1, 2, ...; 0 when the module failed).
  int32_t opendir(const Utf8Path& path);
  int32_t fdopendir(int32_t handle);
  std::string readdir(int32_t directory);
  int32_t closedir(int32_t directory);
  void rewinddir(int32_t directory);
  int32_t unlink(const Utf8Path& path);
  int32_t rmdir(const Utf8Path& path);
  int32_t rename(const Utf8Path& from, const Utf8Path& to);
  int32_t mkdir(const Utf8Path& path, int32_t mode);
  std::string stat(const Utf8Path& path);
  std::string fstat(int32_t handle);
  int32_t access(const Utf8Path& path, int32_t mode);
  int32_t truncate(const Utf8Path& path, int32_t length);
  int32_t ftruncate(int32_t handle, int32_t length);
  int32_t GetLastError();
  int32_t CustomCallback(int which, int32_t a, int32_t b, int32_t c, int32_t d);
  void DoSelfTest();

 private:
  // The stop check and the method's log line ("Process <name>").
  void Begin(const char* method, bool logLine);
  void LogLine(const std::string& text);
  // The memory of a buffer argument, or a ScriptError naming the method.
  uint8_t* Buffer(const char* method, int32_t address, uint64_t length);
  GFSL_DIR* Directory(const char* method, int32_t directory);
  int32_t AddDirectory(GFSL_DIR* dir);
  // The Veltan spare area per page, as the frame learnt it at the device's open.
  static uint32_t VeltanSpareBytes();

  ScriptMemory memory_;
  std::map<int32_t, GFSL_DIR*> directories_;
  int32_t nextDirectory_ = 1;
  ScriptLog* log_ = nullptr;
  const std::atomic<bool>* stop_ = nullptr;
  uint32_t randState_ = 1;
};

// The text of stat/fstat: "Attr:0x%x, Size:%lu".
std::string StatText(const GFSL_STAT& st);
// The lines Dump prints for these bytes (each with its "\r\n").
std::vector<std::string> DumpLines(const uint8_t* bytes, int32_t count, int32_t bytesPerLine);

}  // namespace lx

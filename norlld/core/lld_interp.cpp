// The output buffer, the typed variables, the command table and the line interpreter, with the
// base commands.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "lld_internal.h"

extern "C" {
uint8_t g_ucBuffer[kLldBufferSize];
uint32_t g_ulBufferIndex;
}

namespace lld {

namespace {

const char kTruncatedNote[] = "\n*** output truncated ***\n";
constexpr uint32_t kTextLimit = kLldBufferSize - 1 - (sizeof kTruncatedNote - 1);

// Without a host the driver still answers: no kit, no input, time stands still.
class NullHost : public LldHost {
public:
  std::unique_ptr<rook::KitBus> CreateKit(rook::HResult* hr) override {
    *hr = rook::HResult(0x80004004u);  // E_ABORT: no kit
    return nullptr;
  }
  bool InstallFolder(std::string*, size_t) override { return false; }
  uint64_t NowUs() override { return now_; }
  void DelayUs(uint64_t us) override { now_ += us; }
  void StdOut(const char*) override {}
  void StdErr(const char*) override {}
  bool ReadLine(std::string*) override { return false; }

private:
  uint64_t now_ = 0;
};

State* g_state = new State;
LldHost* g_host = nullptr;

void Append(const char* text, size_t length) {
  uint32_t at = g_ulBufferIndex;
  if (at > kTextLimit) {
    // Full (the note is there), or an index the host left past the end: nothing more fits.
    if (at >= kLldBufferSize) g_ulBufferIndex = at = kLldBufferSize - 1;
    g_ucBuffer[at] = '\0';
    return;
  }
  if (length <= kTextLimit - at) {
    std::memcpy(g_ucBuffer + at, text, length);
    g_ulBufferIndex = at + uint32_t(length);
    g_ucBuffer[g_ulBufferIndex] = '\0';
    return;
  }
  size_t room = kTextLimit - at;
  std::memcpy(g_ucBuffer + at, text, room);
  std::memcpy(g_ucBuffer + kTextLimit, kTruncatedNote, sizeof kTruncatedNote);
  g_ulBufferIndex = kLldBufferSize - 1;
}

// Exchange sort of the records [first, end) by the first 8 characters of their names.
void SortCommands(size_t first) {
  std::vector<CommandEntry>& t = S().table;
  for (size_t i = first; i < t.size(); ++i)
    for (size_t j = i + 1; j < t.size(); ++j)
      if (std::strncmp(t[j].name, t[i].name, 8) < 0) std::swap(t[i], t[j]);
}

lx::cmdline::AddressSpace Space() {
  return lx::cmdline::AddressSpace{S().baseAddr, S().windowSize, S().scratchpad, S().superUser};
}

const CommandEntry* MatchCommand(const char* line) {
  for (const CommandEntry& e : S().table)
    if (lx::cmdline::MatchWord(e.name, line, lx::cmdline::kDriverPolicy)) return &e;
  return nullptr;
}

const char kInvalidVariableName[] = "Invalid environment variable name!\n";
const char kInvalidVariableSize[] = "Invalid size for environment variable!\n";

// The library's variables by name, for "$name" references.
bool LookUp(void*, const char* name, size_t length, lx::cmdline::Variable* out) {
  Variable* v = FindVariable(name, length);
  if (!v) return false;
  out->size = v->size;
  switch (v->size) {
    case 1: out->value = *static_cast<uint8_t*>(v->value); break;
    case 2: out->value = *static_cast<uint16_t*>(v->value); break;
    case 4: out->value = *static_cast<uint32_t*>(v->value); break;
    default: out->value = 0; break;
  }
  return true;
}

}  // namespace

State& S() { return *g_state; }

LldHost& Host() {
  static NullHost none;
  return g_host ? *g_host : none;
}

void SetHost(LldHost* host) { g_host = host; }

void ResetForTest() {
  delete g_state;
  g_state = new State;
  g_ulBufferIndex = 0;
  g_ucBuffer[0] = '\0';
}

bool OutputFull() { return g_ulBufferIndex > kTextLimit; }

size_t WordLength(const char* text) {
  size_t n = 0;
  while (text[n] && !IsBlank(text[n])) ++n;
  return n;
}

bool WordIs(const char* text, const char* word) {
  size_t n = WordLength(text);
  return n == std::strlen(word) && std::strncmp(text, word, n) == 0;
}

const char* Arg(int32_t argc, char** argv, int32_t i) {
  if (!argv || i < 0 || i > argc || !argv[i]) return "";
  return argv[i];
}

uint32_t HexArg(int32_t argc, char** argv, int32_t i) { return ParseHex(Arg(argc, argv, i)); }

void PrintUsage(const char* name, const char* usage) { lld_Print("command: %s %s\n", name, usage); }

void PrintError(const char* text) { lld_Print("Error: %s\n", text); }

Variable* FindVariable(const char* name, size_t length) {
  State& s = S();
  auto match = [&](Variable& v) { return std::strlen(v.name) == length && std::strncmp(v.name, name, length) == 0; };
  for (int i = 0; i < s.userCount; ++i)
    if (match(s.vars[i])) return &s.vars[i];
  for (int i = 0; i < s.autoCount; ++i)
    if (match(s.vars[kUserVariables + i])) return &s.vars[kUserVariables + i];
  return nullptr;
}

bool CreateVariable(const char* name, uint32_t size, void* value, bool automatic) {
  State& s = S();
  if (automatic ? s.autoCount >= kAutoVariables : s.userCount >= kUserVariables) {
    lld_Print(automatic ? "The maximum number of automatic environment variables already exist!\n"
                        : "The maximum number of user environment variables already exist!\n");
    return false;
  }
  size_t length = WordLength(name);
  for (size_t i = 0; i < length; ++i)
    if (name[i] == ' ') length = i;
  if (FindVariable(name, length)) {
    lld_Print("There already exists an environment variable with the name %.*s\n", int(length), name);
    return false;
  }
  if (std::memchr(name, '$', length)) {
    lld_Print("Variable names cannot contain the character $\n");
    return false;
  }
  if (length >= kVariableNameSize) {
    lld_Print("Variable names cannot be longer than %d characters\n", int(kVariableNameSize - 1));
    return false;
  }
  Variable& v = automatic ? s.vars[kUserVariables + s.autoCount++] : s.vars[s.userCount++];
  std::memcpy(v.name, name, length);
  v.name[length] = '\0';
  v.size = size;
  v.storage = 0;
  v.value = automatic ? value : &v.storage;
  v.readOnly = false;
  return true;
}

void RegisterCommandTable(const CommandEntry* table) {
  for (; table->name; ++table) S().table.push_back(*table);
}

}  // namespace lld

using namespace lld;

extern "C" void lld_Print(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0) return;
  if (size_t(n) < sizeof small) {
    Append(small, size_t(n));
    return;
  }
  // Longer than one line of the console: format it whole, the buffer's end still bounds it.
  std::vector<char> big(size_t(n) + 1);
  va_start(args, format);
  std::vsnprintf(big.data(), big.size(), format, args);
  va_end(args);
  Append(big.data(), size_t(n));
}

extern "C" void lld_ExecuteCommandLine(const char* line) {
  if (!line) return;
  const CommandEntry* e = MatchCommand(line);
  if (!e) {
    PrintError("Command not found");
    return;
  }
  // Each reference may grow the line: give it all the room it can need.
  std::vector<char> work(lx::cmdline::WorkSizeFor(std::strlen(line)));
  lx::cmdline::Prepared p;
  lx::cmdline::Prepare(lx::cmdline::Row{e->name, e->minParams, e->maxParams, e->usage}, line, work.data(),
                       work.size(), lx::cmdline::kDriverPolicy, Space(), &LookUp, nullptr, &p);
  char text[64];
  switch (p.verdict) {
    case lx::cmdline::Verdict::kRun:
      e->handler(p.argc, p.argv);
      return;
    case lx::cmdline::Verdict::kTooLong:  // not with the room above
      PrintError("Command line is too long");
      break;
    case lx::cmdline::Verdict::kUnknownVariable:
      PrintError(kInvalidVariableName);
      break;
    case lx::cmdline::Verdict::kBadVariableSize:
      PrintError(kInvalidVariableSize);
      break;
    case lx::cmdline::Verdict::kParameterCount:
      if (e->minParams == e->maxParams)
        std::snprintf(text, sizeof text, "Expected %x parameters", unsigned(e->minParams));
      else
        std::snprintf(text, sizeof text, "Expected %x to %d parameters", unsigned(e->minParams), int(e->maxParams));
      PrintError(text);
      break;
    case lx::cmdline::Verdict::kInvalidBaseAddress:
      PrintError("User-supplied base address is invalid!\n");
      break;
    case lx::cmdline::Verdict::kInvalidAddress:
      PrintError("User-supplied address is invalid!\n");
      break;
  }
  PrintUsage(e->name, e->usage);
}

// ---- Base commands ----

LLD_DEFINE_COMMAND(exit) {
  (void)argc;
  (void)argv;
  return 0;
}

LLD_DEFINE_COMMAND(SetBaseAddress) {
  S().baseAddr = HexArg(argc, argv, 1);
  return 0;
}

LLD_DEFINE_COMMAND(SetWindowSize) {
  uint32_t size = HexArg(argc, argv, 1);
  // An empty window would refuse every address while reporting nothing wrong with it.
  if (size == 0) {
    PrintError("The window size cannot be 0!\n");
    return -1;
  }
  S().windowSize = size;
  return 0;
}

LLD_DEFINE_COMMAND(help) {
  (void)argc;
  (void)argv;
  for (const CommandEntry& e : S().table) {
    if (OutputFull()) break;
    lld_Print("%s %s\n", e.name, e.usage);
  }
  return 0;
}

LLD_DEFINE_COMMAND(SuperUser) {
  (void)argc;
  (void)argv;
  lld_Print("\nEntering Super User mode.  Bypassing all parameter checks.\n");
  S().superUser = true;
  return 0;
}

namespace lld {

const CommandEntry* BaseCommands() {
  static const CommandEntry table[] = {LX_CONSOLE_HEAD_ROWS(LLD_ROW) LLD_CLOSING_ROW};
  return table;
}

// Called by LXLLD_Init: the tables and variables are built at the first start-up only, so a
// second start-up finds them as the first left them.
void BuildTables() {
  State& s = S();
  if (s.tablesBuilt) return;
  s.tablesBuilt = true;
  RegisterCommandTable(BaseCommands());
  CreateVariable("base_addr", 4, &s.baseAddr, true);
  CreateVariable("window_size", 4, &s.windowSize, true);
  CreateVariable("scratchpad", 4, &s.scratchpad, true);
  s.vars[kUserVariables + s.autoCount - 1].readOnly = true;
  size_t nor = s.table.size();
  RegisterCommandTable(NorCommands());
  SortCommands(nor);
  CreateNorVariables();
  RegisterCommandTable(ProtectionCommands());
  RegisterCommandTable(MemoryCommands());
  CreateMemoryVariables();
  RegisterCommandTable(TraceCommands());
}

}  // namespace lld

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

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The number of places where a non-blank follows a blank.
int CountParameters(const char* line) {
  int n = 0;
  for (size_t i = 1; line[0] && line[i]; ++i)
    if (!IsBlank(line[i]) && IsBlank(line[i - 1])) ++n;
  return n;
}

bool SameLetters(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y || !x) return x == y;
  }
  return true;
}

const CommandEntry* MatchCommand(const char* line) {
  for (const CommandEntry& e : S().table) {
    size_t n = std::strlen(e.name);
    if (SameLetters(line, e.name, n) && (line[n] == '\0' || line[n] == ' ')) return &e;
  }
  return nullptr;
}

bool InWindow(uint32_t value) {
  return value >= S().baseAddr && uint64_t(value) < uint64_t(S().baseAddr) + S().windowSize;
}

bool ValidBaseAddress(uint32_t value) { return S().superUser || (InWindow(value) && (value & 1) == 0); }

bool ValidAddress(uint32_t value) {
  if (S().superUser || InWindow(value)) return true;
  return S().scratchpad && value >= S().scratchpad && uint64_t(value) < uint64_t(S().scratchpad) + kLldScratchpadSize;
}

const char kInvalidVariableName[] = "Invalid environment variable name!\n";
const char kInvalidVariableSize[] = "Invalid size for environment variable!\n";

// Replaces every "$name" (the name runs to the next space) by the variable's value in hex. Values
// never hold a "$", so one pass from the left gives what repeated replacement of the first
// reference would, and the line may grow as long as it needs.
bool Substitute(const std::string& in, std::string* out) {
  out->clear();
  size_t at = 0;
  while (at < in.size()) {
    size_t dollar = in.find('$', at);
    if (dollar == std::string::npos) {
      out->append(in, at, std::string::npos);
      break;
    }
    out->append(in, at, dollar - at);
    size_t nameStart = dollar + 1;
    size_t nameEnd = in.find(' ', nameStart);
    if (nameEnd == std::string::npos) nameEnd = in.size();
    Variable* v = FindVariable(in.c_str() + nameStart, nameEnd - nameStart);
    if (!v) {
      lld_Print("Error: %s\n", kInvalidVariableName);
      return false;
    }
    char value[12];
    switch (v->size) {
    case 1: std::snprintf(value, sizeof value, "%2.2X", unsigned(*static_cast<uint8_t*>(v->value))); break;
    case 2: std::snprintf(value, sizeof value, "%4.4X", unsigned(*static_cast<uint16_t*>(v->value))); break;
    case 4: std::snprintf(value, sizeof value, "%8.8X", unsigned(*static_cast<uint32_t*>(v->value))); break;
    default: lld_Print("Error: %s\n", kInvalidVariableSize); return false;
    }
    out->append(value);
    at = nameEnd;
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

uint32_t ParseHex(const char* text) {
  if (!text) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  auto digit = [](unsigned char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit(p[2]) >= 0) p += 2;
  uint64_t value = 0;
  for (int d; (d = digit(*p)) >= 0; ++p) {
    value = value * 16 + uint64_t(d);
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  uint32_t result = uint32_t(value);
  return negative ? 0u - result : result;
}

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
  std::string work;
  if (!Substitute(line, &work)) {
    PrintUsage(e->name, e->usage);
    return;
  }
  if (CountParameters(work.c_str()) == e->minParams - 1 && e->usage[0] == '[') {
    char base[16];
    std::snprintf(base, sizeof base, " %8.8X", unsigned(S().baseAddr));
    work.insert(std::min(work.find(' '), work.size()), base);
  }
  int count = CountParameters(work.c_str());
  if (count < e->minParams || count > e->maxParams) {
    char text[64];
    if (e->minParams == e->maxParams)
      std::snprintf(text, sizeof text, "Expected %x parameters", unsigned(e->minParams));
    else
      std::snprintf(text, sizeof text, "Expected %x to %d parameters", unsigned(e->minParams), int(e->maxParams));
    PrintError(text);
    PrintUsage(e->name, e->usage);
    return;
  }
  std::vector<char> text(work.begin(), work.end());
  text.push_back('\0');
  std::vector<char*> argv(size_t(count) + 2, nullptr);
  argv[0] = text.data();
  for (size_t i = 1, n = 0; text[i - 1] && text[i] && int(n) < count; ++i)
    if (!IsBlank(text[i]) && IsBlank(text[i - 1])) argv[++n] = &text[i];
  if ((StartsWith(e->usage, "[base_addr]") || StartsWith(e->usage, "base_addr")) &&
      !StartsWith(e->name, "SetBaseAddress")) {
    if (!ValidBaseAddress(ParseHex(argv[1]))) {
      PrintError("User-supplied base address is invalid!\n");
      PrintUsage(e->name, e->usage);
      return;
    }
  } else if (StartsWith(e->usage, "addr") && !ValidAddress(ParseHex(argv[1]))) {
    PrintError("User-supplied address is invalid!\n");
    PrintUsage(e->name, e->usage);
    return;
  }
  e->handler(count, argv.data());
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
  static const CommandEntry table[] = {
      {"exit", cmd_exit, 0, 0, ""},
      {"quit", cmd_exit, 0, 0, ""},
      {"SetBaseAddress", cmd_SetBaseAddress, 1, 1, "base_addr"},
      {"SetWindowSize", cmd_SetWindowSize, 1, 1, "length"},
      {"help", cmd_help, 0, 0, ""},
      {"?", cmd_help, 0, 0, ""},
      {"SuperUser", cmd_SuperUser, 0, 0, ""},
      {nullptr, nullptr, 0, 0, nullptr},
  };
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

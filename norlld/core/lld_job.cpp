// Jobs (stored command lines run through the interpreter) and the typed user variables.
//
// What a job runs: every line goes through lld_ExecuteCommandLine, so a job line may hold any
// command of the interpreter's table ("help" lists them) with "$name" references to variables.
// Lines that hold "label <name>" only mark places: a run passes over them. The job, variable, if,
// goto and disp commands are console commands, not job lines; "goto" and "if" set the line from
// which the next "job" starts.
#include <cstdio>
#include <cstring>

#include "lld_internal.h"

using namespace lld;

namespace {

const char kVarUsage[] = "varname [= value [op value]]   where op is one of: + - * / < > & |";
const char kIfUsage[] = "value [op value] goto label_name   where op is boolean, one of: = < >";

bool IsLabelLine(const char* line) {
  size_t n = WordLength(line);
  if (n != 5) return false;
  for (size_t i = 0; i < 5; ++i)
    if ((line[i] | 0x20) != "label"[i]) return false;
  return true;
}

// The operator parameter: one character followed by a blank; 0 with a message otherwise.
char Operator(const char* text, const char* valid, const char* command, const char* usage) {
  if (!text[0] || (text[1] && !IsBlank(text[1]))) {
    lld_Print("Operator must be a single character\n");
    PrintUsage(command, usage);
    return 0;
  }
  if (!std::strchr(valid, text[0])) {
    lld_Print("Invalid operator %c\n", text[0]);
    PrintUsage(command, usage);
    return 0;
  }
  return text[0];
}

// Points the job at the first line that holds "label" followed by one separator and the name.
bool GotoLabel(const char* name) {
  State& s = S();
  size_t nameLength = WordLength(name);
  for (uint32_t i = 0; i < s.jobCount; ++i) {
    const char* line = s.job[i];
    const char* label = std::strstr(line, "label");
    if (!label || std::strlen(label) < 6) continue;
    const char* word = label + 6;
    if (WordLength(word) == nameLength && std::strncmp(word, name, nameLength) == 0) {
      s.jobPointer = i;
      return true;
    }
  }
  return false;
}

// Errors name the command "var", whichever size was asked for.
int Var(int32_t argc, char** argv, uint32_t size) {
  const char* command = "var";
  const char* name = Arg(argc, argv, 1);
  size_t nameLength = std::strcspn(name, " ");
  if (argc <= 1) return CreateVariable(name, size, nullptr, false) ? 0 : -1;
  Variable* v = FindVariable(name, nameLength);
  if (!v) {
    lld_Print("The environment variable %.*s must be created before assigning a value!\n", int(nameLength), name);
    return -1;
  }
  if (Arg(argc, argv, 2)[0] != '=') {
    lld_Print("Invalid syntax!\n");
    PrintUsage(command, kVarUsage);
    return -1;
  }
  if (argc != 3 && argc != 5) {
    lld_Print("Invalid number of parameters!\n");
    PrintUsage(command, kVarUsage);
    return -1;
  }
  uint32_t value = HexArg(argc, argv, 3);
  if (argc == 5) {
    char op = Operator(Arg(argc, argv, 4), "+-*/<>&|", command, kVarUsage);
    if (!op) return -1;
    uint32_t b = HexArg(argc, argv, 5);
    switch (op) {
    case '+': value += b; break;
    case '-': value -= b; break;
    case '*': value *= b; break;
    case '/':
      if (b == 0) {
        lld_Print("Division by zero!\n");
        PrintUsage(command, kVarUsage);
        return -1;
      }
      value /= b;
      break;
    case '<': value <<= (b % 32); break;
    case '>': value >>= (b % 32); break;
    case '&': value &= b; break;
    case '|': value |= b; break;
    }
  }
  if (v->size != size) {
    lld_Print("Invalid environment variable for data size %d byte(s)!\n", int(size));
    return -1;
  }
  if (v->readOnly) {
    lld_Print("The environment variable %s cannot be assigned!\n", v->name);
    return -1;
  }
  if (v->value == &S().windowSize && value == 0) {
    PrintError("The window size cannot be 0!\n");
    return -1;
  }
  if (size == 1) *static_cast<uint8_t*>(v->value) = uint8_t(value);
  if (size == 2) *static_cast<uint16_t*>(v->value) = uint16_t(value);
  if (size == 4) *static_cast<uint32_t*>(v->value) = value;
  return 0;
}

}  // namespace

LLD_DEFINE_COMMAND(job) {
  (void)argc;
  (void)argv;
  State& s = S();
  if (s.jobPointer >= s.jobCount) {
    lld_Print("Nothing to execute at line %x\n", unsigned(s.jobPointer));
    return 0;
  }
  while (s.jobPointer < s.jobCount) {
    if (std::strncmp(s.job[s.jobPointer], "job", 3) == 0) {
      lld_Print("job doesn't support nesting!");
      return -1;
    }
    if (OutputFull()) return -1;
    const char* line = s.job[s.jobPointer++];
    if (IsLabelLine(line)) continue;
    // A copy: the line may change the job it runs from no further than its own text.
    char copy[kJobLineSize];
    std::memcpy(copy, line, kJobLineSize);
    lld_ExecuteCommandLine(copy);
  }
  s.jobPointer = 0;
  return 0;
}

LLD_DEFINE_COMMAND(var) { return Var(argc, argv, 2); }
extern "C" int32_t cmd_var16(int32_t, char**) __attribute__((alias("cmd_var")));
LLD_DEFINE_COMMAND(var8) { return Var(argc, argv, 1); }
LLD_DEFINE_COMMAND(var32) { return Var(argc, argv, 4); }

LLD_DEFINE_COMMAND(label) {
  (void)argc;
  (void)argv;
  return 0;
}

LLD_DEFINE_COMMAND(goto) {
  if (GotoLabel(Arg(argc, argv, 1))) return 0;
  lld_Print("Invalid label\n");
  PrintUsage("goto", "label_name");
  return -1;
}

LLD_DEFINE_COMMAND(if) {
  bool go;
  const char* label;
  if (argc == 3) {
    uint32_t v = HexArg(argc, argv, 1);
    if (v != 1 && v != 0) {
      lld_Print("Invalid boolean value.  Expecting %x or %x\n", 1u, 0u);
      PrintUsage("if", kIfUsage);
      return -1;
    }
    go = v == 1;
    label = Arg(argc, argv, 3);
  } else if (argc == 5) {
    char op = Operator(Arg(argc, argv, 2), "=<>", "if", kIfUsage);
    if (!op) return -1;
    uint32_t a = HexArg(argc, argv, 1), b = HexArg(argc, argv, 3);
    go = op == '=' ? a == b : op == '<' ? a < b : a > b;
    label = Arg(argc, argv, 5);
  } else {
    lld_Print("Invalid number of parameters!\n");
    PrintUsage("if", kIfUsage);
    return -1;
  }
  if (!go) return 0;
  if (GotoLabel(label)) return 0;
  lld_Print("Invalid label\n");
  PrintUsage("if", kIfUsage);
  return -1;
}

LLD_DEFINE_COMMAND(disp) {
  lld_Print("%s\n", Arg(argc, argv, 1));
  return 0;
}

LLD_DEFINE_COMMAND(edit_job) {
  State& s = S();
  uint32_t line = argc >= 1 ? HexArg(argc, argv, 1) : 0;
  if (line >= uint32_t(kJobLines)) {
    lld_Print("line number is 0-based and the maximum is %x\n", unsigned(kJobLines - 1));
    return -1;
  }
  const char kFull[] = "Job buffer is already full.  No more lines can be accepted.\n";
  for (;;) {
    if (line >= uint32_t(kJobLines)) {
      lld_Print(kFull);
      return 0;
    }
    lld_Print("Line%2x:>", unsigned(line));
    std::string text;
    // The end of the input ends the edit as an empty line does.
    if (!Host().ReadLine(&text) || text.empty()) return 0;
    if (line < s.jobCount) {
      if (s.jobCount >= uint32_t(kJobLines)) {
        lld_Print(kFull);
        return 0;
      }
      std::memmove(s.job[line + 1], s.job[line], (s.jobCount - line) * kJobLineSize);
      ++s.jobCount;
    } else {
      s.jobCount = line + 1;
    }
    size_t n = text.size() < kJobLineSize - 1 ? text.size() : kJobLineSize - 1;
    std::memcpy(s.job[line], text.data(), n);
    s.job[line][n] = '\0';
    ++line;
  }
}

LLD_DEFINE_COMMAND(list_job) {
  (void)argc;
  (void)argv;
  for (uint32_t i = 0; i < S().jobCount && !OutputFull(); ++i) lld_Print("%s\n", S().job[i]);
  return 0;
}

LLD_DEFINE_COMMAND(delete_line) {
  (void)argc;
  (void)argv;
  lld_Print("not implemented\n");
  return 0;
}

LLD_DEFINE_COMMAND(delete_job) {
  (void)argc;
  (void)argv;
  State& s = S();
  for (uint32_t i = 0; i < s.jobCount; ++i) s.job[i][0] = '\0';
  s.jobCount = 0;
  s.jobPointer = 0;
  return 0;
}

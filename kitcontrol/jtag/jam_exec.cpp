// Statement reader and executor of the STAPL player.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "jam_internal.h"

namespace lx {
namespace jam {
namespace {

enum Keyword {
  KW_NONE = 0, KW_ACTION, KW_BOOLEAN, KW_CALL, KW_CRC, KW_DATA, KW_DRSCAN, KW_DRSTOP,
  KW_ENDDATA, KW_ENDPROC, KW_EXIT, KW_EXPORT, KW_FOR, KW_FREQUENCY, KW_GOTO, KW_IF,
  KW_INTEGER, KW_IRSCAN, KW_IRSTOP, KW_LET, KW_NEXT, KW_NOTE, KW_PADDING, KW_POP, KW_POSTDR,
  KW_POSTIR, KW_PREDR, KW_PREIR, KW_PRINT, KW_PROCEDURE, KW_PUSH, KW_REM, KW_RETURN, KW_STATE,
  KW_TRST, KW_VECTOR, KW_VMAP, KW_WAIT,
};

enum Where { W_ANY, W_PROC, W_DECL, W_SPECIAL };

struct KeywordInfo {
  const char* name;
  int setsVersion;  // version a program without one yet becomes
  int badIn;        // version in which the statement is a syntax error
  Where where;
};

const KeywordInfo kKeywords[] = {
    {"", 0, 0, W_ANY},
    {"ACTION", 2, 1, W_SPECIAL},   {"BOOLEAN", 1, 0, W_DECL},   {"CALL", 1, 0, W_PROC},
    {"CRC", 0, 0, W_SPECIAL},      {"DATA", 2, 1, W_SPECIAL},   {"DRSCAN", 0, 0, W_PROC},
    {"DRSTOP", 0, 0, W_PROC},      {"ENDDATA", 2, 0, W_ANY},    {"ENDPROC", 2, 0, W_ANY},
    {"EXIT", 0, 0, W_PROC},        {"EXPORT", 0, 0, W_PROC},    {"FOR", 0, 0, W_PROC},
    {"FREQUENCY", 2, 1, W_PROC},   {"GOTO", 1, 0, W_PROC},      {"IF", 0, 0, W_PROC},
    {"INTEGER", 0, 0, W_DECL},     {"IRSCAN", 0, 0, W_PROC},    {"IRSTOP", 0, 0, W_PROC},
    {"LET", 1, 2, W_ANY},          {"NEXT", 0, 0, W_PROC},      {"NOTE", 0, 0, W_SPECIAL},
    {"PADDING", 1, 2, W_ANY},      {"POP", 0, 0, W_PROC},       {"POSTDR", 0, 0, W_PROC},
    {"POSTIR", 0, 0, W_PROC},      {"PREDR", 0, 0, W_PROC},     {"PREIR", 0, 0, W_PROC},
    {"PRINT", 0, 0, W_PROC},       {"PROCEDURE", 2, 1, W_SPECIAL}, {"PUSH", 0, 0, W_PROC},
    {"REM", 0, 0, W_ANY},          {"RETURN", 1, 2, W_ANY},     {"STATE", 0, 0, W_PROC},
    {"TRST", 2, 0, W_PROC},        {"VECTOR", 0, 0, W_PROC},    {"VMAP", 0, 0, W_PROC},
    {"WAIT", 0, 0, W_PROC},
};
constexpr int kKeywordCount = sizeof(kKeywords) / sizeof(kKeywords[0]) - 1;

Keyword FindKeyword(std::string_view text, size_t* len) {
  size_t n = 0;
  while (n < text.size() && std::isalpha(static_cast<unsigned char>(text[n]))) ++n;
  *len = n;
  if (n == 0 || n >= 10) return KW_NONE;
  for (int k = 1; k <= kKeywordCount; ++k)
    if (text.substr(0, n) == kKeywords[k].name) return static_cast<Keyword>(k);
  return KW_NONE;
}

// Splits "a, b, c;" at top-level commas; the trailing ";" is dropped. Returns false when the
// text does not end with ";".
bool SplitArgs(std::string_view body, std::vector<std::string_view>* out) {
  out->clear();
  body = Trim(body);
  if (body.empty() || body.back() != ';') return false;
  body.remove_suffix(1);
  int depth = 0;
  bool str = false;
  size_t b = 0;
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (str) {
      if (c == '"') str = false;
      continue;
    }
    if (c == '"') str = true;
    else if (c == '(' || c == '[') ++depth;
    else if (c == ')' || c == ']') --depth;
    else if (c == ',' && depth == 0) {
      out->push_back(Trim(body.substr(b, i - b)));
      b = i + 1;
    }
  }
  out->push_back(Trim(body.substr(b)));
  return true;
}

// Position of a whole word outside strings and brackets, or npos.
size_t FindWord(std::string_view text, std::string_view word, size_t from = 0) {
  bool str = false;
  int depth = 0;
  for (size_t i = from; i + word.size() <= text.size(); ++i) {
    char c = text[i];
    if (str) {
      if (c == '"') str = false;
      continue;
    }
    if (c == '"') { str = true; continue; }
    if (c == '(' || c == '[') ++depth;
    if (c == ')' || c == ']') --depth;
    if (depth == 0 && text.substr(i, word.size()) == word &&
        (i == 0 || !IsIdentChar(static_cast<unsigned char>(text[i - 1]))) &&
        (i + word.size() == text.size() ||
         !IsIdentChar(static_cast<unsigned char>(text[i + word.size()]))))
      return i;
  }
  return std::string_view::npos;
}

std::string_view LeadingName(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && IsIdentChar(static_cast<unsigned char>(text[n]))) ++n;
  return text.substr(0, n);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- reading

int Player::ReadStatement(int32_t& pos, std::string& text, std::string& label, int32_t& start,
                          size_t cap) {
  text.clear();
  label.clear();
  start = -1;
  bool str = false, comment = false, compressed = false, keepCase = false, hadLabel = false;
  auto append = [&](char c, int32_t at) {
    if (start < 0) start = at;
    if (text.size() < cap) text.push_back(c);
  };
  for (;;) {
    if (pos >= size_) return JAMC_UNEXPECTED_END;
    int32_t at = pos;
    int c = prog_[pos++];
    if (comment) {
      if (c != '\n' && c != '\r') continue;
      comment = false;
      c = ' ';
    }
    if (str) {
      append(static_cast<char>(c), at);
      if (c == '"') str = false;
      continue;
    }
    if (c == '\'') {
      comment = true;
      continue;
    }
    if (c == ';') {
      if (start < 0) start = at;
      text.push_back(';');
      return 0;
    }
    if (c == '"') {
      str = true;
      compressed = false;
      append('"', at);
      continue;
    }
    if (IsBlank(c)) c = ' ';
    if (c == ':') {
      if (hadLabel) return JAMC_SYNTAX_ERROR;
      hadLabel = true;
      label = std::string(Trim(text));
      if (label.size() > static_cast<size_t>(kMaxName)) return JAMC_ILLEGAL_SYMBOL;
      text.clear();
      start = -1;
      compressed = keepCase = false;
      continue;
    }
    if (c == ' ' && (text.empty() || text.back() == ' ')) continue;
    if (compressed && !(IsIdentChar(c) || c == ' ' || c == '@')) compressed = false;
    else if (!compressed && c == '@') compressed = true;
    if (!compressed && !keepCase) c = std::toupper(c);
    append(static_cast<char>(c), at);
    if (c == ']' && text.compare(0, 7, "BOOLEAN") == 0) keepCase = true;
  }
}

int Player::MeasureStatements(size_t* longest) {
  *longest = 0;
  int32_t pos = 0;
  std::string text, label;
  for (;;) {
    int32_t start;
    int32_t before = pos;
    int rc = ReadStatement(pos, text, label, start, SIZE_MAX);
    if (rc == JAMC_UNEXPECTED_END && start < 0 && label.empty()) return 0;  // trailing blanks
    if (rc) {
      errorPos_ = start >= 0 ? start : before;
      return rc;
    }
    *longest = std::max(*longest, text.size());
  }
}

int32_t Player::LineOf(int32_t position) const {
  int32_t line = 1;
  for (int32_t i = 0; i < position && i < size_; ++i)
    if (prog_[i] == '\n') ++line;
  return line;
}

// ---------------------------------------------------------------- run loop

JamRunResult Player::Run(const std::string& action, const std::vector<std::string>& initList,
                         bool resetAtEnd) {
  JamRunResult res;
  errorPos_ = -1;
  buckets_.assign(kBuckets, nullptr);
  action_ = action;
  initList_ = initList;
  size_t longest = 0;
  int rc = MeasureStatements(&longest);
  if (!rc) {
    // Sized for the longest statement of any kind, so no statement is ever cut short.
    bufSize_ = longest + 1024;
    host_.ExportInteger("JAM_STATEMENT_BUFFER_SIZE", static_cast<int32_t>(std::min<size_t>(bufSize_, INT32_MAX)));
    readPos_ = 0;
    rc = RunLoop(0, false);
  }
  res.error = rc;
  if (rc) res.line = LineOf(errorPos_ >= 0 ? errorPos_ : readPos_);
  res.exitCode = exitCode_;
  res.version = version_;
  res.chainKnown = state_ >= 0;
  if (resetAtEnd && state_ >= 0) JtagReset();
  return res;
}

int Player::RunLoop(int stopDepth, bool nested) {
  std::string text, label;
  for (;;) {
    if (done_) return 0;
    if (nested && depth_ <= stopDepth) return 0;
    int32_t start;
    int rc = ReadStatement(readPos_, text, label, start, bufSize_);
    if (rc) {
      if (errorPos_ < 0) errorPos_ = start >= 0 ? start : readPos_;
      return rc;
    }
    stmtStart_ = start;
    continuePos_ = readPos_;
    if (!rc && !label.empty()) rc = Define(SK_LABEL, label, 0, start, nullptr);
    if (!rc) rc = Step();
    if (!rc) rc = ExecuteStatement(text, start);
    if (rc) {
      if (errorPos_ < 0) errorPos_ = start;
      return rc;
    }
  }
}

int Player::ExecuteStatement(std::string_view stmt, int32_t stmtStart) {
  // IF runs its THEN part as the next statement; chains of IF are followed in this loop rather
  // than by recursion, so that a long chain cannot exhaust the stack.
  for (;;) {
    size_t kwLen;
    Keyword kw = FindKeyword(stmt, &kwLen);
    if (kw != KW_IF) break;
    if (version_ == 2 && phase_ != PH_PROCEDURE) return JAMC_PHASE_ERROR;
    std::string_view args = stmt.substr(kwLen);
    size_t then = FindWord(args, "THEN");
    if (then == std::string_view::npos) return JAMC_SYNTAX_ERROR;
    int32_t cond;
    if (int rc = EvalBool(args.substr(0, then), &cond)) return rc;
    if (!cond) return 0;
    stmt = Trim(args.substr(then + 4));
  }
  size_t kwLen;
  Keyword kw = FindKeyword(stmt, &kwLen);
  const KeywordInfo& info = kKeywords[kw];
  std::string_view args = stmt.substr(kw == KW_NONE ? 0 : kwLen);
  if (kw != KW_NONE) {
    if (version_ == 0 && info.setsVersion) version_ = info.setsVersion;
    if (info.badIn && version_ == info.badIn) return JAMC_SYNTAX_ERROR;
    if (version_ == 2) {
      if (info.where == W_PROC && phase_ != PH_PROCEDURE) return JAMC_PHASE_ERROR;
      if (info.where == W_DECL && phase_ != PH_PROCEDURE && phase_ != PH_DATA)
        return JAMC_PHASE_ERROR;
    }
  }
  switch (kw) {
    case KW_NONE:
      if (version_ != 2) return JAMC_SYNTAX_ERROR;
      if (phase_ != PH_PROCEDURE) return JAMC_PHASE_ERROR;
      return DoAssign(stmt);
    case KW_ACTION: return DoAction(args, stmtStart);
    case KW_BOOLEAN: return DoDeclare(true, args, stmtStart);
    case KW_INTEGER: return DoDeclare(false, args, stmtStart);
    case KW_CALL: return DoCall(args);
    case KW_CRC: return JAMC_PHASE_ERROR;
    case KW_DATA: return DoData(args, stmtStart);
    case KW_PROCEDURE: return DoProcedure(args, stmtStart);
    case KW_DRSCAN: return DoScan(false, args);
    case KW_IRSCAN: return DoScan(true, args);
    case KW_DRSTOP: return DoStop(false, args);
    case KW_IRSTOP: return DoStop(true, args);
    case KW_ENDDATA: case KW_ENDPROC: case KW_RETURN: return DoEnd(args);
    case KW_EXIT: return DoExit(args);
    case KW_EXPORT: return DoExport(args);
    case KW_FOR: return DoFor(args);
    case KW_NEXT: return DoNext(args);
    case KW_FREQUENCY: return DoFrequency(args);
    case KW_GOTO: return DoGoto(args);
    case KW_IF: return JAMC_INTERNAL_ERROR;  // followed above
    case KW_LET: return DoAssign(args);
    case KW_NOTE:
      if (version_ == 2) {
        if (phase_ == PH_START) phase_ = PH_NOTES;
        else if (phase_ != PH_NOTES) return JAMC_PHASE_ERROR;
      }
      return 0;
    case KW_PADDING: return DoPadding(args);
    case KW_POSTDR: return DoPrePost(PAD_POSTDR, args);
    case KW_POSTIR: return DoPrePost(PAD_POSTIR, args);
    case KW_PREDR: return DoPrePost(PAD_PREDR, args);
    case KW_PREIR: return DoPrePost(PAD_PREIR, args);
    case KW_PRINT: return DoPrint(args);
    case KW_PUSH: return DoPush(args);
    case KW_POP: return DoPop(args);
    case KW_REM: return 0;
    case KW_STATE: return DoState(args);
    case KW_TRST: case KW_WAIT: return DoWait(args);
    case KW_VECTOR: return DoVector(args);
    case KW_VMAP: return DoVmap(args);
  }
  return JAMC_INTERNAL_ERROR;
}

// ---------------------------------------------------------------- blocks and calls

int Player::ForwardSearch(std::string_view name, bool label) {
  int32_t pos = readPos_;
  std::string text, lbl;
  // A label belongs to the block whose text holds it, whichever block is running while the
  // search passes it.
  Symbol* textBlock = block_;
  for (;;) {
    int32_t start;
    if (ReadStatement(pos, text, lbl, start, bufSize_)) return JAMC_UNDEFINED_SYMBOL;
    if (!lbl.empty() && Define(SK_LABEL, lbl, 0, start, nullptr, textBlock))
      return JAMC_UNDEFINED_SYMBOL;
    size_t kwLen;
    Keyword kw = FindKeyword(text, &kwLen);
    if (kw == KW_ENDPROC || kw == KW_ENDDATA) textBlock = nullptr;
    if (kw == KW_DATA || kw == KW_PROCEDURE) {
      std::string_view rest = Trim(std::string_view(text).substr(kwLen));
      std::string_view nm = LeadingName(rest);
      Symbol* s;
      if (Define(kw == KW_DATA ? SK_DATA : SK_PROC, nm, 0, start, &s)) return JAMC_UNDEFINED_SYMBOL;
      textBlock = s;
      if (kw == KW_PROCEDURE && !s->heap) {
        std::string_view tail = Trim(rest.substr(nm.size()));
        if (tail.substr(0, 5) == "USES ") {
          tail = Trim(tail.substr(5));
          if (!tail.empty() && tail.back() == ';') tail.remove_suffix(1);
          if (AllocText(s, tail)) return JAMC_UNDEFINED_SYMBOL;
        }
      }
    }
    if (FindRaw(name)) return 0;
    if (label && version_ == 2 && kw == KW_ENDPROC) return JAMC_UNDEFINED_SYMBOL;
  }
}

int Player::ResolveBlock(std::string_view name, bool label, Symbol** out) {
  int rc = Lookup(name, out);
  if (rc == JAMC_UNDEFINED_SYMBOL) {
    if ((rc = ForwardSearch(name, label))) return rc;
    rc = Lookup(name, out);
  }
  return rc;
}

// Runs a procedure or data block: a return entry, then its statements in its phase until the
// ENDPROC / ENDDATA that pops that entry; the caller's phase and block come back afterwards.
int Player::RunBlock(Symbol* block, Phase phase, int32_t returnPos) {
  Phase savedPhase = phase_;
  Symbol* savedBlock = block_;
  if (int rc = PushReturn(returnPos)) return rc;
  int stop = depth_ - 1;
  readPos_ = block->position;
  phase_ = phase;
  block_ = block;
  int rc = RunLoop(stop, true);
  phase_ = savedPhase;
  block_ = savedBlock;
  return rc;
}

int Player::RunDataBlock(Symbol* block) {
  block->value = 1;  // initialized: never runs again in this run
  return RunBlock(block, PH_DATA, readPos_);
}

int Player::CallProcedure(Symbol* proc, int32_t returnPos) {
  if (proc->heap) {
    std::string uses = proc->heap->text;
    size_t i = 0;
    while (i <= uses.size()) {
      size_t comma = uses.find(',', i);
      if (comma == std::string::npos) comma = uses.size();
      std::string_view nm = Trim(std::string_view(uses).substr(i, comma - i));
      i = comma + 1;
      if (nm.empty()) return JAMC_SYNTAX_ERROR;
      Symbol* s;
      resolvingUses_ = true;
      int rc = ResolveBlock(nm, false, &s);
      resolvingUses_ = false;
      if (rc) return rc;
      if (s->kind != SK_PROC && s->kind != SK_DATA) return JAMC_SYNTAX_ERROR;
      if (s->kind == SK_DATA && !s->value)
        if ((rc = RunDataBlock(s))) return rc;
    }
  }
  return RunBlock(proc, PH_PROCEDURE, returnPos);
}

int Player::DoAction(std::string_view args, int32_t /*start*/) {
  if (phase_ != PH_START && phase_ != PH_NOTES && phase_ != PH_ACTIONS) return JAMC_PHASE_ERROR;
  phase_ = PH_ACTIONS;
  if (action_.empty()) return JAMC_ACTION_NOT_FOUND;
  args = Trim(args);
  std::string_view name = LeadingName(args);
  if (name.empty()) return JAMC_SYNTAX_ERROR;
  std::string_view rest = Trim(args.substr(name.size()));
  if (!rest.empty() && rest[0] == '"') {
    size_t q = rest.find('"', 1);
    if (q == std::string_view::npos) return JAMC_SYNTAX_ERROR;
    rest = Trim(rest.substr(q + 1));
  }
  if (rest.empty() || rest[0] != '=') return JAMC_SYNTAX_ERROR;
  std::vector<std::string_view> items;
  if (!SplitArgs(rest.substr(1), &items)) return JAMC_SYNTAX_ERROR;
  if (!EqualNoCase(name, action_)) return 0;
  phase_ = PH_PROCEDURE;
  int32_t returnPos = continuePos_;
  for (std::string_view item : items) {
    std::string_view proc = LeadingName(item);
    std::string_view qual = Trim(item.substr(proc.size()));
    if (proc.empty()) return JAMC_SYNTAX_ERROR;
    bool run = true;
    int32_t v;
    if (qual == "OPTIONAL")
      run = InitValue(proc, &v) && v != 0;
    else if (qual == "RECOMMENDED")
      run = !(InitValue(proc, &v) && v == 0);
    else if (!qual.empty())
      return JAMC_SYNTAX_ERROR;
    if (!run) continue;
    Symbol* s;
    if (int rc = ResolveBlock(proc, false, &s)) return rc;
    if (s->kind != SK_PROC) return JAMC_SYNTAX_ERROR;
    if (int rc = CallProcedure(s, returnPos)) return rc;
    if (done_) break;
  }
  done_ = true;
  return 0;
}

int Player::DoData(std::string_view args, int32_t start) {
  if (version_ == 2) {
    if (phase_ == PH_ACTIONS) return JAMC_ACTION_NOT_FOUND;
    if (phase_ != PH_PROCEDURE && phase_ != PH_DATA) return JAMC_PHASE_ERROR;
  }
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  if (LeadingName(a[0]).size() != a[0].size()) return JAMC_SYNTAX_ERROR;
  return Define(SK_DATA, a[0], 0, start, nullptr);
}

int Player::DoProcedure(std::string_view args, int32_t start) {
  if (version_ == 2) {
    if (phase_ == PH_ACTIONS) return JAMC_ACTION_NOT_FOUND;
    if (phase_ != PH_PROCEDURE) return JAMC_PHASE_ERROR;
  }
  args = Trim(args);
  std::string_view name = LeadingName(args);
  std::string_view rest = Trim(args.substr(name.size()));
  std::string_view uses;
  if (rest.substr(0, 5) == "USES ") {
    uses = Trim(rest.substr(5));
    if (uses.empty() || uses.back() != ';') return JAMC_SYNTAX_ERROR;
    uses = Trim(uses.substr(0, uses.size() - 1));
    if (uses.empty()) return JAMC_SYNTAX_ERROR;
  } else if (rest != ";") {
    return JAMC_SYNTAX_ERROR;
  }
  Symbol* s;
  if (int rc = Define(SK_PROC, name, 0, start, &s)) return rc;
  if (!uses.empty() && !s->heap) return AllocText(s, uses);
  return 0;
}

// "name;" with only blanks around the name.
static bool SingleName(std::string_view args, std::string_view* name) {
  args = Trim(args);
  if (args.empty() || args.back() != ';') return false;
  *name = Trim(args.substr(0, args.size() - 1));
  return !name->empty() && LeadingName(*name).size() == name->size();
}

int Player::JumpToLabel(std::string_view name, bool pushReturn) {
  Symbol* s;
  if (int rc = ResolveBlock(name, true, &s)) return rc;
  if (s->kind != SK_LABEL) return JAMC_SYNTAX_ERROR;
  if (pushReturn)
    if (int rc = PushReturn(continuePos_)) return rc;
  readPos_ = s->position;
  return 0;
}

int Player::DoCall(std::string_view args) {
  std::string_view name;
  if (!SingleName(args, &name)) return JAMC_SYNTAX_ERROR;
  if (version_ != 2) return JumpToLabel(name, true);
  if (!block_ || !(EqualNoCase(block_->name, name) || UsesListContains(block_, name)))
    return JAMC_SCOPE_ERROR;
  Symbol* s;
  if (int rc = ResolveBlock(name, false, &s)) return rc;
  if (s->kind != SK_PROC) return JAMC_SYNTAX_ERROR;
  return CallProcedure(s, continuePos_);
}

int Player::DoGoto(std::string_view args) {
  std::string_view name;
  if (!SingleName(args, &name)) return JAMC_SYNTAX_ERROR;
  return JumpToLabel(name, false);
}

int Player::DoEnd(std::string_view args) {
  if (Trim(args) != ";") return JAMC_SYNTAX_ERROR;
  StackEntry* top = Top();
  if (!top || top->kind != SE_RETURN) return JAMC_RETURN_UNEXPECTED;
  readPos_ = top->position;
  return Pop();
}

int Player::DoExit(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  int32_t v;
  if (int rc = EvalInt(a[0], &v)) return rc;
  if (v < -32767 || v > 32767) return JAMC_INTEGER_OVERFLOW;
  exitCode_ = v;
  done_ = true;
  return 0;
}

int Player::DoExport(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 2) return JAMC_SYNTAX_ERROR;
  if (a[0].size() < 2 || a[0].front() != '"' || a[0].back() != '"') return JAMC_SYNTAX_ERROR;
  std::string key(a[0].substr(1, a[0].size() - 2));
  // A range or a whole Boolean array goes out as its bits, read as INTEGER() reads them: the
  // index written last is bit 0, packed eight to a byte (A[15..0] gives A[0] as bit 0).
  std::string_view name = LeadingName(a[1]);
  std::string_view rest = Trim(a[1].substr(name.size()));
  if (!name.empty() && rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') {
    std::string_view inner = rest.substr(1, rest.size() - 2);
    if (inner.find("..") != std::string_view::npos || Trim(inner).empty()) {
      BoolArg bits;
      if (int rc = BoolArgument(a[1], &bits)) return rc;
      int32_t step = bits.end >= bits.start ? 1 : -1;
      int32_t n = (bits.end - bits.start) * step + 1;
      std::vector<uint8_t> packed((static_cast<size_t>(n) + 7) / 8, 0);
      for (int32_t i = 0; i < n; ++i)
        if (bits.Bit(bits.start + i * step))
          packed[static_cast<size_t>(i) / 8] |= static_cast<uint8_t>(1u << (i % 8));
      host_.ExportBooleanArray(key.c_str(), packed.data(), n);
      return 0;
    }
  }
  ExprResult r;
  if (int rc = Evaluate(a[1], &r)) return rc;
  host_.ExportInteger(key.c_str(), r.value);
  return 0;
}

// ---------------------------------------------------------------- declarations, assignment

int Player::DoDeclare(bool isBool, std::string_view args, int32_t start) {
  args = Trim(args);
  std::string_view name = LeadingName(args);
  std::string_view rest = Trim(args.substr(name.size()));
  bool isArray = false;
  int32_t size = 0;
  if (!rest.empty() && rest[0] == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) return JAMC_SYNTAX_ERROR;
    if (int rc = EvalInt(rest.substr(1, close - 1), &size)) return rc;
    if (size < 0) return JAMC_BOUNDS_ERROR;
    isArray = true;
    rest = Trim(rest.substr(close + 1));
  }
  std::string_view init;
  if (!rest.empty() && rest[0] == '=') {
    init = Trim(rest.substr(1));
    if (init.empty() || init.back() != ';') return JAMC_SYNTAX_ERROR;
    init = Trim(init.substr(0, init.size() - 1));
    if (init.empty()) return JAMC_SYNTAX_ERROR;
  } else if (rest != ";") {
    return JAMC_SYNTAX_ERROR;
  }
  if (!isArray) {
    int32_t v = 0;
    if (!init.empty()) {
      int rc = isBool ? EvalBool(init, &v) : EvalInt(init, &v);
      if (rc) return rc;
    }
    return Define(isBool ? SK_BOOL : SK_INT, name, v, start, nullptr);
  }
  Symbol* s;
  if (int rc = Define(isBool ? SK_BOOL_ARRAY : SK_INT_ARRAY, name, 0, start, &s)) return rc;
  if (!s->heap || s->heap->count != size) {
    if (int rc = AllocHeap(s, size, nullptr)) return rc;
  }
  HeapRec* h = s->heap;
  if (init.empty()) return 0;
  if (!isBool) {
    std::string tmp(init);
    tmp.push_back(';');
    std::vector<std::string_view> vals;
    SplitArgs(tmp, &vals);
    if (static_cast<int64_t>(vals.size()) > size) return JAMC_BOUNDS_ERROR;
    // STAPL lists the highest element first: the last value written is element 0, as the
    // last digit of Boolean data is. Version-1 programs keep the order as written.
    size_t n = vals.size();
    for (size_t i = 0; i < n; ++i)
      if (int rc = EvalInt(vals[i], &h->ints[version_ == 2 ? n - 1 - i : i])) return rc;
    return 0;
  }
  // Boolean initial data.
  std::vector<uint32_t> bits;
  int32_t count = 0;
  int rc;
  char c = init[0];
  if (version_ == 2 && (c == '#' || c == '$' || c == '@')) {
    rc = LiteralBits(c, init.substr(1), &bits, &count);
  } else if (version_ != 2 && init.size() > 3 && EqualNoCase(init.substr(0, 3), "HEX")) {
    rc = LiteralBits('$', init.substr(3), &bits, &count);
  } else if (version_ != 2 && init.size() > 3 && EqualNoCase(init.substr(0, 3), "BIN")) {
    rc = LiteralBits('#', init.substr(3), &bits, &count);
  } else if (version_ != 2 && init.size() > 3 && EqualNoCase(init.substr(0, 3), "ACA")) {
    rc = LiteralBits('@', init.substr(3), &bits, &count);
  } else if (version_ != 2 && std::isdigit(static_cast<unsigned char>(c))) {
    std::string tmp(init);
    tmp.push_back(';');
    std::vector<std::string_view> vals;
    SplitArgs(tmp, &vals);
    count = static_cast<int32_t>(vals.size());
    if (count > size) return JAMC_BOUNDS_ERROR;
    bits.assign((vals.size() + 31) / 32, 0u);
    for (size_t i = 0; i < vals.size(); ++i) {
      int32_t v;
      if ((rc = EvalInt(vals[i], &v))) return rc;
      if (v) bits[i / 32] |= 1u << (i % 32);
    }
    rc = 0;
  } else {
    return JAMC_SYNTAX_ERROR;
  }
  if (rc) return rc;
  // Data that does not fit the array is refused rather than cut: only the last digit or byte
  // may reach past the end. Makers' tools leave that digit's spare bits set ($FF for five
  // elements), so bits beyond the array are dropped.
  int32_t slack = c == '$' || EqualNoCase(init.substr(0, 3), "HEX") ? 3 : (c == '@' || EqualNoCase(init.substr(0, 3), "ACA")) ? 7 : 0;
  if (count > size + slack) return JAMC_BOUNDS_ERROR;
  for (int32_t i = 0; i < count && i < size; ++i)
    h->SetBit(i, (bits[static_cast<size_t>(i) >> 5] >> (i & 31)) & 1u);
  s->kind = SK_BOOL_ARRAY_CONST;
  return 0;
}

int Player::AssignTarget(std::string_view target, bool allowRange, int32_t rawValue,
                         ValueType rawType, std::string_view valueText, bool fromPop) {
  target = Trim(target);
  std::string_view name = LeadingName(target);
  std::string_view rest = Trim(target.substr(name.size()));
  Symbol* s;
  if (int rc = Lookup(name, &s)) return rc;
  auto value = [&](bool wantBool, int32_t* out) -> int {
    if (fromPop) {
      if (wantBool ? rawType == T_INT : rawType == T_BOOL) return JAMC_TYPE_MISMATCH;
      *out = wantBool ? (rawValue != 0) : rawValue;
      return 0;
    }
    return wantBool ? EvalBool(valueText, out) : EvalInt(valueText, out);
  };
  if (rest.empty()) {
    if (s->kind == SK_INT) return value(false, &s->value);
    if (s->kind == SK_BOOL) return value(true, &s->value);
    return JAMC_TYPE_MISMATCH;
  }
  if (rest[0] != '[' || rest.back() != ']') return JAMC_SYNTAX_ERROR;
  std::string_view inner = rest.substr(1, rest.size() - 2);
  bool isRange = inner.find("..") != std::string_view::npos || Trim(inner).empty();
  if (isRange) {
    if (!allowRange) return JAMC_SYNTAX_ERROR;
    // A range may be written in an array declared with initial data, as a capture may; only
    // the single-element form below is refused for it.
    if (s->kind != SK_BOOL_ARRAY && s->kind != SK_BOOL_ARRAY_CONST) return JAMC_SYNTAX_ERROR;
    if (!s->heap) return JAMC_INTERNAL_ERROR;
    int32_t ts, te;
    if (int rc = ParseRange(inner, s, &ts, &te)) return rc;
    BoolArg src;
    if (int rc = BoolArgument(valueText, &src)) return rc;
    int32_t n = std::min(te - ts + 1, src.Length());
    if (n <= 0 || src.start < 0 || src.start + n > src.count) return JAMC_BOUNDS_ERROR;
    std::vector<uint8_t> tmp(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) tmp[static_cast<size_t>(i)] = src.Bit(src.start + i);
    for (int32_t i = 0; i < n; ++i) s->heap->SetBit(ts + i, tmp[static_cast<size_t>(i)]);
    return 0;
  }
  if (s->kind == SK_BOOL_ARRAY_CONST) return JAMC_ASSIGN_TO_CONST;
  if (s->kind != SK_INT_ARRAY && s->kind != SK_BOOL_ARRAY) return JAMC_TYPE_MISMATCH;
  if (!s->heap) return JAMC_INTERNAL_ERROR;
  int32_t idx;
  if (int rc = EvalInt(inner, &idx)) return rc;
  if (idx < 0 || idx >= s->heap->count) return JAMC_BOUNDS_ERROR;
  int32_t v;
  if (s->kind == SK_INT_ARRAY) {
    if (int rc = value(false, &v)) return rc;
    s->heap->ints[static_cast<size_t>(idx)] = v;
  } else {
    if (int rc = value(true, &v)) return rc;
    s->heap->SetBit(idx, v != 0);
  }
  return 0;
}

int Player::DoAssign(std::string_view args) {
  args = Trim(args);
  size_t eq = std::string_view::npos;
  int depth = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == '[') ++depth;
    if (args[i] == ']') --depth;
    if (args[i] == '=' && depth == 0) {
      eq = i;
      break;
    }
  }
  if (eq == std::string_view::npos) return JAMC_SYNTAX_ERROR;
  std::string_view target = Trim(args.substr(0, eq));
  std::string_view value = Trim(args.substr(eq + 1));
  if (value.empty() || value.back() != ';') return JAMC_SYNTAX_ERROR;
  value = Trim(value.substr(0, value.size() - 1));
  std::string_view name = LeadingName(target);
  if (name.empty() || name.size() > static_cast<size_t>(kMaxName)) return JAMC_SYNTAX_ERROR;
  return AssignTarget(target, true, 0, T_INT, value, false);
}

// ---------------------------------------------------------------- loops and stack

int Player::DoFor(std::string_view args) {
  args = Trim(args);
  if (args.empty() || args.back() != ';') return JAMC_SYNTAX_ERROR;
  args = Trim(args.substr(0, args.size() - 1));
  size_t eq = args.find('=');
  size_t to = FindWord(args, "TO");
  if (eq == std::string_view::npos || to == std::string_view::npos || to < eq)
    return JAMC_SYNTAX_ERROR;
  size_t step = FindWord(args, "STEP", to);
  std::string_view var = Trim(args.substr(0, eq));
  Symbol* s;
  if (int rc = Lookup(var, &s)) return rc;
  if (s->kind != SK_INT) return JAMC_TYPE_MISMATCH;
  int32_t first, last, inc = 1;
  if (int rc = EvalInt(args.substr(eq + 1, to - eq - 1), &first)) return rc;
  size_t endLen = (step == std::string_view::npos ? args.size() : step) - (to + 2);
  if (int rc = EvalInt(args.substr(to + 2, endLen), &last)) return rc;
  if (step != std::string_view::npos) {
    if (int rc = EvalInt(args.substr(step + 4), &inc)) return rc;
    if (inc == 0) return JAMC_SYNTAX_ERROR;
  }
  s->value = first;
  return PushLoop(s, continuePos_, last, inc);
}

int Player::DoNext(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  Symbol* s;
  if (int rc = Lookup(a[0], &s)) return rc;
  if (s->kind != SK_INT) return JAMC_TYPE_MISMATCH;
  StackEntry* top = Top();
  if (!top || top->kind != SE_LOOP || top->iterator != s) return JAMC_NEXT_UNEXPECTED;
  if ((top->step > 0 && s->value >= top->end) || (top->step < 0 && s->value <= top->end))
    return Pop();
  int64_t next = static_cast<int64_t>(s->value) + top->step;
  if (next > INT32_MAX || next < INT32_MIN) return JAMC_INTEGER_OVERFLOW;
  s->value = static_cast<int32_t>(next);
  if (top->position < 0 || top->position > size_) return JAMC_IO_ERROR;
  readPos_ = top->position;
  return 0;
}

int Player::DoPush(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  ExprResult r;
  if (int rc = Evaluate(a[0], &r)) return rc;
  return PushValue(r.value);
}

int Player::DoPop(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  StackEntry* top = Top();
  if (!top || top->kind != SE_VALUE) return JAMC_POP_UNEXPECTED;
  int32_t v = top->value;
  ValueType t = (v == 0 || v == 1) ? T_INTBOOL : T_INT;
  if (int rc = AssignTarget(a[0], false, v, t, {}, true)) return rc;
  return Pop();
}

// ---------------------------------------------------------------- JTAG statements

int Player::DoFrequency(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  int32_t hz = -1;
  if (!a[0].empty())
    if (int rc = EvalInt(a[0], &hz)) return rc;
  return host_.SetFrequency(hz) ? JAMC_BOUNDS_ERROR : 0;
}

int Player::DoPadding(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 4) return JAMC_SYNTAX_ERROR;
  int32_t v[4];
  for (int i = 0; i < 4; ++i) {
    if (int rc = EvalInt(a[static_cast<size_t>(i)], &v[i])) return rc;
    if (v[i] < 0 || v[i] > kMaxPadding) return JAMC_SYNTAX_ERROR;
  }
  const int order[4] = {PAD_PREDR, PAD_POSTDR, PAD_PREIR, PAD_POSTIR};
  for (int i = 0; i < 4; ++i)
    if (int rc = SetPadding(order[i], v[i], nullptr)) return rc;
  return 0;
}

int Player::DoPrePost(int which, std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.empty() || a.size() > 2) return JAMC_SYNTAX_ERROR;
  int32_t count;
  if (int rc = EvalInt(a[0], &count)) return rc;
  if (count < 0 || count > kMaxPadding) return JAMC_SYNTAX_ERROR;
  if (a.size() == 1) return SetPadding(which, count, nullptr);
  BoolArg data;
  if (int rc = BoolArgument(a[1], &data)) return rc;
  return SetPadding(which, count, &data);
}

int Player::DoPrint(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a)) return JAMC_SYNTAX_ERROR;
  std::string line;
  for (std::string_view item : a) {
    if (item.empty()) return JAMC_SYNTAX_ERROR;
    if (item[0] == '"') {
      if (item.size() < 2 || item.back() != '"' || item.substr(1, item.size() - 2).find('"') != std::string_view::npos)
        return JAMC_SYNTAX_ERROR;
      line.append(item.substr(1, item.size() - 2));
    } else if (item.substr(0, 5) == "CHR$(") {
      if (item.back() != ')') return JAMC_SYNTAX_ERROR;
      int32_t v;
      if (int rc = EvalInt(item.substr(5, item.size() - 6), &v)) return rc;
      line.push_back(static_cast<char>(v < 0 || v > 127 ? 127 : v));
    } else {
      ExprResult r;
      if (int rc = Evaluate(item, &r)) return rc;
      line.append(std::to_string(r.value));
    }
  }
  host_.Message(line.c_str());
  return 0;
}

int Player::ShiftAndCapture(const std::vector<std::string_view>& a, size_t tail, int32_t length,
                            const ShiftFn& shift) {
  if (a.size() == tail) return shift(nullptr);
  // A scan may both capture and compare (makers' programs read the IDCODE into an array and
  // check it in one scan): every part is checked before anything is shifted.
  BoolArg target, expected, mask;
  Symbol* result = nullptr;
  bool capture = false, compare = false;
  for (size_t i = tail; i < a.size();) {
    std::string_view word = a[i];
    if (!capture && word.substr(0, 8) == "CAPTURE ") {
      std::string_view tt = Trim(word.substr(8));
      if (tt.empty() || tt[0] == '#' || tt[0] == '$' || tt[0] == '@') return JAMC_SYNTAX_ERROR;
      if (int rc = BoolArgument(tt, &target)) return rc;
      if (!target.sym) return JAMC_SYNTAX_ERROR;
      // An array declared with initial data takes captured bits like any other: programs
      // preset their capture arrays that way. Only assigning to one of its elements is refused.
      if (static_cast<int64_t>(target.start) + length != static_cast<int64_t>(target.end) + 1)
        return JAMC_BOUNDS_ERROR;
      capture = true;
      i += 1;
    } else if (!compare && word.substr(0, 8) == "COMPARE " && a.size() >= i + 3) {
      if (int rc = BoolArgument(word.substr(8), &expected)) return rc;
      if (int rc = BoolArgument(a[i + 1], &mask)) return rc;
      for (BoolArg* b : {&expected, &mask}) {
        if (!b->sym && b->count >= length) b->end = length - 1;  // literals are cut to length
        if (static_cast<int64_t>(b->start) + length != static_cast<int64_t>(b->end) + 1)
          return JAMC_BOUNDS_ERROR;
      }
      if (int rc = Lookup(a[i + 2], &result)) return rc;
      if (result->kind != SK_BOOL) return JAMC_TYPE_MISMATCH;
      if (int rc = ChargeHeap(static_cast<size_t>(length) / 8 + 4)) return rc;
      heapBytes_ -= static_cast<size_t>(length) / 8 + 4;
      compare = true;
      i += 3;
    } else {
      return JAMC_SYNTAX_ERROR;
    }
  }
  std::vector<uint8_t> cap;
  if (int rc = shift(&cap)) return rc;
  // The comparison judges the expected data as it was before this scan's capture landed.
  if (compare) {
    bool ok = true;
    for (int32_t i = 0; i < length; ++i) {
      bool m = mask.Bit(mask.start + i);
      if (m && (cap[static_cast<size_t>(i)] != 0) != expected.Bit(expected.start + i)) ok = false;
    }
    result->value = ok ? 1 : 0;
  }
  if (capture)
    for (int32_t i = 0; i < length; ++i)
      target.sym->heap->SetBit(target.start + i, cap[static_cast<size_t>(i)]);
  return 0;
}

int Player::DoScan(bool ir, std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() < 2) return JAMC_SYNTAX_ERROR;
  int32_t length;
  if (int rc = EvalInt(a[0], &length)) return rc;
  if (length < 0) return JAMC_BOUNDS_ERROR;
  BoolArg data;
  if (int rc = BoolArgument(a[1], &data)) return rc;
  if (data.start < 0 || static_cast<int64_t>(data.start) + length > data.count) return JAMC_BOUNDS_ERROR;
  return ShiftAndCapture(a, 2, length, [&](std::vector<uint8_t>* cap) {
    return JtagScan(ir, length, data, cap);
  });
}

int Player::DoStop(bool ir, std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() != 1) return JAMC_SYNTAX_ERROR;
  int st = StateFromName(a[0]);
  if (st < 0) return JAMC_SYNTAX_ERROR;
  (ir ? irStop_ : drStop_) = st;
  return 0;
}

int Player::DoState(std::string_view args) {
  args = Trim(args);
  if (args.empty() || args.back() != ';') return JAMC_SYNTAX_ERROR;
  args.remove_suffix(1);
  std::vector<int> states;
  size_t i = 0;
  while (i < args.size()) {
    while (i < args.size() && (args[i] == ' ' || args[i] == ',')) ++i;
    size_t b = i;
    while (i < args.size() && args[i] != ' ' && args[i] != ',') ++i;
    if (i == b) break;
    int st = StateFromName(args.substr(b, i - b));
    if (st < 0) return JAMC_SYNTAX_ERROR;
    states.push_back(st);
  }
  if (states.empty()) return JAMC_SYNTAX_ERROR;
  for (int st : states)
    if (int rc = JtagMove(st)) return rc;
  return 0;
}

int Player::DoWait(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a)) return JAMC_SYNTAX_ERROR;
  struct TimeItem { bool cycles; std::string_view expr; };
  std::vector<TimeItem> times;
  int waitState = -1, endState = -1;
  for (std::string_view item : a) {
    int st = StateFromName(item);
    if (st >= 0) {
      if (times.empty() && waitState < 0) waitState = st;
      else if (!times.empty() && endState < 0) endState = st;
      else return JAMC_SYNTAX_ERROR;
      continue;
    }
    if (endState >= 0) return JAMC_SYNTAX_ERROR;
    size_t sp = item.rfind(' ');
    if (sp == std::string_view::npos) return JAMC_SYNTAX_ERROR;
    std::string_view unit = item.substr(sp + 1);
    if (unit == "CYCLES") times.push_back({true, item.substr(0, sp)});
    else if (unit == "USEC") times.push_back({false, item.substr(0, sp)});
    else return JAMC_SYNTAX_ERROR;
  }
  if (times.empty()) return JAMC_SYNTAX_ERROR;
  if (waitState < 0) waitState = JS_IDLE;
  for (const TimeItem& t : times) {
    int32_t n;
    if (int rc = EvalInt(t.expr, &n)) return rc;
    if (int rc = t.cycles ? JtagWaitCycles(waitState, n) : JtagWaitUsec(waitState, n)) return rc;
  }
  if (endState >= 0 && endState != JS_IDLE) return JtagMove(endState);
  return 0;
}

int Player::DoVmap(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() > 256) return JAMC_SYNTAX_ERROR;
  std::vector<std::string> names;
  for (std::string_view item : a) {
    if (item.size() < 3 || item.front() != '"' || item.back() != '"') return JAMC_SYNTAX_ERROR;
    names.emplace_back(item.substr(1, item.size() - 2));
  }
  if (version_ == 2) std::reverse(names.begin(), names.end());
  vectorLength_ = 0;
  for (const std::string& n : names)
    if (!host_.VectorSignalKnown(n)) return JAMC_VECTOR_MAP_FAILED;
  vectorLength_ = static_cast<int>(names.size());
  return 0;
}

int Player::DoVector(std::string_view args) {
  std::vector<std::string_view> a;
  if (!SplitArgs(args, &a) || a.size() < 2) return JAMC_SYNTAX_ERROR;
  BoolArg dir, data;
  if (int rc = BoolArgument(a[0], &dir)) return rc;
  if (int rc = BoolArgument(a[1], &data)) return rc;
  int32_t n = vectorLength_;
  if (dir.start + n > dir.count || data.start + n > data.count) return JAMC_BOUNDS_ERROR;
  return ShiftAndCapture(a, 2, n, [&](std::vector<uint8_t>* captured) {
    size_t bytes = static_cast<size_t>(n) / 8 + 1;
    std::vector<uint8_t> d(bytes, 0), v(bytes, 0), cap(bytes, 0);
    for (int32_t i = 0; i < n; ++i) {
      if (dir.Bit(dir.start + i)) d[static_cast<size_t>(i) / 8] |= static_cast<uint8_t>(1u << (i % 8));
      if (data.Bit(data.start + i)) v[static_cast<size_t>(i) / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
    if (host_.VectorIo(n, d.data(), v.data(), captured ? cap.data() : nullptr) != n)
      return static_cast<int>(JAMC_INTERNAL_ERROR);
    if (captured) {
      captured->assign(static_cast<size_t>(n), 0);
      for (int32_t i = 0; i < n; ++i)
        (*captured)[static_cast<size_t>(i)] = (cap[static_cast<size_t>(i) / 8] >> (i % 8)) & 1;
    }
    return 0;
  });
}

}  // namespace jam
}  // namespace lx

// Internal state of one STAPL player run, shared by the executor, the expression evaluator,
// the symbol store and the JTAG layer.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jam_player.h"

namespace lx {
namespace jam {

enum ValueType { T_INT = 0, T_BOOL = 1, T_INTBOOL = 2 };

enum SymKind {
  SK_LABEL,
  SK_INT,
  SK_BOOL,
  SK_INT_ARRAY,
  SK_BOOL_ARRAY,
  SK_BOOL_ARRAY_CONST,
  SK_DATA,
  SK_PROC,
};

struct Symbol;

struct HeapRec {
  Symbol* owner = nullptr;
  int32_t count = 0;
  std::vector<int32_t> ints;    // integer array
  std::vector<uint32_t> words;  // Boolean array: element i is bit (i % 32) of word i / 32
  std::string text;             // a procedure's USES list
  bool Bit(int32_t i) const { return (words[i >> 5] >> (i & 31)) & 1u; }
  void SetBit(int32_t i, bool v) {
    if (v)
      words[i >> 5] |= 1u << (i & 31);
    else
      words[i >> 5] &= ~(1u << (i & 31));
  }
};

struct Symbol {
  std::string name;
  SymKind kind = SK_LABEL;
  int32_t value = 0;         // variable value; data block: initialized mark
  HeapRec* heap = nullptr;   // array data or USES list
  int32_t position = 0;      // defining statement start
  Symbol* owner = nullptr;   // block current at definition
  Symbol* next = nullptr;    // bucket chain
};

// A Boolean bit string taken from a literal or a range of an array.
struct BoolArg {
  Symbol* sym = nullptr;        // array symbol, or null for a literal
  std::vector<uint32_t> lit;    // literal bits
  int32_t count = 0;            // elements of the array or literal
  int32_t start = 0, end = -1;  // range
  bool Bit(int32_t i) const {
    const std::vector<uint32_t>& w = sym ? sym->heap->words : lit;
    return (w[i >> 5] >> (i & 31)) & 1u;
  }
  int32_t Length() const { return end - start + 1; }
};

enum StackKind { SE_FREE, SE_LOOP, SE_VALUE, SE_RETURN };
struct StackEntry {
  StackKind kind = SE_FREE;
  Symbol* iterator = nullptr;
  int32_t position = 0;
  int32_t end = 0, step = 0;
  int32_t value = 0;
};

enum Phase { PH_START, PH_NOTES, PH_ACTIONS, PH_PROCEDURE, PH_DATA };

// JTAG states in the order the language numbers them.
enum JtagState {
  JS_UNKNOWN = -1,
  JS_RESET = 0, JS_IDLE, JS_DRSELECT, JS_DRCAPTURE, JS_DRSHIFT, JS_DREXIT1, JS_DRPAUSE,
  JS_DREXIT2, JS_DRUPDATE, JS_IRSELECT, JS_IRCAPTURE, JS_IRSHIFT, JS_IREXIT1, JS_IRPAUSE,
  JS_IREXIT2, JS_IRUPDATE,
};
int StateFromName(std::string_view name);  // -1 when not a state name

struct ExprResult {
  int32_t value = 0;
  ValueType type = T_INT;
};

constexpr int kMaxName = 32;
constexpr int kStackSize = 128;
constexpr int kBuckets = 1021;
constexpr int kMaxPadding = 1000;

bool IsBlank(int c);
bool IsIdentChar(int c);
std::string_view Trim(std::string_view s);

class Player {
 public:
  Player(const uint8_t* program, size_t size, JamHost& host, const JamLimits& limits)
      : prog_(program), size_(static_cast<int32_t>(size)), host_(host), limits_(limits) {}
  ~Player();

  JamRunResult Run(const std::string& action, const std::vector<std::string>& initList,
                   bool resetAtEnd);

  // ---- statement reading (jam_exec.cpp)
  int ReadStatement(int32_t& pos, std::string& text, std::string& label, int32_t& start,
                    size_t cap);
  int MeasureStatements(size_t* longest);
  int32_t LineOf(int32_t position) const;

  // ---- expressions (jam_expr.cpp)
  int Evaluate(std::string_view text, ExprResult* out);
  int EvalInt(std::string_view text, int32_t* out);
  int EvalBool(std::string_view text, int32_t* out);

  // ---- symbols, heap, stack (jam_symbols.cpp)
  int Define(SymKind kind, std::string_view name, int32_t value, int32_t position,
             Symbol** out) {
    return Define(kind, name, value, position, out, block_);
  }
  // `owner` is the block whose text holds the defining statement.
  int Define(SymKind kind, std::string_view name, int32_t value, int32_t position,
             Symbol** out, Symbol* owner);
  int Lookup(std::string_view name, Symbol** out);
  Symbol* FindRaw(std::string_view name) const;
  int AllocHeap(Symbol* sym, int32_t count, HeapRec** out);
  int AllocText(Symbol* sym, std::string_view text);
  int PushLoop(Symbol* it, int32_t pos, int32_t end, int32_t step);
  int PushValue(int32_t v);
  int PushReturn(int32_t pos);
  StackEntry* Top();
  int Pop();
  int StackDepth() const { return depth_; }
  bool InitValue(std::string_view name, int32_t* value) const;
  int BoolArgument(std::string_view text, BoolArg* out);
  int ParseRange(std::string_view inner, Symbol* sym, int32_t* start, int32_t* end);
  int LiteralBits(char kind, std::string_view digits, std::vector<uint32_t>* bits,
                  int32_t* count);
  int Decompress(const std::vector<uint8_t>& in, size_t inBits, size_t bitPos, int window,
                 std::vector<uint8_t>* out, uint32_t expectLen);
  bool UsesListContains(Symbol* block, std::string_view name) const;
  int ChargeHeap(size_t bytes);

  // ---- JTAG layer (jam_jtag.cpp)
  int JtagClock(int tms, int tdi);
  int JtagReset();
  int JtagMove(int target);
  int JtagWaitCycles(int state, int32_t cycles);
  int JtagWaitUsec(int state, int32_t usec);
  int JtagScan(bool ir, int32_t count, const BoolArg& data, std::vector<uint8_t>* captured);
  int SetPadding(int which, int32_t count, const BoolArg* data);
  int Step(int64_t n = 1);  // counts toward the budget between scans; code 19 beyond it

  // ---- executor (jam_exec.cpp)
  int RunLoop(int stopDepth, bool nested);
  int ExecuteStatement(std::string_view stmt, int32_t stmtStart);
  int CallProcedure(Symbol* proc, int32_t returnPos);
  int RunBlock(Symbol* block, Phase phase, int32_t returnPos);
  int RunDataBlock(Symbol* block);
  int ResolveBlock(std::string_view name, bool procOnly, Symbol** out);
  int ForwardSearch(std::string_view name, bool label);

  // statement handlers
  int DoAction(std::string_view args, int32_t start);
  int DoDeclare(bool isBool, std::string_view args, int32_t start);
  int DoCall(std::string_view args);
  int DoData(std::string_view args, int32_t start);
  int DoProcedure(std::string_view args, int32_t start);
  int DoEnd(std::string_view args);
  int DoExit(std::string_view args);
  int DoExport(std::string_view args);
  int DoFor(std::string_view args);
  int DoNext(std::string_view args);
  int DoFrequency(std::string_view args);
  int DoGoto(std::string_view args);
  int JumpToLabel(std::string_view name, bool pushReturn);
  int DoAssign(std::string_view args);
  int DoPadding(std::string_view args);
  int DoPrePost(int which, std::string_view args);
  int DoPrint(std::string_view args);
  int DoPush(std::string_view args);
  int DoPop(std::string_view args);
  int DoScan(bool ir, std::string_view args);
  // Shifts `length` bits through `shift` (which hands back one byte per captured bit when asked)
  // and carries out the statement's CAPTURE or COMPARE part, starting at argument `tail`.
  using ShiftFn = std::function<int(std::vector<uint8_t>* captured)>;
  int ShiftAndCapture(const std::vector<std::string_view>& a, size_t tail, int32_t length,
                      const ShiftFn& shift);
  int DoStop(bool ir, std::string_view args);
  int DoState(std::string_view args);
  int DoWait(std::string_view args);
  int DoVmap(std::string_view args);
  int DoVector(std::string_view args);
  int AssignTarget(std::string_view target, bool allowRange, int32_t rawValue,
                   ValueType rawType, std::string_view valueText, bool fromPop);

  // ---- state
  const uint8_t* prog_;
  int32_t size_;
  JamHost& host_;
  JamLimits limits_;
  int64_t stepsSinceScan_ = 0;  // statements and clocks since data was last shifted
  size_t heapBytes_ = 0;

  int version_ = 0;
  Phase phase_ = PH_START;
  Symbol* block_ = nullptr;
  int32_t readPos_ = 0;
  int32_t stmtStart_ = 0;
  int32_t continuePos_ = 0;
  size_t bufSize_ = 0;
  std::string action_;
  std::vector<std::string> initList_;
  bool done_ = false;
  int exitCode_ = 0;
  bool resolvingUses_ = false;
  int32_t errorPos_ = 0;

  std::vector<Symbol*> buckets_;
  std::vector<std::unique_ptr<Symbol>> symbols_;
  std::vector<std::unique_ptr<HeapRec>> heap_;
  StackEntry stack_[kStackSize];
  int depth_ = 0;

  // JTAG layer
  int state_ = JS_UNKNOWN;
  int drStop_ = JS_IDLE, irStop_ = JS_IDLE;
  int32_t padCount_[4] = {0, 0, 0, 0};  // PREDR, POSTDR, PREIR, POSTIR
  std::vector<uint8_t> padBits_[4];
  int vectorLength_ = 0;
};

enum { PAD_PREDR = 0, PAD_POSTDR = 1, PAD_PREIR = 2, PAD_POSTIR = 3 };

}  // namespace jam
}  // namespace lx

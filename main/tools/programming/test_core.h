// The simple device test (NOR and SPI sectors, twelve methods) and the NAND test (Veltan blocks,
// eleven methods) without windows. Each method is a list of steps (erase, program, compare,
// repeated reads) run over the test area; a step answers 0 done, 1 stopped by the user, 2 the
// user chose to stop after a failure. Portable: DeviceApiTable and a Host.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "prog_core.h"

namespace lx {
namespace prog {

// The choices of a method dialog.
struct TestMethods {
  std::vector<bool> selected;  // one flag per method, in table order
  std::string incrementText = "0x", decrementText = "0x";
  uint32_t incrementStart = 0, decrementStart = 0;
  std::string programFile, readFile;
  int32_t readCount = 2;
  uint32_t seed = 0;  // the random method's seed (the tick count when the run starts)
  int Count() const;
};

// The method dialog's OK: parses the start numbers and answers null, or the text that keeps
// the dialog open. `nand` picks the NAND table's method numbers.
const char* CheckTestMethods(TestMethods& methods, bool nand);

// The test texts of the method tables.
int NorMethodCount();
int NandMethodCount();
const char* NorMethodName(int method);
const char* NandMethodName(int method);

// A deterministic byte stream from a seed (what program and compare both rebuild).
class TestRandom {
 public:
  void Seed(uint32_t seed) { state_ = seed; }
  uint8_t Next() {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<uint8_t>(state_ >> 16);
  }

 private:
  uint32_t state_ = 1;
};

// Pattern of one area: step 0 fills 16-bit little-endian words with value; else 32-bit words
// count from *running by step (the count goes on in *running).
void FillPattern(uint8_t* data, size_t n, uint32_t value, int step, uint32_t* running);
// Differing bits of two areas of n bytes, compared as n / 4 32-bit words.
uint32_t CountBitErrors(const uint8_t* a, const uint8_t* b, size_t n);
// The three marker words of a NAND block image (the first spare words of pages 0, 1 and 63),
// only those that lie inside a block of `blockBytes`.
std::vector<uint32_t> NandMarkerOffsets(uint32_t spare, size_t blockBytes);

struct TestRunSettings {
  uint32_t first = 0, count = 0;  // sectors or blocks
  int32_t passes = 1;             // 0 endless
  uint32_t waitMs = 0;
  bool waitAfter = false;
};

// One step of a method: what it does to every unit of the area.
enum class StepKind { Erase, Program, Compare, ProgramRandom, CompareRandom, ProgramFile, CompareFile, Repeat };
struct TestStep {
  StepKind kind;
  uint32_t value;  // pattern value or counting start; for CompareFile 1 picks the read file
  int step;        // 0 fixed 16-bit pattern, else the counting step
};

// The outer loop shared by both tests: passes, methods in table order, the questions and the
// closing text (returned).
class TestRunner {
 public:
  explicit TestRunner(Host& host) : host_(host) {}
  virtual ~TestRunner() = default;
  std::string Run(const TestMethods& methods, const TestRunSettings& settings);
  uint32_t Errors() const { return errors_; }

 protected:
  virtual int MethodCount() const = 0;
  virtual const char* MethodName(int method) const = 0;
  // The NAND table lacks the NOR's first method and uses other fixed patterns.
  virtual int RecipeOf(int method) const = 0;
  virtual uint16_t FirstPattern() const = 0;
  virtual uint16_t SecondPattern() const = 0;
  virtual int RunStep(const TestStep& step, const std::string& path) = 0;
  int RunMethod(int method);
  std::vector<TestStep> Recipe(int recipe) const;
  static bool Programs(StepKind kind) {
    return kind == StepKind::Program || kind == StepKind::ProgramRandom || kind == StepKind::ProgramFile;
  }
  void PassStatus(const std::string& text);
  // Counts the failure and asks the question; true for Yes (the step answers 2).
  bool Fail(const std::string& question, uint32_t weight = 1);
  static const char* StepText(StepKind kind);
  // Opens the file of a file step; false (with the step's answer) when it cannot be opened.
  bool OpenStepFile(StepKind kind, const std::string& path, DataFile* file, int* answer);
  // The wait between P/E cycles: in slices, false when stopped.
  bool Wait();
  Host& host_;
  TestMethods methods_;
  TestRunSettings settings_;
  uint32_t errors_ = 0;
  int32_t pass_ = 1;
};

class NorTestRunner : public TestRunner {
 public:
  NorTestRunner(Host& host, std::vector<NorSector> sectors) : TestRunner(host), sectors_(std::move(sectors)) {}

 protected:
  int MethodCount() const override;
  const char* MethodName(int method) const override;
  int RecipeOf(int method) const override { return method; }
  uint16_t FirstPattern() const override { return 0xAA55; }
  uint16_t SecondPattern() const override { return 0x55AA; }
  int RunStep(const TestStep& step, const std::string& path) override;

 private:
  std::vector<NorSector> sectors_;
};

class NandTestRunner : public TestRunner {
 public:
  NandTestRunner(Host& host, VeltanTable table, uint32_t pagesPerBlock, uint32_t dataTolerance, uint32_t spareTolerance)
      : TestRunner(host), table_(std::move(table)), pages_(pagesPerBlock), dataTolerance_(dataTolerance),
        spareTolerance_(spareTolerance) {}
  size_t BlockBytes() const { return static_cast<size_t>(pages_) * (kPageDataBytes + table_.spare); }

 protected:
  int MethodCount() const override;
  const char* MethodName(int method) const override;
  int RecipeOf(int method) const override { return method + 1; }
  uint16_t FirstPattern() const override { return 0xA5A5; }
  uint16_t SecondPattern() const override { return 0x5A5A; }
  int RunStep(const TestStep& step, const std::string& path) override;

 private:
  // The image of block k (the position of k in the test area picks its part of the file).
  void BuildImage(const TestStep& step, uint32_t block, uint8_t* image);
  // Compares one read block with its image part by part; 2 when the user stops.
  int CompareBlock(uint32_t block, const uint8_t* expected, const uint8_t* read);
  VeltanTable table_;
  uint32_t pages_;
  uint32_t dataTolerance_, spareTolerance_;
  TestRandom random_;
  DataFile file_;
};

}  // namespace prog
}  // namespace lx

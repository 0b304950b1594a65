#include "test_core.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "device_api.h"

namespace lx {
namespace prog {

namespace {

const char kCaption[] = "Simple device test";

const char* const kNorMethods[] = {
    "Compare '0xFFFF'",
    "Compare '0xFFFF' after erasing",
    "Compare '0x0000' after programming '0x0000'",
    "Compare '0xAA55' after programming '0xAA55', then try it with '0x55AA' after erasing",
    "Compare '0x0000' after programming '0xAA55' and '0x55AA'",
    "Compare '0x0000' after programming '0xAA55' and '0x0000', then try it with '0x55AA' and '0x0000'",
    "Compare 4 Bytes incremental numbers after programming",
    "Compare 4 Bytes decremental numbers after programming",
    "Compare data after programming random numbers",
    "Compare data after programming an external file",
    "Read and compare data with an external file",
    "Read specific times and compare each data",
};

const char* const kNandMethods[] = {
    "Compare '0xFF...' after erasing",
    "Compare '0x00...' after programming '0x0000'",
    "Compare '0xA5...' after programming '0xA5...', then try it with '0x5A...' after erasing",
    "Compare '0x00...' after programming '0xA5...' and '0x5A...'",
    "Compare '0x00...' after programming '0xA5...' and '0x00...', then try it with '0x5A...' and '0x00...'",
    "Compare 4 Bytes incremental numbers after programming",
    "Compare 4 Bytes decremental numbers after programming",
    "Compare data after programming random numbers",
    "Compare data after programming an external file",
    "Read and compare data with an external file",
    "Read specific times and compare each data",
};

constexpr int kNorCount = sizeof kNorMethods / sizeof kNorMethods[0];
constexpr int kNandCount = sizeof kNandMethods / sizeof kNandMethods[0];

}  // namespace

int TestMethods::Count() const { return static_cast<int>(std::count(selected.begin(), selected.end(), true)); }

int NorMethodCount() { return kNorCount; }
int NandMethodCount() { return kNandCount; }
const char* NorMethodName(int m) { return m >= 0 && m < kNorCount ? kNorMethods[m] : ""; }
const char* NandMethodName(int m) { return m >= 0 && m < kNandCount ? kNandMethods[m] : ""; }

const char* CheckTestMethods(TestMethods& m, bool nand) {
  const int inc = nand ? 5 : 6;
  auto on = [&](int i) { return i < static_cast<int>(m.selected.size()) && m.selected[i]; };
  if (on(inc)) {
    if (m.incrementText.empty()) return "Please fill in the incremental start number.";
    if (!ParseNumber(m.incrementText, &m.incrementStart)) return "The incremental start number is not a 32-bit number.";
  }
  if (on(inc + 1)) {
    if (m.decrementText.empty()) return "Please fill in the decremental start number.";
    if (!ParseNumber(m.decrementText, &m.decrementStart)) return "The decremental start number is not a 32-bit number.";
  }
  if (on(inc + 3) && m.programFile.empty()) return "Please select a file to program user data.";
  if (on(inc + 4) && m.readFile.empty()) return "Please select a file to read user data.";
  if (on(inc + 5) && m.readCount < 2) return "Reading should be at least 2 times.";
  return nullptr;
}

void FillPattern(uint8_t* data, size_t n, uint32_t value, int step, uint32_t* running) {
  if (step == 0) {
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i % 2 ? value >> 8 : value);
    return;
  }
  for (size_t i = 0; i < n; i += 4) {
    const uint32_t word = *running;
    for (size_t b = 0; b < 4 && i + b < n; ++b) data[i + b] = static_cast<uint8_t>(word >> (8 * b));
    *running += static_cast<uint32_t>(step);
  }
}

uint32_t CountBitErrors(const uint8_t* a, const uint8_t* b, size_t n) {
  uint32_t bits = 0;
  for (size_t i = 0; i + 4 <= n; i += 4) {
    uint32_t x, y;
    std::memcpy(&x, a + i, 4);
    std::memcpy(&y, b + i, 4);
    for (uint32_t d = x ^ y; d; d &= d - 1) ++bits;
  }
  return bits;
}

std::vector<uint32_t> NandMarkerOffsets(uint32_t spare, size_t blockBytes) {
  std::vector<uint32_t> offsets;
  const uint32_t candidates[] = {kPageDataBytes, 4096 + spare, (kPageDataBytes + spare) * 63 + kPageDataBytes};
  for (uint32_t at : candidates)
    if (static_cast<size_t>(at) + 4 <= blockBytes) offsets.push_back(at);
  return offsets;
}

// ---- the outer loop ---------------------------------------------------------------------------
void TestRunner::PassStatus(const std::string& text) {
  if (settings_.passes == 0) host_.Status(1, Format("%d time(s): %s", pass_, text.c_str()));
  else host_.Status(1, Format("%d of %d: %s", pass_, settings_.passes, text.c_str()));
}

bool TestRunner::Fail(const std::string& question, uint32_t weight) {
  errors_ += weight;
  return host_.Ask(question, kCaption, kYesNoWarning) == kAnswerYes;
}

const char* TestRunner::StepText(StepKind kind) {
  return kind == StepKind::Erase ? ">> Erasing..." : Programs(kind) ? ">> Programming..." : ">> Reading and comparing...";
}

bool TestRunner::OpenStepFile(StepKind kind, const std::string& path, DataFile* file, int* answer) {
  file->Close();
  *answer = 0;
  if (kind != StepKind::ProgramFile && kind != StepKind::CompareFile) return true;
  if (file->OpenRead(path)) return true;
  const char* verb = Programs(kind) ? "programming" : "comparing";
  *answer = Fail(Format("Error: %s can not be open.\nDo you want to stop %s?", path.c_str(), verb)) ? 2 : 0;
  return false;
}

bool TestRunner::Wait() {
  host_.Status(2, Format(">> Waiting %d millisecond(s)...", static_cast<int>(settings_.waitMs)));
  return SlicedWait(host_, settings_.waitMs);
}

std::string TestRunner::Run(const TestMethods& methods, const TestRunSettings& settings) {
  methods_ = methods;
  settings_ = settings;
  errors_ = 0;
  pass_ = 1;
  if (methods_.Count() == 0) return "Please select the test method...";
  const int32_t passes = settings_.passes == 0 ? 0x7FFFFFFF : settings_.passes;
  for (; pass_ <= passes; ++pass_) {
    for (int m = 0; m < MethodCount(); ++m) {
      if (m >= static_cast<int>(methods_.selected.size()) || !methods_.selected[m]) continue;
      const int answer = RunMethod(m);
      if (answer == 1) return Format("Test stopped by user.\nError(s) was occurred %d times while testing.", errors_);
      if (answer == 2 && host_.Ask("Error: Test failed...\nDo you want to stop testing?", kCaption, kYesNoWarning) == kAnswerYes)
        return Format("Simple device test stopped.\nError(s) was occurred %d times while testing.", errors_);
    }
    if (pass_ == passes) break;
  }
  if (errors_ == 0) return "Simple device test completed successfully.";
  return Format("Simple device test finished.\nError(s) was occurred %d times while testing.", errors_);
}

std::vector<TestStep> TestRunner::Recipe(int recipe) const {
  const StepKind E = StepKind::Erase, P = StepKind::Program, C = StepKind::Compare;
  const uint32_t a = FirstPattern(), b = SecondPattern();
  std::vector<TestStep> steps;
  auto add = [&steps](StepKind kind, uint32_t value, int step) { steps.push_back(TestStep{kind, value, step}); };
  switch (recipe) {
    case 0: add(C, 0xFFFF, 0); break;
    case 1: add(E, 0, 0), add(C, 0xFFFF, 0); break;
    case 2: add(E, 0, 0), add(P, 0, 0), add(C, 0, 0); break;
    case 3: add(E, 0, 0), add(P, a, 0), add(C, a, 0), add(E, 0, 0), add(P, b, 0), add(C, b, 0); break;
    case 4: add(E, 0, 0), add(P, a, 0), add(C, a, 0), add(P, b, 0), add(C, 0, 0); break;
    case 5:
      for (uint32_t v : {a, b}) add(E, 0, 0), add(P, v, 0), add(C, v, 0), add(P, 0, 0), add(C, 0, 0);
      break;
    case 6: add(E, 0, 0), add(P, methods_.incrementStart, 1), add(C, methods_.incrementStart, 1); break;
    case 7: add(E, 0, 0), add(P, methods_.decrementStart, -1), add(C, methods_.decrementStart, -1); break;
    case 8: add(E, 0, 0), add(StepKind::ProgramRandom, 0, 0), add(StepKind::CompareRandom, 0, 0); break;
    case 9: add(E, 0, 0), add(StepKind::ProgramFile, 0, 0), add(StepKind::CompareFile, 0, 0); break;
    case 10: add(StepKind::CompareFile, 1, 0); break;
    default: add(StepKind::Repeat, 0, 0); break;
  }
  return steps;
}

int TestRunner::RunMethod(int m) {
  const std::string stem = MethodName(m);
  const int recipe = RecipeOf(m);
  // The repeated reads show one text at the start and at the end.
  const bool repeated = recipe == 11;
  PassStatus(repeated ? stem + "..." : stem + " started...");
  for (const TestStep& s : Recipe(recipe)) {
    const bool readFile = s.kind == StepKind::CompareFile && s.value == 1;
    const int answer = RunStep(s, readFile ? methods_.readFile : methods_.programFile);
    if (answer != 0) return answer;
  }
  PassStatus(repeated ? stem + "..." : stem + " finished...");
  return 0;
}

// ---- NOR --------------------------------------------------------------------------------------
int NorTestRunner::MethodCount() const { return kNorCount; }

const char* NorTestRunner::MethodName(int m) const { return kNorMethods[m]; }

int NorTestRunner::RunStep(const TestStep& s, const std::string& path) {
  const StepKind kind = s.kind;
  const uint32_t value = s.value;
  const int step = s.step, reads = methods_.readCount;
  const bool programs = Programs(kind);
  const char* text = StepText(kind);
  const bool waits = kind == StepKind::Erase && settings_.count == 1 && settings_.waitMs != 0;
  DataFile file;
  int answer = 0;
  if (!OpenStepFile(kind, path, &file, &answer)) return answer;
  TestRandom random;
  random.Seed(methods_.seed);
  uint32_t running = value;
  host_.Progress(0, settings_.count - 1);
  for (uint32_t i = 0; i < settings_.count; ++i) {
    const uint32_t k = settings_.first + i;
    if (!host_.Step()) return 1;
    host_.Status(2, Format("%s: sector #%d", text, k));
    host_.Progress(i, settings_.count - 1);
    const NorSector& sector = sectors_[k];
    std::vector<uint8_t> expected(sector.size, 0xFF), read(sector.size, 0xFF);
    if (kind == StepKind::Erase) {
      if (waits && !settings_.waitAfter && !Wait()) return 1;
      if (DeviceApiTable.gfslNOREraseBlock(0, k) != 0 &&
          Fail(Format("Error: Erase failed at sector #%d.\nDo you want to stop erasing?", k)))
        return 2;
      if (waits && settings_.waitAfter && !Wait()) return 1;
      continue;
    }
    switch (kind) {
      case StepKind::Program:
      case StepKind::Compare: FillPattern(expected.data(), expected.size(), value, step, &running); break;
      case StepKind::ProgramRandom:
      case StepKind::CompareRandom:
        for (uint8_t& b : expected) b = random.Next();
        break;
      case StepKind::ProgramFile:
      case StepKind::CompareFile: file.Read(expected.data(), expected.size()); break;
      default: break;
    }
    if (programs) {
      if (DeviceApiTable.gfslNORProgramRawData(0, sector.start, sector.size, expected.data()) != 0 &&
          Fail(Format("Error: Program failed at sector #%d.\nDo you want to stop programming?", k)))
        return 2;
      continue;
    }
    const int readsWanted = kind == StepKind::Repeat ? reads : 1;
    std::vector<uint8_t> reference;
    for (int r = 0; r < readsWanted; ++r) {
      std::fill(read.begin(), read.end(), 0xFF);
      if (DeviceApiTable.gfslNORReadRawData(0, sector.start, sector.size, read.data()) != 0) {
        if (Fail(Format("Error: Read failed at sector #%d.\nDo you want to stop reading?", k))) return 2;
        continue;
      }
      if (kind == StepKind::Repeat && r == 0) {
        reference = read;
        continue;
      }
      const std::vector<uint8_t>& want = kind == StepKind::Repeat ? reference : expected;
      auto diff = std::mismatch(want.begin(), want.end(), read.begin());
      if (diff.first != want.end()) {
        const uint32_t address = sector.start + static_cast<uint32_t>(diff.first - want.begin());
        if (Fail(Format("Error: Compare failed at address 0x%08X in Byte.\nDo you want to stop comparing?", address)))
          return 2;
      }
    }
  }
  return 0;
}

// ---- NAND -------------------------------------------------------------------------------------
int NandTestRunner::MethodCount() const { return kNandCount; }

const char* NandTestRunner::MethodName(int m) const { return kNandMethods[m]; }

void NandTestRunner::BuildImage(const TestStep& s, uint32_t block, uint8_t* image) {
  const size_t b = BlockBytes();
  const StepKind k = s.kind;
  bool fileData = false;
  if (k == StepKind::Program || k == StepKind::Compare) {
    uint32_t running = s.value;
    FillPattern(image, b, s.value, s.step, &running);
  } else if (k == StepKind::ProgramRandom || k == StepKind::CompareRandom) {
    for (size_t i = 0; i < b; ++i) image[i] = random_.Next();
  } else {
    fileData = true;
    std::memset(image, 0xFF, b);
    // Consecutive blocks of the area take consecutive parts of the file.
    if (file_.IsOpen() && file_.Seek(static_cast<uint64_t>(block - settings_.first) * b)) file_.Read(image, b);
  }
  for (uint32_t at : NandMarkerOffsets(table_.spare, b)) std::memset(image + at, 0xFF, fileData ? 2 : 4);
}

int NandTestRunner::CompareBlock(uint32_t block, const uint8_t* expected, const uint8_t* read) {
  const uint32_t pageBytes = kPageDataBytes + table_.spare, quarter = table_.spare / 4;
  for (uint32_t p = 0; p < pages_; ++p) {
    for (uint32_t q = 0; q < 4; ++q) {
      const size_t data = static_cast<size_t>(pageBytes) * p + 512 * q;
      uint32_t bits = CountBitErrors(expected + data, read + data, 512);
      if (bits > dataTolerance_ &&
          Fail(Format("Error: Compare failed with %d bit error(s) at block %d page %d part %d.\nDo you want to stop comparing?",
                      bits, block, p, q),
               bits))
        return 2;
      const size_t spare = static_cast<size_t>(pageBytes) * p + kPageDataBytes + q * quarter;
      bits = CountBitErrors(expected + spare, read + spare, quarter);
      if (bits > spareTolerance_ &&
          Fail(Format("Error: Compare failed with %d bit error(s) on spare area at block %d page %d part %d.\nDo you want "
                      "to stop comparing?",
                      bits, block, p, q),
               bits))
        return 2;
    }
  }
  return 0;
}

int NandTestRunner::RunStep(const TestStep& s, const std::string& path) {
  const StepKind kind = s.kind;
  const int reads = methods_.readCount;
  const bool programs = Programs(kind);
  const char* text = StepText(kind);
  const bool waits = kind == StepKind::Erase && settings_.count == 1 && settings_.waitMs != 0;
  int answer = 0;
  if (!OpenStepFile(kind, path, &file_, &answer)) return answer;
  random_.Seed(methods_.seed);
  const size_t b = BlockBytes();
  host_.Progress(0, settings_.count - 1);
  if (waits && !settings_.waitAfter && !Wait()) return 1;
  for (uint32_t i = 0; i < settings_.count; ++i) {
    const uint32_t k = settings_.first + i;
    if (!host_.Step()) return 1;
    host_.Status(2, Format("%s: block #%d", text, k));
    host_.Progress(i, settings_.count - 1);
    std::vector<uint8_t> image, read;
    if (kind != StepKind::Erase && kind != StepKind::Repeat) {
      image.resize(b);
      // The random stream and the file move on past a bad block too.
      BuildImage(s, k, image.data());
    }
    if (!table_.Good(k)) {
      NotifyBadBlock(host_, table_, k);
      continue;
    }
    // k x pages per block: the block's first page without a byte count that can overflow.
    const uint32_t firstPage = k * pages_;
    if (kind == StepKind::Erase) {
      if (DeviceApiTable.gfslVeltanEraseBlock(0, k) != 0 &&
          Fail(Format("Error: Erase failed at block #%d.\nDo you want to stop erasing?", k)))
        return 2;
      continue;
    }
    if (programs) {
      if (DeviceApiTable.gfslVeltanProgramRawPage(0, firstPage, pages_, image.data()) != 0 &&
          Fail(Format("Error: Program failed at block #%d.\nDo you want to stop programming?", k)))
        return 2;
      continue;
    }
    read.assign(b, 0xFF);
    if (DeviceApiTable.gfslVeltanReadRawPage(0, firstPage, pages_, read.data()) != 0 &&
        Fail(Format("Error: Read failed at block #%d.\nDo you want to stop reading?", k)))
      return 2;
    if (kind != StepKind::Repeat) {
      if (CompareBlock(k, image.data(), read.data()) == 2) return 2;
      continue;
    }
    std::vector<uint8_t> again(b);
    for (int r = 1; r < reads; ++r) {
      std::fill(again.begin(), again.end(), 0xFF);
      if (DeviceApiTable.gfslVeltanReadRawPage(0, firstPage, pages_, again.data()) != 0 &&
          Fail(Format("Error: Read failed at block #%d.\nDo you want to stop reading?", k)))
        return 2;
      if (CompareBlock(k, read.data(), again.data()) == 2) return 2;
    }
  }
  if (waits && settings_.waitAfter && !Wait()) return 1;
  return 0;
}

}  // namespace prog
}  // namespace lx

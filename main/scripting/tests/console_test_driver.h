// A fake driver for the console tests: every command cell records its call into a list, and the
// output buffer is a small array with the driver's index protocol.
#pragma once
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "command_interpreter.h"

namespace lx_test {

struct RecordedCall {
  int cell;
  int argc;
  std::vector<std::string> words;  // each parameter up to its next blank, as a driver reads it
  std::vector<std::string> tails;  // each parameter as handed over: it runs on to the end of the line
};

class FakeDriver {
 public:
  explicit FakeDriver(uint32_t size = 4096) : storage_(size, 0) {
    current_ = this;
    buffer_ = storage_.data();
    index_ = &indexValue_;
    driver = lx::LldConsoleDriver{&CommandAt, &buffer_, &index_, size};
  }
  ~FakeDriver() { current_ = nullptr; }

  lx::LldConsoleDriver driver;
  std::vector<RecordedCall> calls;
  std::map<int, ::CommandHandler> replaced;  // cells whose entry point a test has swapped

  std::string Text() const { return std::string(reinterpret_cast<const char*>(buffer_), indexValue_); }
  uint32_t& Index() { return indexValue_; }
  uint8_t* Buffer() { return buffer_; }
  void Unbind() { buffer_ = nullptr; index_ = nullptr; }

 private:
  // The console asks for a cell's entry point right before it calls it.
  static ::CommandHandler CommandAt(int cell) {
    current_->requestedCell_ = cell;
    auto it = current_->replaced.find(cell);
    return it != current_->replaced.end() ? it->second : &Record;
  }
  static int Record(int argc, char** argv) {
    RecordedCall call{current_->requestedCell_, argc, {}, {}};
    for (int i = 1; i <= argc; ++i) {
      call.tails.push_back(argv[i]);
      call.words.push_back(std::string(argv[i], std::strcspn(argv[i], " \t")));
    }
    current_->calls.push_back(call);
    return 0;
  }

  static inline FakeDriver* current_ = nullptr;
  std::vector<uint8_t> storage_;
  uint8_t* buffer_;
  uint32_t indexValue_ = 0;
  uint32_t* index_;
  int requestedCell_ = -1;
};

}  // namespace lx_test

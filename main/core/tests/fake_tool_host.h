// A ToolHost for the cores' tests: records what it was told and asked, answers from a queue (then
// with the box's default button), counts its pumps and asks to stop from a chosen pump on.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "lumivex/prompt.h"
#include "tool_host.h"

namespace lx {
namespace testing {

class FakeToolHost : public ToolHost {
 public:
  int Ask(const std::string& text, const char* caption, unsigned type) override {
    said.push_back(text);
    captions.push_back(caption ? caption : "");
    types.push_back(type);
    if (answers.empty()) return LxPromptDefaultAnswer(type);
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Pump() override { ++pumps; }
  bool StopRequested() override { return stop || pumps >= stopAtPump; }
  void Progress(uint64_t position, uint64_t range) override { progress.emplace_back(position, range); }
  void Status(int line, const std::string& text) override { status[line == 2 ? 1 : 0] = text; }
  void BeginBusy() override {
    ++busy;
    ++busyScopes;
  }
  void EndBusy() override { --busy; }

  const std::string& Last() const {
    static const std::string none;
    return said.empty() ? none : said.back();
  }
  // Some text said holds the part.
  bool Said(const std::string& part) const {
    for (const std::string& text : said)
      if (text.find(part) != std::string::npos) return true;
    return false;
  }

  std::vector<std::string> said, captions;
  std::vector<unsigned> types;
  std::deque<int> answers;
  uint32_t pumps = 0;
  uint32_t stopAtPump = UINT32_MAX;  // StopRequested from this pump on
  bool stop = false;
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  std::string status[2];
  int busy = 0;  // open BeginBusy scopes
  int busyScopes = 0;
};

}  // namespace testing
}  // namespace lx

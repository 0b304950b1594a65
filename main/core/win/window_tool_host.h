// The Windows side of lx::ToolHost for a loop that runs under a window: boxes owned by the
// window, the wait cursor with the frame's progress animation, and, where the window has them,
// its message pump, its Stop flag and its progress bar. A core's own host interface derived
// from ToolHost gets the same by CWindowToolHostOf<ThatInterface>.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "lxmfc.h"
#include "tool_host.h"
#include "tool_wait.h"

// The shared part, out of line.
int WindowToolAsk(CWnd* owner, const std::string& text, const char* caption, unsigned type);

template <class Host>
class CWindowToolHostOf : public Host {
 public:
  explicit CWindowToolHostOf(CWnd* owner) : owner_(owner) {}
  int Ask(const std::string& text, const char* caption, unsigned type) override {
    return WindowToolAsk(owner_, text, caption, type);
  }
  void Pump() override {
    if (pump) pump();
  }
  bool StopRequested() override { return stop && *stop; }
  void Progress(uint64_t position, uint64_t range) override {
    if (progress) progress(position, range);
  }
  void BeginBusy() override {
    if (busy_++ == 0) wait_.emplace(true);
  }
  void EndBusy() override {
    if (busy_ > 0 && --busy_ == 0) wait_.reset();
  }

  // What the window offers; a loop it does not offer runs without.
  std::function<void()> pump;
  const bool* stop = nullptr;
  std::function<void(uint64_t, uint64_t)> progress;

 protected:
  CWnd* owner_;

 private:
  std::optional<lx::WaitCursor> wait_;
  int busy_ = 0;
};

using CWindowToolHost = CWindowToolHostOf<lx::ToolHost>;

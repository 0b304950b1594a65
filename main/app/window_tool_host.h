// The Windows side of lx::ToolHost for a loop that runs under a window: boxes owned by the
// window, the wait cursor with the frame's progress animation, and, where the window has them,
// its message pump, its Stop flag and its progress bar. A core's own host interface derived
// from ToolHost gets the same by CWindowToolHostOf<ThatInterface>.
#pragma once
#include <functional>
#include <string>

#include "lxmfc.h"
#include "tool_host.h"

// The shared parts, out of line.
int WindowToolAsk(CWnd* owner, const std::string& text, const char* caption, unsigned type);
HCURSOR WindowToolBusyBegin();
void WindowToolBusyEnd(HCURSOR saved);

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
    if (busy_++ == 0) saved_ = WindowToolBusyBegin();
  }
  void EndBusy() override {
    if (busy_ > 0 && --busy_ == 0) WindowToolBusyEnd(saved_);
  }

  // What the window offers; a loop it does not offer runs without.
  std::function<void()> pump;
  const bool* stop = nullptr;
  std::function<void(uint64_t, uint64_t)> progress;

 protected:
  CWnd* owner_;

 private:
  HCURSOR saved_ = nullptr;
  int busy_ = 0;
};

using CWindowToolHost = CWindowToolHostOf<lx::ToolHost>;

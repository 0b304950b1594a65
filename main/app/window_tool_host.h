// The Windows side of lx::ToolHost for a loop that runs under a window: boxes owned by the
// window, the wait cursor with the frame's progress animation, and, where the window has them,
// its message pump, its Stop flag and its progress bar.
#pragma once
#include <functional>

#include "lxmfc.h"
#include "tool_host.h"

class CWindowToolHost : public lx::ToolHost {
 public:
  explicit CWindowToolHost(CWnd* owner) : owner_(owner) {}
  int Ask(const std::string& text, const char* caption, unsigned type) override;
  void Pump() override {
    if (pump) pump();
  }
  bool StopRequested() override { return stop && *stop; }
  void Progress(uint64_t position, uint64_t range) override {
    if (progress) progress(position, range);
  }
  void BeginBusy() override;
  void EndBusy() override;

  // What the window offers; a loop it does not offer runs without.
  std::function<void()> pump;
  const bool* stop = nullptr;
  std::function<void(uint64_t, uint64_t)> progress;

 private:
  CWnd* owner_;
  HCURSOR saved_ = nullptr;
  int busy_ = 0;
};

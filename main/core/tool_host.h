// What a portable loop asks of the window it runs under: boxes and questions, the messages that
// wait between its steps and the user's Stop, its progress, a status line, and the wait cursor
// with the frame's animation around device work. The cores take a ToolHost& and never see a
// window; tests hand them a fake that records what it was told and answers from a script.
//
// Where a core needs more of its window (a file dialog, the volume state, a progress window of
// its own), it derives a small interface from this one.
#pragma once
#include <cstdint>
#include <string>

#include "lumivex/prompt.h"

namespace lx {

class ToolHost {
 public:
  virtual ~ToolHost() = default;

  // A message box or a question with the box types and answers of the message box. A null
  // caption is the program's name (a box without one is titled "Error" by Windows).
  virtual int Ask(const std::string& text, const char* caption, unsigned type);
  void Tell(const std::string& text, const char* caption = nullptr) { Ask(text, caption, LX_MB_OK); }
  // A Yes/No question; true for Yes.
  bool Confirm(const std::string& text, const char* caption = nullptr) {
    return Ask(text, caption, LX_MB_YESNO) == LX_IDYES;
  }

  // Between the steps of a loop: handles the messages that wait, the Stop button's among them.
  virtual void Pump() {}
  // The user asked the running loop to stop.
  virtual bool StopRequested() { return false; }
  // Pumps, then answers whether the loop may go on.
  bool Step() {
    Pump();
    return !StopRequested();
  }

  // Where the loop stands: position within 0 .. range.
  virtual void Progress(uint64_t /*position*/, uint64_t /*range*/) {}
  // Status line 1 or 2 of the window (the text replaces the line).
  virtual void Status(int /*line*/, const std::string& /*text*/) {}
  // The wait cursor and the frame's progress animation around device work.
  virtual void BeginBusy() {}
  virtual void EndBusy() {}
};

// BeginBusy .. EndBusy over a scope, so that every way out ends it.
class BusyScope {
 public:
  explicit BusyScope(ToolHost& host) : host_(host) { host_.BeginBusy(); }
  ~BusyScope() { host_.EndBusy(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  ToolHost& host_;
};

// The caption a box gets: the given one, else the program's name.
inline const char* ToolCaption(const char* caption) { return caption ? caption : "Lumivex"; }

}  // namespace lx

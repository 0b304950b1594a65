// The frame's script runs: one script thread at a time, started from the GUI thread, stopped
// by Stop Script, and waited for when the frame closes.
//
// What the frame calls (its RunScript, InterruptScript and CloseScriptEngine, and WM_CLOSE):
//   Start(frame, log, text, endMessage)
//                            a run on a new thread; false while one runs or for an empty text;
//                            the frame is posted endMessage (when not 0) once the run has ended
//   Interrupt()              Stop Script: the stop request that every LXObject method checks,
//                            and the engine's own interruption (where the engine has one)
//   RequestStop()            the stop request alone (closing the frame, a new run)
//   WaitWhilePumping(ms)     waits for the run to end, dispatching the GUI thread's messages
//                            (the script's log prints wait for them); true when none runs
// The engine is created, run and closed on the script thread only: the engine refuses to be
// closed from another thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "script_object_core.h"

struct IActiveScript;

namespace lx {

class ScriptRunner {
 public:
  ScriptRunner() = default;
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  bool Start(HWND frame, ScriptLog* log, const std::string& text, UINT endMessage = 0);
  void Interrupt();
  void RequestStop() { stop_ = true; }
  bool WaitWhilePumping(DWORD milliseconds);
  bool IsRunning() const { return running_.load(); }
  // Set once the engine holds the parsed script (before that there is nothing to interrupt).
  bool IsInitialised() const { return initialised_.load(); }
  // The text of the last script error box, "" when the last run had none.
  std::string LastError();

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Run();

  HWND frame_ = nullptr;
  UINT endMessage_ = 0;
  ScriptLog* log_ = nullptr;
  std::string text_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> running_{false};
  std::atomic<bool> initialised_{false};
  std::atomic<bool> stop_{false};
  std::mutex lock_;
  IActiveScript* engine_ = nullptr;  // while the script runs, with a reference (guarded by lock_)
  DWORD scriptThreadId_ = 0;
  std::string lastError_;
};

// The program's one runner.
ScriptRunner& TheScriptRunner();

}  // namespace lx

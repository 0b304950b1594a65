#include "script_runner.h"

#include <activscp.h>

#include "auto_window.h"
#include "device_state.h"
#include "lumivex/prompt.h"
#include "tool_host.h"
#include "script_host.h"

namespace lx {

ScriptRunner& TheScriptRunner() {
  static ScriptRunner runner;
  return runner;
}

ScriptRunner::~ScriptRunner() {
  if (thread_) CloseHandle(thread_);
}

bool ScriptRunner::Start(HWND frame, ScriptLog* log, const std::string& text, UINT endMessage) {
  if (running_.load() || text.empty()) return false;
  if (thread_) {
    // The previous run has ended (running_ is clear); its thread touches nothing of ours any
    // more, though it may still show its failure box.
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  frame_ = frame;
  endMessage_ = endMessage;
  log_ = log;
  text_ = text;
  stop_ = false;
  initialised_ = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    lastError_.clear();
  }
  running_ = true;
  WorkerThreadBegin();
  thread_ = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &scriptThreadId_);
  if (!thread_) {
    running_ = false;
    WorkerThreadEnd();
    return false;
  }
  ResumeThread(thread_);
  return true;
}

DWORD WINAPI ScriptRunner::ThreadProc(void* self) {
  static_cast<ScriptRunner*>(self)->Run();
  return 0;
}

void ScriptRunner::Run() {
  // What the end of the run needs once running_ is clear and a new run may start.
  const HWND frame = frame_;
  const UINT endMessage = endMessage_;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const char* failure = nullptr;
  IDispatch* autoWindow = CreateAutoWindow(frame_);
  auto* host = new CActiveScriptHost;
  host->AddRef();
  host->SetErrorsQuiet(&stop_);
  if (!autoWindow || !host->Initialize(frame_, autoWindow, log_, &stop_, text_)) {
    failure = "Error when initializing script host";
  } else {
    {
      std::lock_guard<std::mutex> guard(lock_);
      engine_ = host->Engine();
      engine_->AddRef();
    }
    initialised_ = true;
    // Runs the script's global code to its end, an error or a stop.
    // An error the engine reported itself has had its box already, and a stopped run is what
    // the user asked for.
    HRESULT hr = host->Engine()->SetScriptState(SCRIPTSTATE_CONNECTED);
    if (FAILED(hr) && hr != static_cast<HRESULT>(SCRIPT_E_REPORTED) && !stop_.load()) failure = "Error when invoking script";
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (engine_) engine_->Release();
    engine_ = nullptr;
    lastError_ = host->LastErrorText();
  }
  // Closing makes the engine let go of its site and items; the last release ends the host.
  if (host->Engine()) host->Engine()->Close();
  host->Release();
  if (autoWindow) autoWindow->Release();
  CoUninitialize();
  initialised_ = false;
  WorkerThreadEnd();
  running_ = false;
  if (endMessage && frame) PostMessageA(frame, endMessage, 0, 0);
  if (failure) LxMessageBox(frame, failure, lx::ToolCaption(nullptr), MB_OK);
}

void ScriptRunner::Interrupt() {
  if (!running_.load() || !initialised_.load()) return;
  stop_ = true;
  IActiveScript* engine = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    engine = engine_;
    if (engine) engine->AddRef();
  }
  if (engine) {
    // Engines that can interrupt a running statement do; the stop request covers the others.
    SCRIPTTHREADID id = 0;
    EXCEPINFO info = {};
    if (SUCCEEDED(engine->GetScriptThreadID(scriptThreadId_, &id)))
      engine->InterruptScriptThread(id, &info, SCRIPTINTERRUPT_RAISEEXCEPTION);
    engine->Release();
  }
  LxMessageBox(frame_, "Script is interrupted by user.", lx::ToolCaption(nullptr), MB_OK);
}

bool ScriptRunner::WaitWhilePumping(DWORD milliseconds) {
  DWORD start = GetTickCount();
  while (running_.load()) {
    DWORD spent = GetTickCount() - start;
    if (spent >= milliseconds) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(milliseconds - spent, 20), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return !running_.load();
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return true;
}

std::string ScriptRunner::LastError() {
  std::lock_guard<std::mutex> guard(lock_);
  return lastError_;
}

}  // namespace lx

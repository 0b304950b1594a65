// CActiveScriptHost: the site through which the program runs one script on the system's
// VBScript engine, with the two named items "AutoWindow" (the main window) and "LXObject".
//
// One host per run, created by the script runner and used on the run's thread: Initialize makes
// the engine, parses the text and adds the items; the runner starts the engine and closes it on
// the same thread. Errors of the script come through OnScriptError as one box each.
#pragma once
#include <activscp.h>

#include <atomic>
#include <string>

#include "LXActiveScript_h.h"
#include "lumivex/atl.h"
#include "script_object_core.h"

class CLXObject;

class CActiveScriptHost : public IActiveScriptSite, public IActiveScriptSiteWindow {
 public:
  CActiveScriptHost();
  virtual ~CActiveScriptHost();
  CActiveScriptHost(const CActiveScriptHost&) = delete;
  CActiveScriptHost& operator=(const CActiveScriptHost&) = delete;

  // True when the engine holds the parsed script and both named items; false at the first
  // failed step. `log` and `stop` go to the run's LXObject; `frame` owns nothing of the host.
  bool Initialize(HWND frame, IDispatch* autoWindow, lx::ScriptLog* log, const std::atomic<bool>* stop,
                  const std::string& text);
  // The engine (null before Initialize succeeded); the host keeps its reference.
  IActiveScript* Engine() const { return engine_; }
  // Whether script errors are shown; a run that is being stopped ends in the object's own
  // "stopped" error, which the user asked for and needs no box.
  void SetErrorsQuiet(const std::atomic<bool>* quiet) { quiet_ = quiet; }
  // The text of the last error box (for the tests and the log).
  const std::string& LastErrorText() const { return lastError_; }

  // IUnknown
  STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  // IActiveScriptSite
  STDMETHOD(GetLCID)(LCID* lcid) override;
  STDMETHOD(GetItemInfo)(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) override;
  STDMETHOD(GetDocVersionString)(BSTR* version) override;
  STDMETHOD(OnScriptTerminate)(const VARIANT* result, const EXCEPINFO* excep) override;
  STDMETHOD(OnStateChange)(SCRIPTSTATE state) override;
  STDMETHOD(OnScriptError)(IActiveScriptError* error) override;
  STDMETHOD(OnEnterScript)() override;
  STDMETHOD(OnLeaveScript)() override;
  // IActiveScriptSiteWindow (reached through the secondary table)
  STDMETHOD(GetWindow)(HWND* window) override;
  STDMETHOD(EnableModeless)(BOOL enable) override;

 private:
  LONG ref_ = 0;
  CComPtr<IDispatch> autoWindow_;
  CComPtr<ILXObject> object_;
  std::string autoWindowName_;
  CComPtr<IActiveScript> engine_;
  HWND frame_ = nullptr;
  const std::atomic<bool>* quiet_ = nullptr;
  std::string lastError_;
};

// The text of the error box for one engine error: "Script Error:\n", the description (a fixed
// text when the engine gives none), and the line (1-based) and character position when known.
std::string ScriptErrorText(const wchar_t* description, bool havePosition, ULONG line, LONG position);

#include "script_host.h"

#include <cstdio>

#include "lumivex/prompt.h"
#include "lx_object.h"
#include "scripting_resource.h"

namespace {

const wchar_t kLxObjectName[] = L"LXObject";
const DWORD kItemFlags = SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE;

std::string Narrow(const wchar_t* text) {
  if (!text || !*text) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
  if (!out.empty()) out.pop_back();
  return out;
}

std::wstring Widen(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace

std::string ScriptErrorText(const wchar_t* description, bool havePosition, ULONG line, LONG position) {
  char prefix[256] = "";
  if (LoadStringA(GetModuleHandleA(nullptr), IDS_SCRIPT_ERROR, prefix, sizeof prefix) <= 0)
    lstrcpynA(prefix, "Script Error:\n", sizeof prefix);
  std::string text = prefix;
  // The engine leaves some compile errors without a description.
  std::string what = Narrow(description);
  text += what.empty() ? "The script engine gave no description of this error." : what;
  if (havePosition) {
    char where[64];
    std::snprintf(where, sizeof where, "\nLine: %lu\nSymbol: %ld", static_cast<unsigned long>(line) + 1,
                  static_cast<long>(position));
    text += where;
  }
  return text;
}

CActiveScriptHost::CActiveScriptHost() : autoWindowName_("AutoWindow") {}
CActiveScriptHost::~CActiveScriptHost() = default;

bool CActiveScriptHost::Initialize(HWND frame, IDispatch* autoWindow, lx::ScriptLog* log,
                                   const std::atomic<bool>* stop, const std::string& text) {
  frame_ = frame;
  autoWindow_ = autoWindow;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"VBScript", &clsid))) return false;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                              reinterpret_cast<void**>(&engine_))))
    return false;
  if (FAILED(engine_->SetScriptSite(this))) return false;
  {
    CComPtr<IActiveScriptParse> parse;
    if (FAILED(engine_->QueryInterface(__uuidof(IActiveScriptParse), reinterpret_cast<void**>(&parse)))) return false;
    if (FAILED(parse->InitNew())) return false;
    std::wstring code = Widen(text);
    if (FAILED(parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, 0, nullptr, nullptr)))
      return false;
  }
  if (FAILED(engine_->AddNamedItem(Widen(autoWindowName_).c_str(), kItemFlags))) return false;
  CComObject<CLXObject>* object = nullptr;
  if (FAILED(CComObject<CLXObject>::CreateInstance(&object))) return false;
  object->AddRef();
  object->AttachLog(log);
  object->AttachStopFlag(stop);
  HRESULT hr = object->QueryInterface(IID_ILXObject, reinterpret_cast<void**>(&object_));
  object->Release();
  if (FAILED(hr)) return false;
  return SUCCEEDED(engine_->AddNamedItem(kLxObjectName, kItemFlags));
}

STDMETHODIMP CActiveScriptHost::QueryInterface(REFIID iid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveScriptSite)) {
    *ppv = static_cast<IActiveScriptSite*>(this);
  } else if (IsEqualIID(iid, IID_IActiveScriptSiteWindow)) {
    *ppv = static_cast<IActiveScriptSiteWindow*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

// The engine may call from its own threads on Windows; the count stays exact either way.
STDMETHODIMP_(ULONG) CActiveScriptHost::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
STDMETHODIMP_(ULONG) CActiveScriptHost::Release() {
  LONG n = InterlockedDecrement(&ref_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

STDMETHODIMP CActiveScriptHost::GetLCID(LCID* lcid) {
  if (!lcid) return E_POINTER;
  *lcid = 0x0409;
  return S_OK;
}

STDMETHODIMP CActiveScriptHost::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) {
  if (mask & SCRIPTINFO_IUNKNOWN) {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
  }
  if (mask & SCRIPTINFO_ITYPEINFO) {
    if (!typeInfo) return E_INVALIDARG;
    *typeInfo = nullptr;
  }
  if (!name || !(mask & (SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO))) return TYPE_E_ELEMENTNOTFOUND;
  IUnknown* object = nullptr;
  const CLSID* coclass = nullptr;
  if (lstrcmpiW(name, Widen(autoWindowName_).c_str()) == 0) {
    object = autoWindow_;
    coclass = &CLSID_AutoWindow;
  } else if (lstrcmpiW(name, kLxObjectName) == 0) {
    object = object_;
    coclass = &CLSID_LXObject;
  } else {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  if (mask & SCRIPTINFO_IUNKNOWN) {
    if (!object) return E_NOTIMPL;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(item));
    return S_OK;
  }
  // The type information comes from the program's own library.
  return FAILED(_Module.GetTypeInfo(*coclass, typeInfo)) ? E_NOTIMPL : S_OK;
}

STDMETHODIMP CActiveScriptHost::GetDocVersionString(BSTR*) { return E_NOTIMPL; }
STDMETHODIMP CActiveScriptHost::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) { return S_OK; }
STDMETHODIMP CActiveScriptHost::OnStateChange(SCRIPTSTATE) { return S_OK; }
STDMETHODIMP CActiveScriptHost::OnEnterScript() { return S_OK; }
STDMETHODIMP CActiveScriptHost::OnLeaveScript() { return S_OK; }

STDMETHODIMP CActiveScriptHost::OnScriptError(IActiveScriptError* error) {
  if (!error) return S_OK;
  EXCEPINFO info = {};
  if (FAILED(error->GetExceptionInfo(&info))) return S_OK;
  if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
  DWORD context = 0;
  ULONG line = 0;
  LONG position = 0;
  bool havePosition = SUCCEEDED(error->GetSourcePosition(&context, &line, &position));
  lastError_ = ScriptErrorText(info.bstrDescription, havePosition, line, position);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  if (quiet_ && quiet_->load()) return S_OK;
  // Owned by the desktop: the frame's thread keeps pumping the log's prints meanwhile.
  LxMessageBox(GetDesktopWindow(), lastError_.c_str(), "ActiveScripts", MB_OK | MB_SYSTEMMODAL);
  return S_OK;
}

STDMETHODIMP CActiveScriptHost::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = frame_;
  return S_OK;
}

STDMETHODIMP CActiveScriptHost::EnableModeless(BOOL) { return S_OK; }

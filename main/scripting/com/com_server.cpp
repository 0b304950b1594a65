#include "com_server.h"

#include "LXActiveScript_h.h"
#include "lumivex/atl.h"
#include "lx_object.h"
#include "scripting_resource.h"

CComModule _Module;

namespace lx {

namespace {
DWORD g_classCookie = 0;
}

void InitScriptModule(HINSTANCE instance) { _Module.Init(instance); }

bool RegisterScriptClassObjects() {
  if (g_classCookie) return true;
  if (!_Module.GetModuleInstance()) _Module.Init(GetModuleHandleA(nullptr));
  IClassFactory* factory = nullptr;
  if (FAILED(LxCreateFactory<CLXObject>(reinterpret_cast<void**>(&factory)))) return false;
  HRESULT hr = CoRegisterClassObject(CLSID_LXObject, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &g_classCookie);
  factory->Release();
  if (FAILED(hr)) g_classCookie = 0;
  return SUCCEEDED(hr);
}

void RevokeScriptClassObjects() {
  if (!g_classCookie) return;
  CoRevokeClassObject(g_classCookie);
  g_classCookie = 0;
}

HRESULT RegisterScriptServer(bool registering) {
  if (!_Module.GetModuleInstance()) _Module.Init(GetModuleHandleA(nullptr));
  HRESULT result = S_OK;
  auto keep = [&result](HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  };
  keep(_Module.UpdateRegistryFromResource(IDR_LUMIVEX_APPID, registering));
  keep(_Module.UpdateRegistryFromResource(IDR_LXOBJECT, registering));
  keep(registering ? _Module.RegisterTypeLib() : _Module.UnRegisterTypeLib());
  return result;
}

long ScriptObjectCount() { return _Module.GetLockCount(); }

bool ServeEmbedded(DWORD idleMilliseconds) {
  // A program no client can reach would serve nobody until its idle time ran out.
  if (!RegisterScriptClassObjects()) return false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 250, nullptr);
  DWORD start = GetTickCount();
  bool served = false;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    long objects = ScriptObjectCount();
    if (objects > 0) served = true;
    if (objects == 0 && (served || GetTickCount() - start >= idleMilliseconds)) break;
  }
  KillTimer(nullptr, timer);
  RevokeScriptClassObjects();
  return true;
}

}  // namespace lx

#include "com_server.h"

#include "LXActiveScript_h.h"
#include "lumivex/atl.h"
#include "lx_object.h"
#include "scripting_resource.h"

CComModule _Module;

namespace lx {

namespace {
DWORD g_classCookie = 0;
volatile LONG g_objectsMade = 0;

// The class object COM hands the clients: counts the objects it made for them. Whatever pumps
// messages during the start-up hands a waiting client's calls over there, so a client may come
// and go before the serving loop has seen any of its objects alive; it was served all the same.
class CountingFactory final : public LxSingleInterfaceObject<IClassFactory, &IID_IClassFactory> {
 public:
  explicit CountingFactory(IClassFactory* made) : made_(made) { made_->AddRef(); }
  ~CountingFactory() override { made_->Release(); }
  STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) override {
    HRESULT hr = made_->CreateInstance(outer, iid, ppv);
    if (SUCCEEDED(hr)) InterlockedIncrement(&g_objectsMade);
    return hr;
  }
  STDMETHOD(LockServer)(BOOL lock) override { return made_->LockServer(lock); }

 private:
  IClassFactory* made_;
};
}

void InitScriptModule(HINSTANCE instance) { _Module.Init(instance); }

bool RegisterScriptClassObjects() {
  if (g_classCookie) return true;
  if (!_Module.GetModuleInstance()) _Module.Init(GetModuleHandleA(nullptr));
  IClassFactory* made = nullptr;
  if (FAILED(LxCreateFactory<CLXObject>(reinterpret_cast<void**>(&made)))) return false;
  auto* factory = new (std::nothrow) CountingFactory(made);
  made->Release();
  if (!factory) return false;
  factory->AddRef();
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
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    if (ScriptObjectCount() > 0) continue;
    if (g_objectsMade > 0 || GetTickCount() - start >= idleMilliseconds) break;
  }
  KillTimer(nullptr, timer);
  RevokeScriptClassObjects();
  return true;
}

}  // namespace lx

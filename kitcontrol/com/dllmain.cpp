// TarnControl.dll: the module object, its two classes and the four standard exports.
#include "TarnControl_h.h"
#include "lumivex/atl.h"
#include "resource.h"
#include "tarn.h"
#include "tarn_event_handler.h"

CComModule _Module;

namespace {
const LxClassEntry kClasses[] = {
    {&CLSID_Tarn, &LxCreateFactory<CTarn>, IDR_TARN},
    {&CLSID_TarnEventHandler, &LxCreateFactory<CTarnEventHandler>, IDR_TARNEVENTHANDLER},
};
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        _Module.Init(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return _Module.GetLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    return LxDllGetClassObject(kClasses, 2, clsid, iid, ppv);
}

STDAPI DllRegisterServer() { return LxDllRegisterServer(kClasses, 2, IDR_TARNCONTROL, true); }

STDAPI DllUnregisterServer() { return LxDllRegisterServer(kClasses, 2, IDR_TARNCONTROL, false); }

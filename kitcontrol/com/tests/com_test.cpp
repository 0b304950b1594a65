// TarnControl as its clients use it: registered by regsvr32, created by class id, called through the
// vtable and through IDispatch, against the simulated kits (LX_KITSIM=1a6a:0200,II,II: a kit of an
// unknown product first, then two type II kits).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TarnControl_h.h"
#include "lumivex/atl.h"
#include "lumivex/procaddress.h"

CComModule _Module;  // the helpers' module object; this test serves no classes

namespace {

struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Com() { CoUninitialize(); }
};

CComPtr<ITarn> NewTarn() {
    CComPtr<ITarn> t;
    HRESULT hr = CoCreateInstance(CLSID_Tarn, nullptr, CLSCTX_INPROC_SERVER, IID_ITarn, reinterpret_cast<void**>(&t));
    EXPECT_EQ(hr, S_OK);
    return t;
}

std::string Narrow(const wchar_t* w) {
    std::string s;
    for (; w && *w; ++w) s += static_cast<char>(*w);
    return s;
}

std::string RegValue(const char* key, const char* name) {
    char buf[512] = {};
    LONG size = sizeof buf;
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return "<missing>";
    DWORD type = 0, n = sizeof buf;
    LONG r = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &n);
    RegCloseKey(k);
    (void)size;
    return r == ERROR_SUCCESS ? std::string(buf) : "<missing>";
}

// The simulated kits live in LxKitSim.dll, loaded by TarnControl.dll into this process.
int ChipRead(int kit, unsigned offset, void* buf, unsigned n) {
    auto fn = LxGetProc<int (*)(int, unsigned, void*, unsigned)>(GetModuleHandleA("LxKitSim.dll"), "LxKitSimChipRead");
    return fn ? fn(kit, offset, buf, n) : -2;
}

class Sink : public ITarnEvents {
public:
    explicit Sink(HRESULT answer = S_OK) : answer_(answer) {}
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITarnEvents)) {
            *ppv = static_cast<ITarnEvents*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++ref; }
    STDMETHOD_(ULONG, Release)() override { return --ref; }
    STDMETHOD(OnTarnEvent)(TarnEvent_t e, ULONG p) override {
        events.push_back({static_cast<int>(e), p});
        return answer_;
    }
    STDMETHOD(OnTarnError)(TarnErrorCause_t c) override {
        errors.push_back(c);
        return answer_;
    }
    STDMETHOD(OnTarnMessage)(BSTR m) override {
        messages.push_back(m);
        return answer_;
    }
    ULONG ref = 1;
    std::vector<std::pair<int, ULONG>> events;
    std::vector<int> errors;
    std::vector<BSTR> messages;

private:
    HRESULT answer_;
};

DWORD Advise(ITarn* t, ITarnEvents* sink) {
    CComPtr<IConnectionPointContainer> cpc;
    EXPECT_EQ(t->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
    CComPtr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_ITarnEvents, &cp), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(cp->Advise(sink, &cookie), S_OK);
    return cookie;
}

void Unadvise(ITarn* t, DWORD cookie) {
    CComPtr<IConnectionPointContainer> cpc;
    t->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    CComPtr<IConnectionPoint> cp;
    cpc->FindConnectionPoint(IID_ITarnEvents, &cp);
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
}

TEST(TarnControl, Registration) {
    EXPECT_EQ(RegValue("TarnControl.Tarn.1\\CLSID", ""), "{EFDD0D3C-B495-4DA9-8411-F81BAB54D94A}");
    EXPECT_EQ(RegValue("TarnControl.Tarn\\CurVer", ""), "TarnControl.Tarn.1");
    EXPECT_EQ(RegValue("CLSID\\{EFDD0D3C-B495-4DA9-8411-F81BAB54D94A}", ""), "CTarn Object");
    EXPECT_EQ(RegValue("CLSID\\{EFDD0D3C-B495-4DA9-8411-F81BAB54D94A}\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(RegValue("TarnManager.TarnEventHandler.1\\CLSID", ""), "{837B6B7D-9D95-4D28-9463-D475A062E1C2}");
    EXPECT_EQ(RegValue("CLSID\\{837B6B7D-9D95-4D28-9463-D475A062E1C2}\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(RegValue("AppID\\{9DB16C77-F3E6-4FF2-AF5A-2F12D96BE0A2}", ""), "TarnControl");
    EXPECT_EQ(RegValue("AppID\\TarnControl.DLL", "AppID"), "{9DB16C77-F3E6-4FF2-AF5A-2F12D96BE0A2}");
    EXPECT_EQ(RegValue("TypeLib\\{9DB16C77-F3E6-4FF2-AF5A-2F12D96BE0A2}\\1.0", ""), "TarnControl 1.0 Type Library");
    std::string server = RegValue("CLSID\\{EFDD0D3C-B495-4DA9-8411-F81BAB54D94A}\\InprocServer32", "");
    EXPECT_NE(server.find("TarnControl.dll"), std::string::npos) << server;
}

TEST(TarnControl, IdentitiesAndConnectionThroughTheVtable) {
    Com com;
    CComPtr<ITarn> t = NewTarn();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->ConnectTarn(), E_ACCESSDENIED) << "type I is selected and only type II kits exist";
    EXPECT_EQ(t->SelectTarnType(TarnType_II), S_OK);
    ASSERT_EQ(t->ConnectTarn(), S_OK);
    EXPECT_EQ(t->ConnectTarn(), S_OK) << "a second connect keeps the kit";
    ULONG id = 0;
    EXPECT_EQ(t->GetFIRMWARE_ID(&id), S_OK);
    EXPECT_EQ(id, 0x00020005u);
    EXPECT_EQ(t->GetCPLD_ID(&id), S_OK);
    EXPECT_EQ(id, 0x00000107u);
    BYTE hs = 0;
    EXPECT_EQ(t->GetUSB_HighSpeedFlag(&hs), S_OK);
    EXPECT_EQ(hs, 1);
    EXPECT_EQ(t->CloseTarn(), S_OK);
    EXPECT_EQ(t->CloseTarn(), S_OK);
    EXPECT_EQ(t->GetCPLD_ID(&id), static_cast<HRESULT>(0x80000000)) << "disconnected";

    // The two slots past the interface answer E_NOTIMPL.
    using Slot = HRESULT(STDMETHODCALLTYPE*)(ITarn*);
    void** vtbl = *reinterpret_cast<void***>(static_cast<ITarn*>(t));
    EXPECT_EQ(reinterpret_cast<Slot>(vtbl[68])(t), E_NOTIMPL);
    EXPECT_EQ(reinterpret_cast<Slot>(vtbl[69])(t), E_NOTIMPL);
}

TEST(TarnControl, ErrorsCarryTheirTextAsErrorInfo) {
    Com com;
    CComPtr<ITarn> t = NewTarn();
    t->SelectTarnType(TarnType_II);
    ASSERT_EQ(t->ConnectTarn(), S_OK);
    struct Case {
        HRESULT (*call)(ITarn*);
        HRESULT hr;
        const wchar_t* text;
    } cases[] = {
        {[](ITarn* x) { return x->TarnConfiguration(0, 4, 0); }, static_cast<HRESULT>(0x80000000),
         L"Invalid memory configuration"},
        {[](ITarn* x) { return x->SetVoltage(static_cast<Tarn_PowerSource_t>(1), 1800); }, E_NOTIMPL,
         L"Not Implemented"},
        {[](ITarn* x) { return x->SetVoltage(Tarn_PowerSource_V18_VIO, 999); }, E_INVALIDARG, L"Invalid voltage"},
        {[](ITarn* x) { return x->SetInitialAccessCycle(21); }, static_cast<HRESULT>(0x80000000),
         L"SetInitialAccessCycle : Out of Range"},
        {[](ITarn* x) { return x->MemControlMode(0, 2, 32); }, static_cast<HRESULT>(0x80000000),
         L"Invalid burst length"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.call(t), c.hr);
        CComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        CComBSTR description, source;
        info->GetDescription(&description);
        info->GetSource(&source);
        GUID g;
        info->GetGUID(&g);
        EXPECT_EQ(std::wstring(description.m_str), std::wstring(c.text));
        EXPECT_EQ(Narrow(source), "TarnControl.Tarn.1");
        EXPECT_TRUE(IsEqualGUID(g, IID_ITarn));
    }
    CComPtr<ISupportErrorInfo> sei;
    ASSERT_EQ(t->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)), S_OK);
    EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID_ITarn), S_OK);
    // The queue rule through the interface.
    t->PowerControl(1);
    ASSERT_EQ(t->TarnConfiguration(0, 1, 0), S_OK);
    ASSERT_EQ(t->Qwrite16(0x10, 0xF0, 3), S_OK);
    EXPECT_EQ(t->Write16(0x10, 0xF0), static_cast<HRESULT>(0x80000000));
    EXPECT_EQ(t->Qflush(), S_OK);
    EXPECT_EQ(t->Write16(0x10, 0xF0), S_OK);
    t->CloseTarn();
}

TEST(TarnControl, NorReadProgramAndEraseLeaveTheChipHoldingTheBytes) {
    Com com;
    CComPtr<ITarn> t = NewTarn();
    t->SelectTarnType(TarnType_II);
    ASSERT_EQ(t->ConnectTarn(), S_OK);
    ASSERT_EQ(t->SetRampUpTemplate(Tarn_PowerRampUp_Slop0, Tarn_PowerRampUp_Slop0), S_OK);
    ASSERT_EQ(t->SetVoltage(Tarn_PowerSource_V18_VIO, 1800), S_OK);
    ASSERT_EQ(t->PowerControl(1), S_OK);
    ASSERT_EQ(t->SetInitialAccessCycle(7), S_OK);
    ASSERT_EQ(t->ResetMemory(255, 0), S_OK);
    ASSERT_EQ(t->TarnConfiguration(0, 1, 0), S_OK);
    ASSERT_EQ(t->ConfigTarnPollingMethod(1, 0xFFFFFFFF), S_OK);

    // Autoselect through single reads.
    auto cmd = [&](USHORT c) {
        t->Qwrite16(0x555, 0xAA, 3);
        t->Qwrite16(0x2AA, 0x55, 3);
        t->Qwrite16(0x555, c, 3);
    };
    cmd(0x90);
    ASSERT_EQ(t->Qflush(), S_OK);
    USHORT v = 0;
    ASSERT_EQ(t->Read16(0, &v), S_OK);
    EXPECT_EQ(v, 0x0001);
    t->Qwrite16(0, 0xF0, 3);

    // Program 64 words at word 0x20000 (sector 4), the kit polling after each.
    for (USHORT i = 0; i < 64; ++i) {
        cmd(0xA0);
        ASSERT_EQ(t->Qwrite16(0x20000 + i, static_cast<USHORT>(0x1000 + i * 3), 1), S_OK);
    }
    ASSERT_EQ(t->Qflush(), S_OK);
    std::vector<BYTE> buf(128);
    ASSERT_EQ(t->NORArrayRead(0x20000, 128, 2, buf.data()), S_OK);
    std::vector<BYTE> chip(128);
    ASSERT_EQ(ChipRead(1, 0x40000, chip.data(), 128), 0);
    EXPECT_EQ(buf, chip);
    EXPECT_EQ(chip[2], 0x03);
    EXPECT_EQ(chip[3], 0x10);
    BYTE status = 9;
    EXPECT_EQ(t->GetTarnPollingStatus(&status), S_OK);
    EXPECT_EQ(status, 0);

    // Sector erase, then the words read back erased.
    cmd(0x80);
    t->Qwrite16(0x555, 0xAA, 3);
    t->Qwrite16(0x2AA, 0x55, 3);
    ASSERT_EQ(t->Qwrite16(0x20000, 0x30, 2), S_OK);
    ASSERT_EQ(t->Qflush(), S_OK);
    ASSERT_EQ(ChipRead(1, 0x40000, chip.data(), 128), 0);
    EXPECT_EQ(chip, std::vector<BYTE>(128, 0xFF));
    VARIANT dump;
    ASSERT_EQ(t->DumpNORMemoryToString(0x20000, 0x20001, &dump), S_OK);
    EXPECT_EQ(V_VT(&dump), VT_BSTR);
    EXPECT_EQ(Narrow(V_BSTR(&dump)), " FF FF FF FF\r\n");
    VariantClear(&dump);
    t->CloseTarn();
}

TEST(TarnControl, IDispatchOverTheTypeLibrary) {
    Com com;
    CComPtr<ITarn> t = NewTarn();
    CComPtr<IDispatch> d;
    ASSERT_EQ(t->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
    struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {{L"ConnectTarn", 1}, {L"Read16", 0xa}, {L"ResetMemory", 0x15}, {L"TarnFPGAOnTheFly", 0x37},
                 {L"SetVoltage", 0x43}};
    for (auto& n : names) {
        LPOLESTR s = const_cast<LPOLESTR>(n.name);
        DISPID id = -1;
        ASSERT_EQ(d->GetIDsOfNames(IID_NULL, &s, 1, 0, &id), S_OK);
        EXPECT_EQ(id, n.id);
    }
    CComPtr<ITypeInfo> ti;
    ASSERT_EQ(d->GetTypeInfo(0, 0, &ti), S_OK);
    TYPEATTR* ta = nullptr;
    ASSERT_EQ(ti->GetTypeAttr(&ta), S_OK);
    EXPECT_EQ(ta->cFuncs, 7 + 61) << "the dispatch view lists IDispatch's seven and the 61 methods";
    ti->ReleaseTypeAttr(ta);

    auto call = [&](DISPID id, std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* ex) {
        DISPPARAMS p{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, result, ex, nullptr);
    };
    VARIANT a;
    V_VT(&a) = VT_I4;
    V_I4(&a) = 1;
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(call(0x3c, {a}, &r, nullptr), S_OK);  // SelectTarnType(1)
    ASSERT_EQ(call(0x1, {}, &r, nullptr), S_OK);
    ASSERT_EQ(call(0x3, {}, &r, nullptr), S_OK);    // GetFIRMWARE_ID
    EXPECT_EQ(V_VT(&r), VT_UI4);
    EXPECT_EQ(V_UI4(&r), 0x00020005u);
    VARIANT bad[3];
    for (auto& b : bad) {
        V_VT(&b) = VT_I4;
        V_I4(&b) = 0;
    }
    V_I4(&bad[1]) = 9;                              // memConfig (arguments go last to first)
    EXCEPINFO ex{};
    EXPECT_EQ(call(0x5, {bad[0], bad[1], bad[2]}, &r, &ex), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, static_cast<HRESULT>(0x80000000));
    EXPECT_EQ(Narrow(ex.bstrDescription), "Invalid memory configuration");
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrHelpFile);
    VariantClear(&r);
    ASSERT_EQ(call(0x2c, {a}, &r, nullptr), S_OK);  // GetReadCommandPacket(1)
    EXPECT_EQ(V_VT(&r), VT_BSTR);
    VariantClear(&r);

    // The record argument by value, through the vtable.
    TarnPowerRampUpParameter_t ramp{};
    ramp.nDivision = 4;
    for (int i = 0; i < 64; ++i) ramp.nParameter[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(t->SetRampUpParameter(1, ramp), S_OK);
    auto kit = LxGetProc<void* (*)(int)>(GetModuleHandleA("LxKitSim.dll"), "LxKitSimKit");
    ASSERT_NE(kit, nullptr);
    t->CloseTarn();

    CComPtr<IProvideClassInfo2> pci;
    ASSERT_EQ(t->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&pci)), S_OK);
    GUID g;
    EXPECT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &g), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, IID_ITarnEvents));
}

TEST(TarnControl, EventsReachEverySinkAndTheRelay) {
    Com com;
    CComPtr<ITarn> t = NewTarn();
    t->SelectTarnType(TarnType_II);
    Sink a, failing(E_FAIL);
    DWORD ca = Advise(t, &a), cf = Advise(t, &failing);
    ASSERT_EQ(t->ConnectTarn(), S_OK);
    ASSERT_EQ(t->CloseTarn(), S_OK);
    EXPECT_EQ(a.events, (std::vector<std::pair<int, ULONG>>{{0, 0}, {1, 0}}));
    EXPECT_EQ(failing.events.size(), 2u);

    CComPtr<ITarnEventSource> src;
    ASSERT_EQ(t->QueryInterface(IID_ITarnEventSource, reinterpret_cast<void**>(&src)), S_OK);
    BSTR text = SysAllocString(L"step 1");
    EXPECT_EQ(src->FireMessage(text), S_OK) << "a failing sink does not fail the fire";
    ASSERT_EQ(a.messages.size(), 1u);
    ASSERT_EQ(failing.messages.size(), 1u);
    EXPECT_EQ(a.messages[0], text) << "every sink sees the caller's string, which the caller frees";
    SysFreeString(text);
    EXPECT_EQ(src->FireError(TarnErrorCause_FileNotFound), S_OK);
    EXPECT_EQ(a.errors, std::vector<int>{1});
    Unadvise(t, ca);
    Unadvise(t, cf);
    EXPECT_EQ(a.ref, 1u) << "the connection point let go of the sink";

    // The relay.
    CComPtr<ITarnEventHandler> relay;
    ASSERT_EQ(CoCreateInstance(CLSID_TarnEventHandler, nullptr, CLSCTX_INPROC_SERVER, IID_ITarnEventHandler,
                               reinterpret_cast<void**>(&relay)),
              S_OK);
    struct {
        const wchar_t* name;
        DISPID id;
    } relayNames[] = {{L"HookEvent", 0x60020000}, {L"UnhookEvent", 0x60020001}};
    for (auto& n : relayNames) {
        LPOLESTR s = const_cast<LPOLESTR>(n.name);
        DISPID id = -1;
        ASSERT_EQ(relay->GetIDsOfNames(IID_NULL, &s, 1, 0, &id), S_OK);
        EXPECT_EQ(id, n.id);
    }
    CComPtr<ITarnEvents> relayEvents;
    ASSERT_EQ(relay->QueryInterface(IID_ITarnEvents, reinterpret_cast<void**>(&relayEvents)), S_OK);
    EXPECT_EQ(relayEvents->OnTarnEvent(TarnEvent_OnTarnConnect, 0), static_cast<HRESULT>(0x80000001));
    Sink h;
    EXPECT_EQ(relay->HookEvent(relay, &h), E_NOINTERFACE) << "the source must be a control object";
    ASSERT_EQ(relay->HookEvent(t, &h), S_OK);
    ASSERT_EQ(relay->HookEvent(t, &h), S_OK);
    EXPECT_EQ(src->FireEvent(TarnEvent_OnProgressTarnFPGABurn, 42), S_OK);
    EXPECT_EQ(h.events, (std::vector<std::pair<int, ULONG>>{{13, 42}})) << "a second hook replaced the first";
    ASSERT_EQ(relay->UnhookEvent(t), S_OK);
    src->FireEvent(TarnEvent_OnProgressTarnFPGABurn, 43);
    EXPECT_EQ(h.events.size(), 1u);
}

TEST(TarnControl, AggregationAndClassFactory) {
    Com com;
    struct Outer : IUnknown {
        STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
            if (IsEqualIID(iid, IID_IUnknown)) {
                *ppv = this;
                AddRef();
                return S_OK;
            }
            return inner->QueryInterface(iid, ppv);
        }
        STDMETHOD_(ULONG, AddRef)() override { return ++ref; }
        STDMETHOD_(ULONG, Release)() override { return --ref; }
        IUnknown* inner = nullptr;
        ULONG ref = 1;
    } outer;
    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Tarn, &outer, CLSCTX_INPROC_SERVER, IID_ITarn, &p), CLASS_E_NOAGGREGATION);
    ASSERT_EQ(CoCreateInstance(CLSID_Tarn, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    ITarn* t = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITarn, reinterpret_cast<void**>(&t)), S_OK);
    ULONG before = outer.ref;
    IUnknown* back = nullptr;
    ASSERT_EQ(t->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, static_cast<IUnknown*>(&outer)) << "the inner object's IUnknown is the outer one";
    EXPECT_GT(outer.ref, before);
    EXPECT_EQ(t->SelectTarnType(TarnType_II), S_OK);
    t->Release();
    outer.inner->Release();
}

TEST(TarnControl, OneKitPerHolderAndTheSecondKitForTheNext) {
    Com com;
    CComPtr<ITarn> a = NewTarn(), b = NewTarn(), c = NewTarn();
    for (ITarn* t : {a.p, b.p, c.p}) t->SelectTarnType(TarnType_II);
    ASSERT_EQ(a->ConnectTarn(), S_OK);
    ASSERT_EQ(b->ConnectTarn(), S_OK) << "the second kit";
    EXPECT_EQ(c->ConnectTarn(), E_ACCESSDENIED) << "both kits are held";
    // Each object keeps its own link: a's queue is not b's.
    ASSERT_EQ(a->Qwrite16(0, 0xF0, 3), S_OK);
    EXPECT_EQ(b->Write16(0, 0xF0), S_OK);
    EXPECT_EQ(a->Write16(0, 0xF0), static_cast<HRESULT>(0x80000000));
    a->CloseTarn();
    EXPECT_EQ(c->ConnectTarn(), S_OK) << "released at close";
    b.Release();  // releasing the object releases its kit too
    EXPECT_EQ(a->ConnectTarn(), S_OK);
}

TEST(TarnControlNoKit, ConnectAbortsWithoutKits) {
    const char* sim = std::getenv("LX_KITSIM");
    if (sim && *sim && std::string(sim) != "0") GTEST_SKIP() << "only without simulated kits";
    Com com;
    CComPtr<ITarn> t = NewTarn();
    t->SelectTarnType(TarnType_II);
    EXPECT_EQ(t->ConnectTarn(), E_ABORT);
    EXPECT_EQ(t->CloseTarn(), S_OK);
}

// Run by the cross-process test in a child process: holds the first kit until told to let go.
TEST(TarnControlChild, HoldsAKit) {
    if (!std::getenv("LX_TARN_CHILD")) GTEST_SKIP() << "only as the child of the cross-process test";
    Com com;
    CComPtr<ITarn> t = NewTarn();
    t->SelectTarnType(TarnType_II);
    ASSERT_EQ(t->ConnectTarn(), S_OK);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "LumivexTarnTestReady");
    HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, "LumivexTarnTestDone");
    ASSERT_TRUE(ready && done);
    SetEvent(ready);
    WaitForSingleObject(done, 30000);
    t->CloseTarn();
}

TEST(TarnControl, TwoProcessesCannotHoldOneKit) {
    Com com;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "LumivexTarnTestReady");
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, "LumivexTarnTestDone");
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string cmd = std::string("\"") + exe + "\" --gtest_filter=TarnControlChild.HoldsAKit";
    SetEnvironmentVariableA("LX_TARN_CHILD", "1");
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableA("LX_TARN_CHILD", nullptr);
    ASSERT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);

    CComPtr<ITarn> a = NewTarn(), b = NewTarn();
    a->SelectTarnType(TarnType_II);
    b->SelectTarnType(TarnType_II);
    ASSERT_EQ(a->ConnectTarn(), S_OK) << "the second kit is free";
    EXPECT_EQ(b->ConnectTarn(), E_ACCESSDENIED) << "the first is the child's";
    SetEvent(done);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(b->ConnectTarn(), S_OK) << "the child released it";
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(ready);
    CloseHandle(done);
}

TEST(TarnControl, LoadingMethodsWithoutImageOrLoader) {
    Com com;
    CComPtr<ITarn> t = NewTarn();
    t->SelectTarnType(TarnType_II);
    Sink s;
    DWORD cookie = Advise(t, &s);
    ASSERT_EQ(t->ConnectTarn(), S_OK);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(t->TarnFPGAOnTheFly(&empty), E_POINTER);
    EXPECT_EQ(s.events.back().first, 1) << "the load disconnected the object";
    VARIANT missing;
    V_VT(&missing) = VT_BSTR;
    V_BSTR(&missing) = SysAllocString(L"C:\\no\\such\\image.bin");
    EXPECT_EQ(t->TarnUSBBurn(&missing), E_POINTER);
    VariantClear(&missing);

    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 16);
    VARIANT image;
    V_VT(&image) = VT_ARRAY | VT_UI1;
    V_ARRAY(&image) = sa;
    EXPECT_EQ(t->TarnFPGAOnTheFlyViaJTAG(&image), E_NOTIMPL);
    EXPECT_EQ(t->TarnFPGABurn(&image, &image), E_ABORT) << "neither image is VME byte code";
    VariantClear(&image);
    Unadvise(t, cookie);
}

}  // namespace

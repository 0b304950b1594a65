#include "lumivex/atl.h"

#include <cstring>
#include <string>

// The system's registration-script engine (its interface as the Registrar publishes it).
MIDL_INTERFACE("44EC053B-400F-11D0-9DCD-00A0C90391D3")
IRegistrar : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
};

namespace {

const CLSID kClsidRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID kIidRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

std::wstring Widen(const char* s, int length = -1) {
    int n = MultiByteToWideChar(CP_ACP, 0, s, length, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, length, &w[0], n);
    if (length < 0 && !w.empty()) w.pop_back();  // the terminator
    return w;
}

// A snapshot enumerator over IUnknown-bearing items (CONNECTDATA or IConnectionPoint*).
template <class EnumItf, class Item, const IID* piid>
class SnapshotEnum : public LxSingleInterfaceObject<EnumItf, piid> {
public:
    explicit SnapshotEnum(std::vector<Item> items) : items_(std::move(items)) {
        for (auto& i : items_) Unknown(i)->AddRef();
    }
    ~SnapshotEnum() override {
        for (auto& i : items_) Unknown(i)->Release();
    }
    STDMETHOD(Next)(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && pos_ < items_.size(); ++n, ++pos_) {
            out[n] = items_[pos_];
            Unknown(out[n])->AddRef();
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHOD(Skip)(ULONG count) override {
        pos_ += count;
        if (pos_ > items_.size()) {
            pos_ = items_.size();
            return S_FALSE;
        }
        return S_OK;
    }
    STDMETHOD(Reset)() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHOD(Clone)(EnumItf** out) override {
        if (!out) return E_POINTER;
        auto* c = new (std::nothrow) SnapshotEnum(items_);
        if (!c) return E_OUTOFMEMORY;
        c->pos_ = pos_;
        c->AddRef();
        *out = c;
        return S_OK;
    }

private:
    static IUnknown* Unknown(const CONNECTDATA& d) { return d.pUnk; }
    static IUnknown* Unknown(IConnectionPoint* p) { return p; }
    std::vector<Item> items_;
    size_t pos_ = 0;
};

using ConnectionsEnum = SnapshotEnum<IEnumConnections, CONNECTDATA, &IID_IEnumConnections>;
using PointsEnum = SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, &IID_IEnumConnectionPoints>;

}  // namespace

CComBSTR::CComBSTR(const char* s) : m_str(nullptr) {
    if (s) {
        std::wstring w = Widen(s);
        m_str = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    }
}

// ---------------------------------------------------------------------------------------------
// Module

CRITICAL_SECTION* CComModule::TypeLock() {
    static CRITICAL_SECTION cs;
    static bool ready = [] {
        InitializeCriticalSection(&cs);
        return true;
    }();
    (void)ready;
    return &cs;
}

ITypeLib* CComModule::TypeLib() {
    EnterCriticalSection(TypeLock());
    if (!typeLib_) {
        wchar_t path[MAX_PATH] = {};
        ModulePath(path, MAX_PATH);
        LoadTypeLibEx(path, REGKIND_NONE, &typeLib_);
    }
    ITypeLib* t = typeLib_;
    LeaveCriticalSection(TypeLock());
    return t;
}

HRESULT CComModule::GetTypeInfo(REFGUID guid, ITypeInfo** out) {
    ITypeLib* t = TypeLib();
    if (!t) return TYPE_E_CANTLOADLIBRARY;
    return t->GetTypeInfoOfGuid(guid, out);
}

HRESULT CComModule::RegisterTypeLib() {
    wchar_t path[MAX_PATH] = {};
    ModulePath(path, MAX_PATH);
    CComPtr<ITypeLib> t;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &t);
    if (FAILED(hr)) return hr;
    return ::RegisterTypeLib(t, path, nullptr);
}

HRESULT CComModule::UnRegisterTypeLib() {
    ITypeLib* t = TypeLib();
    if (!t) return TYPE_E_CANTLOADLIBRARY;
    TLIBATTR* a = nullptr;
    HRESULT hr = t->GetLibAttr(&a);
    if (FAILED(hr)) return hr;
    hr = ::UnRegisterTypeLib(a->guid, a->wMajorVerNum, a->wMinorVerNum, a->lcid, a->syskind);
    t->ReleaseTLibAttr(a);
    return hr;
}

HRESULT CComModule::UpdateRegistryFromResource(UINT rgsId, bool registering) {
    HRSRC res = FindResourceA(m_hInst, MAKEINTRESOURCEA(rgsId), "REGISTRY");
    HGLOBAL mem = res ? LoadResource(m_hInst, res) : nullptr;
    const char* text = mem ? static_cast<const char*>(LockResource(mem)) : nullptr;
    if (!text) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
    std::wstring script = Widen(text, static_cast<int>(SizeofResource(m_hInst, res)));
    CComPtr<IRegistrar> reg;
    HRESULT hr = CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                  reinterpret_cast<void**>(&reg));
    if (FAILED(hr)) return hr;
    wchar_t path[MAX_PATH] = {};
    ModulePath(path, MAX_PATH);
    reg->AddReplacement(L"MODULE", path);
    return registering ? reg->StringRegister(script.c_str()) : reg->StringUnregister(script.c_str());
}

HRESULT AtlReportError(REFCLSID clsid, const char* text, REFIID iid, HRESULT hr) {
    CComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        LPOLESTR source = nullptr;
        if (FAILED(ProgIDFromCLSID(clsid, &source))) StringFromCLSID(clsid, &source);
        std::wstring description = Widen(text);
        create->SetGUID(iid);
        create->SetSource(source);
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        CoTaskMemFree(source);
        CComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.QueryInterface(&info))) SetErrorInfo(0, info);
    }
    return hr;
}

// ---------------------------------------------------------------------------------------------
// Connection points

CComConnectionPoint::~CComConnectionPoint() {
    for (auto& s : sinks_) s.second->Release();
    DeleteCriticalSection(&cs_);
}

HRESULT CComConnectionPoint::QueryInterface(REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CComConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

HRESULT CComConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    if (!out) return E_POINTER;
    *out = container_;
    container_->AddRef();
    return S_OK;
}

HRESULT CComConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IUnknown* itf = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&itf))) || !itf) return CONNECT_E_CANNOTCONNECT;
    EnterCriticalSection(&cs_);
    *cookie = nextCookie_++;
    sinks_.push_back({*cookie, itf});
    LeaveCriticalSection(&cs_);
    return S_OK;
}

HRESULT CComConnectionPoint::Unadvise(DWORD cookie) {
    IUnknown* gone = nullptr;
    EnterCriticalSection(&cs_);
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first == cookie) {
            gone = it->second;
            sinks_.erase(it);
            break;
        }
    }
    LeaveCriticalSection(&cs_);
    if (!gone) return CONNECT_E_NOCONNECTION;
    gone->Release();
    return S_OK;
}

HRESULT CComConnectionPoint::EnumConnections(IEnumConnections** out) {
    if (!out) return E_POINTER;
    std::vector<CONNECTDATA> data;
    EnterCriticalSection(&cs_);
    for (auto& s : sinks_) data.push_back({s.second, s.first});
    auto* e = new (std::nothrow) ConnectionsEnum(data);
    LeaveCriticalSection(&cs_);
    if (!e) return E_OUTOFMEMORY;
    e->AddRef();
    *out = e;
    return S_OK;
}

std::vector<IUnknown*> CComConnectionPoint::Sinks() {
    std::vector<IUnknown*> copy;
    EnterCriticalSection(&cs_);
    for (auto& s : sinks_) {
        s.second->AddRef();
        copy.push_back(s.second);
    }
    LeaveCriticalSection(&cs_);
    return copy;
}

HRESULT FindConnectionPoint(CComConnectionPoint* const* points, size_t count, REFIID iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (IsEqualIID(points[i]->Iid(), iid)) {
            *out = points[i];
            points[i]->AddRef();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT EnumConnectionPoints(CComConnectionPoint* const* points, size_t count, IEnumConnectionPoints** out) {
    if (!out) return E_POINTER;
    std::vector<IConnectionPoint*> list(points, points + count);
    auto* e = new (std::nothrow) PointsEnum(list);
    if (!e) return E_OUTOFMEMORY;
    e->AddRef();
    *out = e;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Exports

HRESULT LxDllGetClassObject(const LxClassEntry* classes, size_t count, REFCLSID clsid, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (!IsEqualCLSID(*classes[i].clsid, clsid)) continue;
        IClassFactory* f = nullptr;
        HRESULT hr = classes[i].createFactory(reinterpret_cast<void**>(&f));
        if (FAILED(hr)) return hr;
        hr = f->QueryInterface(iid, ppv);
        f->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT LxDllRegisterServer(const LxClassEntry* classes, size_t count, UINT moduleRgs, bool registering) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr = S_OK;
    if (registering) {
        if (moduleRgs) hr = _Module.UpdateRegistryFromResource(moduleRgs, true);
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i)
            hr = _Module.UpdateRegistryFromResource(classes[i].rgsResource, true);
        if (SUCCEEDED(hr)) hr = _Module.RegisterTypeLib();
    } else {
        // Unregister everything that can be, and report the first failure.
        for (size_t i = 0; i < count; ++i) {
            HRESULT r = _Module.UpdateRegistryFromResource(classes[i].rgsResource, false);
            if (SUCCEEDED(hr) && FAILED(r)) hr = r;
        }
        if (moduleRgs) {
            HRESULT r = _Module.UpdateRegistryFromResource(moduleRgs, false);
            if (SUCCEEDED(hr) && FAILED(r)) hr = r;
        }
        HRESULT r = _Module.UnRegisterTypeLib();
        if (SUCCEEDED(hr) && FAILED(r) && r != TYPE_E_REGISTRYACCESS) hr = r;
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return hr;
}

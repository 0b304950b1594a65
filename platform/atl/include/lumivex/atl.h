// The COM helpers our in-process servers use: smart pointers and strings, an object root with
// aggregation, the class factory, IDispatch over the module's type library, connection points,
// error info, and registration through .rgs resources and the system's Registrar. Only what our
// servers need is here.
#pragma once
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <new>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Smart types

template <class T>
class CComPtr {
public:
    CComPtr() : p(nullptr) {}
    CComPtr(T* q) : p(q) { if (p) p->AddRef(); }
    CComPtr(const CComPtr& o) : p(o.p) { if (p) p->AddRef(); }
    ~CComPtr() { if (p) p->Release(); }
    CComPtr& operator=(T* q) {
        if (q) q->AddRef();
        if (p) p->Release();
        p = q;
        return *this;
    }
    CComPtr& operator=(const CComPtr& o) { return *this = o.p; }
    T* operator->() const { return p; }
    operator T*() const { return p; }
    T** operator&() { return &p; }
    void Release() {
        if (p) {
            T* q = p;
            p = nullptr;
            q->Release();
        }
    }
    T* Detach() {
        T* q = p;
        p = nullptr;
        return q;
    }
    template <class Q>
    HRESULT QueryInterface(Q** out) const {
        return p ? p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(out)) : E_POINTER;
    }
    T* p;
};

class CComBSTR {
public:
    CComBSTR() : m_str(nullptr) {}
    explicit CComBSTR(const wchar_t* s) : m_str(s ? SysAllocString(s) : nullptr) {}
    explicit CComBSTR(const char* s);
    ~CComBSTR() { SysFreeString(m_str); }
    CComBSTR(const CComBSTR&) = delete;
    CComBSTR& operator=(const CComBSTR&) = delete;
    operator BSTR() const { return m_str; }
    BSTR* operator&() { return &m_str; }
    BSTR Detach() {
        BSTR s = m_str;
        m_str = nullptr;
        return s;
    }
    UINT Length() const { return SysStringLen(m_str); }
    BSTR m_str;
};

class CComVariant : public VARIANT {
public:
    CComVariant() { VariantInit(this); }
    ~CComVariant() { VariantClear(this); }
    CComVariant(const CComVariant&) = delete;
    CComVariant& operator=(const CComVariant&) = delete;
    HRESULT Clear() { return VariantClear(this); }
};

// ---------------------------------------------------------------------------------------------
// Module

class CComModule {
public:
    void Init(HINSTANCE instance) { m_hInst = instance; }
    LONG Lock() { return InterlockedIncrement(&m_nLockCnt); }
    LONG Unlock() { return InterlockedDecrement(&m_nLockCnt); }
    LONG GetLockCount() const { return m_nLockCnt; }
    HINSTANCE GetModuleInstance() const { return m_hInst; }
    // Full path of the module file, wide.
    void ModulePath(wchar_t* out, DWORD size) const { GetModuleFileNameW(m_hInst, out, size); }
    // Runs the registration script of resource `rgsId` (type "REGISTRY") through the Registrar, with
    // %MODULE% replaced by the module path; registers or unregisters the type library resource 1.
    HRESULT UpdateRegistryFromResource(UINT rgsId, bool registering);
    HRESULT RegisterTypeLib();
    HRESULT UnRegisterTypeLib();
    // Type information of `iid` (or of a coclass) from the module's own type library resource.
    HRESULT GetTypeInfo(REFGUID guid, ITypeInfo** out);

    HINSTANCE m_hInst = nullptr;
    volatile LONG m_nLockCnt = 0;

private:
    ITypeLib* TypeLib();
    CRITICAL_SECTION* TypeLock();
    ITypeLib* typeLib_ = nullptr;
};

extern CComModule _Module;

// Sets the calling thread's error info: source = ProgID of `clsid` (the CLSID text when it has
// none), interface `iid`, description `text`. Returns `hr`.
HRESULT AtlReportError(REFCLSID clsid, const char* text, REFIID iid, HRESULT hr);

// ---------------------------------------------------------------------------------------------
// Object root and final classes

class CComObjectRootEx {
public:
    CComObjectRootEx() { InitializeCriticalSection(&m_cs); }
    ~CComObjectRootEx() { DeleteCriticalSection(&m_cs); }
    CComObjectRootEx(const CComObjectRootEx&) = delete;
    CComObjectRootEx& operator=(const CComObjectRootEx&) = delete;
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }
    // The controlling unknown: the outer object when aggregated, else this object's own IUnknown.
    IUnknown* GetControllingUnknown() { return m_pOuterUnknown ? m_pOuterUnknown : m_pSelf; }

    volatile LONG m_dwRef = 0;
    IUnknown* m_pOuterUnknown = nullptr;
    IUnknown* m_pSelf = nullptr;
    CRITICAL_SECTION m_cs;
};

// Base must provide: HRESULT _InternalQueryInterface(REFIID, void**) for its interfaces (not IUnknown),
// and FinalConstruct/FinalRelease.
template <class Base>
class CComObject final : public Base {
public:
    CComObject() {
        this->m_pSelf = reinterpret_cast<IUnknown*>(static_cast<Base*>(this)->GetUnknown());
        _Module.Lock();
    }
    ~CComObject() {
        this->FinalRelease();
        _Module.Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(InterlockedIncrement(&this->m_dwRef)); }
    STDMETHOD_(ULONG, Release)() override {
        LONG n = InterlockedDecrement(&this->m_dwRef);
        if (n == 0) {
            this->m_dwRef = 1;  // guards against re-entry during destruction
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) *ppv = this->GetUnknown();
        else this->_InternalQueryInterface(iid, ppv);
        if (!*ppv) return E_NOINTERFACE;
        reinterpret_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }
    static HRESULT CreateInstance(CComObject** out) {
        *out = nullptr;
        auto* p = new (std::nothrow) CComObject();
        if (!p) return E_OUTOFMEMORY;
        p->AddRef();
        HRESULT hr = p->FinalConstruct();
        p->m_dwRef--;
        if (FAILED(hr)) {
            delete p;
            return hr;
        }
        *out = p;
        return S_OK;
    }
};

// The inner object of an aggregate: its IUnknown methods go to the outer object.
template <class Base>
class CComContainedObject : public Base {
public:
    STDMETHOD_(ULONG, AddRef)() override { return this->m_pOuterUnknown->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->m_pOuterUnknown->Release(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override { return this->m_pOuterUnknown->QueryInterface(iid, ppv); }
};

// An object created inside an outer object: this IUnknown is the non-delegating one the outer holds.
template <class Base>
class CComAggObject : public IUnknown {
public:
    explicit CComAggObject(IUnknown* outer) {
        m_contained.m_pOuterUnknown = outer;
        m_contained.m_pSelf = this;
        _Module.Lock();
    }
    virtual ~CComAggObject() {
        m_contained.FinalRelease();
        _Module.Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(InterlockedIncrement(&m_ref)); }
    STDMETHOD_(ULONG, Release)() override {
        LONG n = InterlockedDecrement(&m_ref);
        if (n == 0) {
            m_ref = 1;
            delete this;
        }
        return static_cast<ULONG>(n);
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        m_contained._InternalQueryInterface(iid, ppv);
        if (!*ppv) return E_NOINTERFACE;
        reinterpret_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }
    HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }

    CComContainedObject<Base> m_contained;
    volatile LONG m_ref = 0;
};

// The IUnknown of a plain heap object that offers one interface; it deletes itself at the last
// release.
template <class Itf, const IID* piid>
class LxSingleInterfaceObject : public Itf {
public:
    virtual ~LxSingleInterfaceObject() = default;
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, *piid)) {
            *ppv = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(InterlockedIncrement(&ref_)); }
    STDMETHOD_(ULONG, Release)() override {
        LONG n = InterlockedDecrement(&ref_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

private:
    volatile LONG ref_ = 0;
};

template <class T>
class CComClassFactory final : public LxSingleInterfaceObject<IClassFactory, &IID_IClassFactory> {
public:
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) {
            // An aggregated object is handed out only as its non-delegating IUnknown.
            if (!IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
            auto* agg = new (std::nothrow) CComAggObject<T>(outer);
            if (!agg) return E_OUTOFMEMORY;
            agg->AddRef();
            HRESULT hr = agg->FinalConstruct();
            if (SUCCEEDED(hr)) hr = agg->QueryInterface(iid, ppv);
            agg->Release();
            return hr;
        }
        CComObject<T>* obj = nullptr;
        HRESULT hr = CComObject<T>::CreateInstance(&obj);
        if (FAILED(hr)) return hr;
        obj->AddRef();
        hr = obj->QueryInterface(iid, ppv);
        obj->Release();
        return hr;
    }
    STDMETHOD(LockServer)(BOOL lock) override {
        if (lock) _Module.Lock();
        else _Module.Unlock();
        return S_OK;
    }

};

// ---------------------------------------------------------------------------------------------
// IDispatch from the type library

template <class Itf, const IID* piid>
class IDispatchImpl : public Itf {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return _Module.GetTypeInfo(*piid, out);
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        CComPtr<ITypeInfo> ti;
        HRESULT hr = _Module.GetTypeInfo(*piid, &ti);
        return FAILED(hr) ? hr : DispGetIDsOfNames(ti, names, count, ids);
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                      UINT* argErr) override {
        CComPtr<ITypeInfo> ti;
        HRESULT hr = _Module.GetTypeInfo(*piid, &ti);
        if (FAILED(hr)) return hr;
        return ti->Invoke(static_cast<Itf*>(this), id, flags, params, result, excep, argErr);
    }
};

// ---------------------------------------------------------------------------------------------
// Connection points

class CComConnectionPoint : public IConnectionPoint {
public:
    CComConnectionPoint(IConnectionPointContainer* container, REFIID iid) : container_(container), iid_(iid) {
        InitializeCriticalSection(&cs_);
    }
    ~CComConnectionPoint();
    CComConnectionPoint(const CComConnectionPoint&) = delete;
    CComConnectionPoint& operator=(const CComConnectionPoint&) = delete;

    // Lifetime is the container's.
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override { return container_->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return container_->Release(); }
    STDMETHOD(GetConnectionInterface)(IID* iid) override;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** out) override;
    STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) override;
    STDMETHOD(Unadvise)(DWORD cookie) override;
    STDMETHOD(EnumConnections)(IEnumConnections** out) override;

    const IID& Iid() const { return iid_; }
    // The current sinks, each with a reference the caller releases: firing works on this copy, so a
    // sink that unadvises (or advises) while being called cannot disturb the loop.
    std::vector<IUnknown*> Sinks();

private:
    IConnectionPointContainer* container_;
    IID iid_;
    CRITICAL_SECTION cs_;
    std::vector<std::pair<DWORD, IUnknown*>> sinks_;
    DWORD nextCookie_ = 1;
};

// An IConnectionPointContainer over a fixed list of connection points.
HRESULT FindConnectionPoint(CComConnectionPoint* const* points, size_t count, REFIID iid, IConnectionPoint** out);
HRESULT EnumConnectionPoints(CComConnectionPoint* const* points, size_t count, IEnumConnectionPoints** out);

// ---------------------------------------------------------------------------------------------
// Module exports

// The standard exports of an in-process server built on this layer; each DLL supplies its table.
struct LxClassEntry {
    const CLSID* clsid;
    HRESULT (*createFactory)(void** factory);  // an IClassFactory with one reference
    UINT rgsResource;
};

template <class T>
HRESULT LxCreateFactory(void** out) {
    auto* f = new (std::nothrow) CComClassFactory<T>();
    if (!f) return E_OUTOFMEMORY;
    f->AddRef();
    *out = static_cast<IClassFactory*>(f);
    return S_OK;
}

HRESULT LxDllGetClassObject(const LxClassEntry* classes, size_t count, REFCLSID clsid, REFIID iid, void** ppv);
HRESULT LxDllRegisterServer(const LxClassEntry* classes, size_t count, UINT moduleRgs, bool registering);

#include "tarn.h"

#include <cstring>

#include "inuse_win.h"
#include "tarn_texts.h"
#include "vme_player.h"

const GUID kTarnDriverGuid = {0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

namespace {

constexpr uint16_t kVendorId = 0x1A6A;
constexpr uint8_t kEndpoints[5] = {0x86, 0x02, 0x81, 0x01, 0x00};
constexpr HRESULT kNoSink = static_cast<HRESULT>(0x80000001);

struct LoadEvents {
    TarnEvent_t begin, finish;
};

LoadEvents EventsOf(TarnLoadKind kind) {
    switch (kind) {
    case TarnLoadKind::FPGAOnTheFly: return {TarnEvent_OnBeginTarnFPGAOnTheFly, TarnEvent_OnFinishTarnFPGAOnTheFly};
    case TarnLoadKind::FPGABurn: return {TarnEvent_OnBeginTarnFPGABurn, TarnEvent_OnFinishTarnFPGABurn};
    case TarnLoadKind::USBOnTheFly: return {TarnEvent_OnBeginTarnUSBOnTheFly, TarnEvent_OnFinishTarnUSBOnTheFly};
    case TarnLoadKind::USBBurn: return {TarnEvent_OnBeginTarnUSBBurn, TarnEvent_OnFinishTarnUSBBurn};
    default: return {TarnEvent_OnBeginTarnCPLDBurn, TarnEvent_OnFinishTarnCPLDBurn};
    }
}

const VARIANT* Deref(const VARIANT* v) {
    // Script engines pass a reference to their own variant.
    if (v && V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) return V_VARIANTREF(v);
    return v;
}

// Any algorithm header the VME player accepts, so that a 1.1 image is not refused here.
bool IsVme(const std::vector<uint8_t>& image) { return lx::jtag::IsVmeAlgorithm(image.data(), image.size()); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pipes

bool CyPipes::Transfer(uint8_t endpoint, uint8_t* buffer, uint32_t& length) {
    CCyUSBEndPoint* ep = Ep(endpoint);
    if (!ep || length > 0x7FFFFFFF) {
        length = 0;
        return false;
    }
    LONG n = static_cast<LONG>(length);
    bool ok = ep->TransferData(buffer, n);
    length = n > 0 ? static_cast<uint32_t>(n) : 0;
    return ok;
}

uint32_t CyPipes::Timeout(uint8_t endpoint) const {
    CCyUSBEndPoint* ep = Ep(endpoint);
    return ep ? ep->TimeOut : 0;
}

void CyPipes::SetTimeout(uint8_t endpoint, uint32_t ms) {
    if (CCyUSBEndPoint* ep = Ep(endpoint)) ep->TimeOut = ms;
}

void CyPipes::Abort(uint8_t endpoint) {
    if (CCyUSBEndPoint* ep = Ep(endpoint)) ep->AbortPipe();
}

void CyPipes::Reset(uint8_t endpoint) {
    if (CCyUSBEndPoint* ep = Ep(endpoint)) ep->ResetPipe();
}

// ---------------------------------------------------------------------------------------------
// Object

CTarn::CTarn()
    : eventsPoint_(static_cast<IConnectionPointContainer*>(this), IID_ITarnEvents),
      propertyPoint_(static_cast<IConnectionPointContainer*>(this), IID_IPropertyNotifySink) {}

HRESULT CTarn::_InternalQueryInterface(REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (IsEqualIID(iid, IID_ITarn) || IsEqualIID(iid, IID_IDispatch)) *ppv = static_cast<ITarn*>(this);
    else if (IsEqualIID(iid, IID_ITarnEventSource)) *ppv = static_cast<ITarnEventSource*>(this);
    else if (IsEqualIID(iid, IID_IConnectionPointContainer)) *ppv = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(iid, IID_ISupportErrorInfo)) *ppv = static_cast<ISupportErrorInfo*>(this);
    else if (IsEqualIID(iid, IID_IProvideClassInfo2) || IsEqualIID(iid, IID_IProvideClassInfo))
        *ppv = static_cast<IProvideClassInfo2*>(this);
    return *ppv ? S_OK : E_NOINTERFACE;
}

void CTarn::FinalRelease() {
    // The sinks may be gone by now: release the kit without telling them.
    Disconnect(false);
}

HRESULT CTarn::Report(tarn::Result r) {
    if (FAILED(r.hr) && r.text) return AtlReportError(CLSID_Tarn, r.text, IID_ITarn, r.hr);
    return r.hr;
}

HRESULT CTarn::PutString(const std::string& s, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    CComBSTR b(s.c_str());
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = b.Detach();
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Connection

STDMETHODIMP CTarn::ConnectTarn() {
    // A second connect keeps the kit this object already holds.
    if (device_ && device_->IsOpen() && link_.Attached()) return S_OK;
    if (!device_) device_ = new CCyUSBDevice(nullptr, kTarnDriverGuid, false);
    const int count = device_->CountDevices();
    if (count == 0) {
        delete device_;
        device_ = nullptr;
        return E_ABORT;
    }
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        if (!device_->OpenDevice(static_cast<UCHAR>(i))) continue;
        // Only a kit of the chosen type is claimed; anything else is passed over untouched.
        if (device_->VendorID != kVendorId || device_->ProductID != productId_) continue;
        if (!TarnClaimKit(device_->DevPath)) continue;
        found = true;
        for (uint8_t ep : kEndpoints) found = found && device_->EndPointOf(ep) != nullptr;
        if (found) claimedPath_ = device_->DevPath;
        else TarnReleaseKit(device_->DevPath);
    }
    if (!found) {
        device_->CloseDevice();
        delete device_;
        device_ = nullptr;
        return E_ACCESSDENIED;
    }
    pipes_.Set(device_);
    link_.Attach(&pipes_);
    FireEvent(TarnEvent_OnTarnConnect, 0);
    return S_OK;
}

void CTarn::Disconnect(bool fire) {
    link_.Detach();
    pipes_.Set(nullptr);
    if (device_) {
        if (!claimedPath_.empty()) TarnReleaseKit(claimedPath_.c_str());
        claimedPath_.clear();
        device_->CloseDevice();
        delete device_;
        device_ = nullptr;
    }
    if (fire) FireEvent(TarnEvent_OnTarnDisconnect, 0);
}

STDMETHODIMP CTarn::CloseTarn() {
    Disconnect(true);
    return S_OK;
}

STDMETHODIMP CTarn::SelectTarnType(TarnType_t type) {
    productId_ = type != 0 ? 0x0103 : 0x0100;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Forwarded operations

#define TARN_OUT(ptr) \
    if (!(ptr)) return E_POINTER
// A caller's buffer may be null only when nothing goes into it; the call is made only when it is not.
#define TARN_WITH_BUFFER(ptr, count, call) ((!(ptr) && (count)) ? E_POINTER : Report(call))

STDMETHODIMP CTarn::GetFIRMWARE_ID(ULONG* p) {
    TARN_OUT(p);
    uint32_t v = 0;
    HRESULT hr = Report(link_.GetFIRMWARE_ID(&v));
    *p = v;
    return hr;
}
STDMETHODIMP CTarn::GetCPLD_ID(ULONG* p) {
    TARN_OUT(p);
    uint32_t v = 0;
    HRESULT hr = Report(link_.GetCPLD_ID(&v));
    *p = v;
    return hr;
}
STDMETHODIMP CTarn::TarnConfiguration(BYTE t, BYTE c, BYTE cs) { return Report(link_.TarnConfiguration(t, c, cs)); }
STDMETHODIMP CTarn::Write32(ULONG a, ULONG v) { return Report(link_.Write32(a, v)); }
STDMETHODIMP CTarn::Write16(ULONG a, USHORT v) { return Report(link_.Write16(a, v)); }
STDMETHODIMP CTarn::Write8(ULONG a, BYTE v) { return Report(link_.Write8(a, v)); }
STDMETHODIMP CTarn::Read32(ULONG a, ULONG* p) {
    TARN_OUT(p);
    uint32_t v = 0;
    HRESULT hr = Report(link_.Read32(a, &v));
    *p = v;
    return hr;
}
STDMETHODIMP CTarn::Read16(ULONG a, USHORT* p) {
    TARN_OUT(p);
    return Report(link_.Read16(a, p));
}
STDMETHODIMP CTarn::Read8(ULONG a, BYTE* p) {
    TARN_OUT(p);
    return Report(link_.Read8(a, p));
}
STDMETHODIMP CTarn::Qwrite32(ULONG a, ULONG v, BYTE pc) { return Report(link_.Qwrite32(a, v, pc)); }
STDMETHODIMP CTarn::Qwrite16(ULONG a, USHORT v, BYTE pc) { return Report(link_.Qwrite16(a, v, pc)); }
STDMETHODIMP CTarn::Qwrite8(ULONG a, BYTE v, BYTE pc) { return Report(link_.Qwrite8(a, v, pc)); }
STDMETHODIMP CTarn::QwriteBurstData(USHORT d) { return Report(link_.QwriteBurstData(d)); }
STDMETHODIMP CTarn::Qflush() { return Report(link_.Qflush()); }
STDMETHODIMP CTarn::ResetMemory(BYTE s, BYTE t) { return Report(link_.ResetMemory(s, t)); }
STDMETHODIMP CTarn::AsyncArrayRead(ULONG a, ULONG n, BYTE w, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.AsyncArrayRead(a, n, w, p)); }
STDMETHODIMP CTarn::BurstArrayRead(ULONG a, ULONG n, BYTE w, BYTE* p, ULONG b) { return TARN_WITH_BUFFER(p, n, link_.BurstArrayRead(a, n, w, p, b)); }
STDMETHODIMP CTarn::BurstArrayWrite(ULONG a, ULONG n, BYTE w, BYTE* p, ULONG b) { return TARN_WITH_BUFFER(p, n, link_.BurstArrayWrite(a, n, w, p, b)); }
STDMETHODIMP CTarn::MemControlMode(BYTE cs, BYTE m, ULONG b) { return Report(link_.MemControlMode(cs, m, b)); }
STDMETHODIMP CTarn::GetUSB_HighSpeedFlag(BYTE* p) {
    TARN_OUT(p);
    return Report(link_.GetUSB_HighSpeedFlag(p));
}
STDMETHODIMP CTarn::QwriteBufCmd0029_0029(BYTE pc) { return Report(link_.QwriteBufCmd0029_0029(pc)); }
STDMETHODIMP CTarn::QsetNANDregMode(BYTE m) { return Report(link_.QsetNANDregMode(m)); }
STDMETHODIMP CTarn::QwriteNAND16(USHORT v) { return Report(link_.QwriteNAND16(v)); }
STDMETHODIMP CTarn::QwriteNAND8(BYTE v) { return Report(link_.QwriteNAND8(v)); }
STDMETHODIMP CTarn::NANDArrayRead(ULONG n, BYTE w, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.NANDArrayRead(n, w, p)); }
STDMETHODIMP CTarn::WriteNAND16(BYTE m, USHORT v) { return Report(link_.WriteNAND16(m, v)); }
STDMETHODIMP CTarn::WriteNAND8(BYTE m, BYTE v) { return Report(link_.WriteNAND8(m, v)); }
STDMETHODIMP CTarn::ConfigTarnPollingMethod(BYTE pc, ULONG d) { return Report(link_.ConfigTarnPollingMethod(pc, d)); }
STDMETHODIMP CTarn::GetTarnPollingStatus(BYTE* p) {
    TARN_OUT(p);
    return Report(link_.GetTarnPollingStatus(p));
}
STDMETHODIMP CTarn::TarnACCVoltageCtrl(BYTE v) { return Report(link_.TarnACCVoltageCtrl(v)); }
STDMETHODIMP CTarn::TarnProtectVoltageCtrl(BYTE v) { return Report(link_.TarnProtectVoltageCtrl(v)); }
STDMETHODIMP CTarn::ReadTarn_SocketEEPROM(ULONG a, BYTE n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.ReadTarn_SocketEEPROM(a, n, p)); }
STDMETHODIMP CTarn::ReadTarn_ControllerEEPROM(ULONG a, BYTE n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.ReadTarn_ControllerEEPROM(a, n, p)); }
STDMETHODIMP CTarn::QwriteSPI(BYTE v) { return Report(link_.QwriteSPI(v)); }
STDMETHODIMP CTarn::WriteSPI(BYTE v) { return Report(link_.WriteSPI(v)); }
STDMETHODIMP CTarn::SPI_ChipEnableCtrl(BYTE on) { return Report(link_.SPI_ChipEnableCtrl(on)); }
STDMETHODIMP CTarn::GetWriteCommandPacket(ULONG max, VARIANT* out) { return PutString(link_.GetWriteCommandPacket(max), out); }
STDMETHODIMP CTarn::GetReadCommandPacket(ULONG max, VARIANT* out) { return PutString(link_.GetReadCommandPacket(max), out); }
STDMETHODIMP CTarn::DumpNORMemoryToString(ULONG start, ULONG end, VARIANT* out) {
    TARN_OUT(out);
    std::string s;
    tarn::Result r = link_.DumpNORMemoryToString(start, end, &s);
    if (!r.Ok()) {
        VariantInit(out);
        return Report(r);
    }
    return PutString(s, out);
}
STDMETHODIMP CTarn::DumpNANDMemoryToString(ULONG a, ULONG k, ULONG n, VARIANT* out) {
    TARN_OUT(out);
    std::string s;
    tarn::Result r = link_.DumpNANDMemoryToString(a, k, n, &s);
    if (!r.Ok()) {
        VariantInit(out);
        return Report(r);
    }
    return PutString(s, out);
}
STDMETHODIMP CTarn::BurstRead8(ULONG a, ULONG n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.BurstRead8(a, n, p)); }
STDMETHODIMP CTarn::BurstRead16(ULONG a, ULONG n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.BurstRead16(a, n, p)); }
STDMETHODIMP CTarn::BurstRead32(ULONG a, ULONG n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.BurstRead32(a, n, p)); }
STDMETHODIMP CTarn::PageRead8(ULONG a, ULONG n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.PageRead8(a, n, p)); }
STDMETHODIMP CTarn::PageRead16(ULONG a, ULONG n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.PageRead16(a, n, p)); }
STDMETHODIMP CTarn::PageRead32(ULONG a, ULONG n, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.PageRead32(a, n, p)); }
STDMETHODIMP CTarn::NORArrayRead(ULONG a, ULONG n, BYTE w, BYTE* p) { return TARN_WITH_BUFFER(p, n, link_.NORArrayRead(a, n, w, p)); }
STDMETHODIMP CTarn::PowerControl(BYTE on) { return Report(link_.PowerControl(on)); }
STDMETHODIMP CTarn::SetRampUpParameter(BYTE is33, TarnPowerRampUpParameter_t p) {
    tarn::RampUpParameter r;
    r.nDivision = p.nDivision;
    std::memcpy(r.nParameter, p.nParameter, sizeof r.nParameter);
    return Report(link_.SetRampUpParameter(is33, r));
}
STDMETHODIMP CTarn::SetRampUpTemplate(Tarn_PowerRampUp_t i18, Tarn_PowerRampUp_t i33) {
    return Report(link_.SetRampUpTemplate(static_cast<int32_t>(i18), static_cast<int32_t>(i33)));
}
STDMETHODIMP CTarn::SetInitialAccessCycle(BYTE n) { return Report(link_.SetInitialAccessCycle(n)); }
STDMETHODIMP CTarn::SetVoltage(Tarn_PowerSource_t t, ULONG mv) { return Report(link_.SetVoltage(static_cast<int32_t>(t), mv)); }

HRESULT STDMETHODCALLTYPE CTarn::ReservedSlot68() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CTarn::ReservedSlot69() { return E_NOTIMPL; }

// ---------------------------------------------------------------------------------------------
// Loading

std::vector<uint8_t> CTarn::ImageFromSafeArray(const VARIANT* v) {
    v = Deref(v);
    std::vector<uint8_t> image;
    if (!v || V_VT(v) != (VT_ARRAY | VT_UI1) || !V_ARRAY(v) || SafeArrayGetDim(V_ARRAY(v)) < 1) return image;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(V_ARRAY(v), 1, &lo);
    SafeArrayGetUBound(V_ARRAY(v), 1, &hi);
    if (hi < lo) return image;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(V_ARRAY(v), &data))) return image;
    const auto* bytes = static_cast<const uint8_t*>(data);
    image.assign(bytes, bytes + (static_cast<size_t>(hi) - static_cast<size_t>(lo) + 1));
    SafeArrayUnaccessData(V_ARRAY(v));
    return image;
}

std::vector<uint8_t> CTarn::ImageFromFile(const VARIANT* v) {
    v = Deref(v);
    std::vector<uint8_t> image;
    if (!v || V_VT(v) != VT_BSTR || !V_BSTR(v)) return image;
    char name[MAX_PATH] = {};
    if (!WideCharToMultiByte(CP_ACP, 0, V_BSTR(v), -1, name, MAX_PATH, nullptr, nullptr)) return image;
    HANDLE f = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return image;
    LARGE_INTEGER size{};
    // Images are a few megabytes at most; anything past 256 MiB is not an image.
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart <= (256ll << 20)) {
        image.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(f, image.data(), static_cast<DWORD>(image.size()), &got, nullptr) || got != image.size())
            image.clear();
    }
    CloseHandle(f);
    return image;
}

HRESULT CTarn::Load(TarnLoadKind kind, VARIANT* first, VARIANT* second) {
    auto take = [](VARIANT* v) {
        std::vector<uint8_t> image = ImageFromSafeArray(v);
        return image.empty() ? ImageFromFile(v) : image;
    };
    std::vector<uint8_t> image = take(first);
    std::vector<uint8_t> image2 = second ? take(second) : std::vector<uint8_t>();
    Disconnect(true);  // the loader opens the kit through its own device object
    if (image.empty() || (second && image2.empty())) return E_POINTER;
    if (kind == TarnLoadKind::FPGABurn) {
        // The algorithm (VME) image goes first, whichever argument it came in.
        if (!IsVme(image)) {
            if (!IsVme(image2)) return E_ABORT;
            std::swap(image, image2);
        }
    }
    TarnLoader* loader = TarnCreateLoader(static_cast<ITarnEventSource*>(this));
    if (!loader) return Report({E_NOTIMPL, tarn::text::kNotImplemented});
    HRESULT hr = loader->Open(productId_);
    if (SUCCEEDED(hr)) {
        LoadEvents ev = EventsOf(kind);
        FireEvent(ev.begin, 0);
        hr = loader->Run(kind, image, image2);
        FireEvent(ev.finish, 0);
        loader->Close();
        if (FAILED(hr)) hr = E_ABORT;
    }
    delete loader;
    return hr;
}

STDMETHODIMP CTarn::TarnFPGAOnTheFly(VARIANT* image) { return Load(TarnLoadKind::FPGAOnTheFly, image, nullptr); }
STDMETHODIMP CTarn::TarnFPGABurn(VARIANT* algorithm, VARIANT* data) { return Load(TarnLoadKind::FPGABurn, algorithm, data); }
STDMETHODIMP CTarn::TarnUSBOnTheFly(VARIANT* image) { return Load(TarnLoadKind::USBOnTheFly, image, nullptr); }
STDMETHODIMP CTarn::TarnUSBBurn(VARIANT* image) { return Load(TarnLoadKind::USBBurn, image, nullptr); }
STDMETHODIMP CTarn::TarnCPLDBurn(VARIANT* image) { return Load(TarnLoadKind::CPLDBurn, image, nullptr); }

STDMETHODIMP CTarn::TarnFPGAOnTheFlyViaJTAG(VARIANT* image) {
    std::vector<uint8_t> bytes = ImageFromSafeArray(image);
    if (bytes.empty()) bytes = ImageFromFile(image);
    Disconnect(true);
    if (bytes.empty()) return E_POINTER;
    // There is no transfer behind this load: say so instead of reporting a load that never happened.
    return Report({E_NOTIMPL, tarn::text::kNotImplemented});
}

// ---------------------------------------------------------------------------------------------
// Events

template <class F>
HRESULT CTarn::FanOut(F call) {
    HRESULT last = S_OK;
    for (IUnknown* sink : eventsPoint_.Sinks()) {
        HRESULT hr = call(static_cast<ITarnEvents*>(sink));
        if (FAILED(hr)) last = hr;
        sink->Release();
    }
    return last;
}

STDMETHODIMP CTarn::FireEvent(TarnEvent_t event, ULONG param) {
    FanOut([&](ITarnEvents* s) { return s->OnTarnEvent(event, param); });
    return S_OK;
}

STDMETHODIMP CTarn::FireError(TarnErrorCause_t cause) {
    FanOut([&](ITarnEvents* s) { return s->OnTarnError(cause); });
    return S_OK;
}

// The caller keeps the string: every sink sees the same text and none of them frees it.
STDMETHODIMP CTarn::FireMessage(BSTR message) {
    FanOut([&](ITarnEvents* s) { return s->OnTarnMessage(message); });
    return S_OK;
}

STDMETHODIMP CTarn::EnumConnectionPoints(IEnumConnectionPoints** out) {
    CComConnectionPoint* points[] = {&eventsPoint_, &propertyPoint_};
    return ::EnumConnectionPoints(points, 2, out);
}

STDMETHODIMP CTarn::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    CComConnectionPoint* points[] = {&eventsPoint_, &propertyPoint_};
    return ::FindConnectionPoint(points, 2, iid, out);
}

STDMETHODIMP CTarn::InterfaceSupportsErrorInfo(REFIID iid) { return IsEqualIID(iid, IID_ITarn) ? S_OK : S_FALSE; }

STDMETHODIMP CTarn::GetClassInfo(ITypeInfo** out) {
    if (!out) return E_POINTER;
    return _Module.GetTypeInfo(CLSID_Tarn, out);
}

STDMETHODIMP CTarn::GetGUID(DWORD kind, GUID* out) {
    if (!out) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *out = GUID_NULL;
        return E_INVALIDARG;
    }
    *out = IID_ITarnEvents;
    return S_OK;
}

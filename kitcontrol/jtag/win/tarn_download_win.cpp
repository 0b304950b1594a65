// CTarnDownload: the Windows shell of the kit's firmware and logic loader. It opens the kit through
// its own USB device object, adapts the device's endpoints to the portable loader and passes the
// loader's progress and player messages to the control's event source.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TarnControl_h.h"
#include "cyapi.h"
#include "inuse_win.h"
#include "tarn_download.h"
#include "tarn_loader.h"

namespace {

// GUID of the kit's vendor driver interface class.
const GUID kDriverGuid = {0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};
constexpr uint16_t kKitVendor = 0x1A6A;
// The JTAG stream uses the bus-stream pair of endpoints.
constexpr UCHAR kStreamOut = 0x02;
constexpr UCHAR kStreamIn = 0x86;

class CyKitUsb : public lx::jtag::KitUsb {
public:
    CyKitUsb(CCyUSBDevice* device, CCyUSBEndPoint* out, CCyUSBEndPoint* in) : dev_(device), out_(out), in_(in) {}

    bool Control(bool in, uint8_t request, uint16_t value, uint16_t index, uint8_t* data, uint32_t* length,
                 unsigned timeoutMs) override {
        CCyControlEndPoint* c = dev_->ControlEndPt;
        if (!c) return false;
        c->Target = 0;   // device
        c->ReqType = 2;  // vendor
        c->Direction = in ? 1 : 0;
        c->ReqCode = request;
        c->Value = value;
        c->Index = index;
        c->TimeOut = timeoutMs;
        uint8_t none = 0;
        LONG len = static_cast<LONG>(*length);
        bool ok = in ? c->ControlRead(data ? data : &none, len) : c->ControlWrite(data ? data : &none, len);
        *length = len > 0 ? static_cast<uint32_t>(len) : 0;
        return ok;
    }
    bool BulkOut(const uint8_t* data, uint32_t length, unsigned timeoutMs) override {
        if (!out_) return false;
        out_->TimeOut = timeoutMs;
        LONG len = static_cast<LONG>(length);
        return out_->TransferData(const_cast<PUCHAR>(data), len) && len == static_cast<LONG>(length);
    }
    bool BulkIn(uint8_t* data, uint32_t* length, unsigned timeoutMs) override {
        if (!in_) return false;
        in_->TimeOut = timeoutMs;
        LONG len = static_cast<LONG>(*length);
        bool ok = in_->TransferData(data, len);
        *length = ok && len > 0 ? static_cast<uint32_t>(len) : 0;
        return ok;
    }
    void Sleep(unsigned ms) override { ::Sleep(ms); }
    bool ResetPipes() override {
        bool ok = true;
        for (CCyUSBEndPoint* ep : {out_, in_}) {
            if (!ep) return false;
            ok = ep->AbortPipe() && ok;
            ::Sleep(20);
            ok = ep->ResetPipe() && ok;
            ::Sleep(20);
        }
        return ok;
    }
    bool CyclePort() override { return dev_->CyclePort(); }

private:
    CCyUSBDevice* dev_;
    CCyUSBEndPoint* out_;
    CCyUSBEndPoint* in_;
};

class EventSink : public lx::jtag::DownloadEvents {
public:
    explicit EventSink(ITarnEventSource* source) : source_(source) {}
    void Progress(int event, unsigned percent) override {
        if (source_) source_->FireEvent(static_cast<TarnEvent_t>(event), percent);
    }
    void Message(const std::string& text) override {
        if (!source_) return;
        std::wstring wide(text.begin(), text.end());
        // An [in] string stays the caller's: every sink reads it, none frees it.
        BSTR message = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        source_->FireMessage(message);
        SysFreeString(message);
    }

private:
    ITarnEventSource* source_;
};

class CTarnDownload : public TarnLoader {
public:
    explicit CTarnDownload(ITarnEventSource* events) : events_(events) {}
    ~CTarnDownload() override { Close(); }

    HRESULT Open(uint16_t productId) override {
        if (!device_) device_ = new CCyUSBDevice(nullptr, kDriverGuid, false);
        UCHAR count = device_->CountDevices();
        for (UCHAR i = 0; i < count; ++i) {
            if (!device_->OpenDevice(i)) continue;
            if (device_->VendorID != kKitVendor || device_->ProductID != productId) continue;
            if (!TarnClaimKit(device_->DevPath)) continue;
            claimed_ = device_->DevPath;
            out_ = device_->EndPointOf(kStreamOut);
            in_ = device_->EndPointOf(kStreamIn);
            if (out_ && in_ && device_->ControlEndPt) return S_OK;
            Close();
            return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
        }
        // No kit to load into is a failure, not a load that did nothing.
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    }

    HRESULT Run(TarnLoadKind kind, const std::vector<uint8_t>& image, const std::vector<uint8_t>& second) override {
        if (!device_ || !device_->IsOpen()) return E_UNEXPECTED;
        CyKitUsb usb(device_, out_, in_);
        EventSink sink(events_);
        lx::jtag::TarnDownload loader(usb, sink);
        bool ok = false;
        switch (kind) {
        case TarnLoadKind::FPGAOnTheFly: ok = loader.FPGAOnTheFly(image.data(), image.size()); break;
        case TarnLoadKind::FPGABurn:
            ok = loader.FPGABurn(image.data(), image.size(), second.data(), second.size());
            break;
        case TarnLoadKind::USBOnTheFly: ok = loader.USBOnTheFly(image.data(), image.size()); break;
        case TarnLoadKind::USBBurn: ok = loader.USBBurn(image.data(), image.size()); break;
        case TarnLoadKind::CPLDBurn: ok = loader.CPLDBurn(image.data(), image.size()); break;
        }
        if (!ok) OutputDebugStringA(("TarnControl load: " + loader.LastError() + "\n").c_str());
        return ok ? S_OK : E_FAIL;
    }

    void Close() override {
        out_ = in_ = nullptr;
        if (!claimed_.empty()) {
            TarnReleaseKit(claimed_.c_str());
            claimed_.clear();
        }
        if (device_) {
            device_->CloseDevice();
            delete device_;
            device_ = nullptr;
        }
    }

private:
    ITarnEventSource* events_;  // the creating control's; not reference-counted here
    CCyUSBDevice* device_ = nullptr;
    CCyUSBEndPoint* out_ = nullptr;
    CCyUSBEndPoint* in_ = nullptr;
    std::string claimed_;
};

}  // namespace

TarnLoader* TarnCreateLoader(ITarnEventSource* events) { return new CTarnDownload(events); }

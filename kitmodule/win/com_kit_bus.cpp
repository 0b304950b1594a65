#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <ole2.h>

#include <string>

#include "TarnControl_h.h"
#include "com_kit_bus.h"

namespace rook {

namespace {

class ComKitBus : public KitBus {
public:
    explicit ComKitBus(ITarn* tarn) : t_(tarn) {}
    ~ComKitBus() override { t_->Release(); }

    HResult SelectTarnType(uint32_t type) override { return t_->SelectTarnType(static_cast<TarnType_t>(type)); }
    HResult ConnectTarn() override { return t_->ConnectTarn(); }
    HResult CloseTarn() override { return t_->CloseTarn(); }
    HResult GetFirmwareId(uint32_t* id) override { return Ulong(&ITarn::GetFIRMWARE_ID, id); }
    HResult GetCpldId(uint32_t* id) override { return Ulong(&ITarn::GetCPLD_ID, id); }
    HResult TarnConfiguration(uint8_t t, uint8_t c, uint8_t cs) override { return t_->TarnConfiguration(t, c, cs); }
    HResult ConfigTarnPollingMethod(uint8_t code, uint32_t d) override { return t_->ConfigTarnPollingMethod(code, d); }
    HResult Read8(uint32_t a, uint8_t* v) override { return t_->Read8(a, v); }
    HResult Read16(uint32_t a, uint16_t* v) override { return t_->Read16(a, v); }
    HResult Read32(uint32_t a, uint32_t* v) override {
        ULONG x = 0;
        HRESULT hr = t_->Read32(a, &x);
        *v = x;
        return hr;
    }
    HResult Qwrite8(uint32_t a, uint8_t v, uint8_t p) override { return t_->Qwrite8(a, v, p); }
    HResult Qwrite16(uint32_t a, uint16_t v, uint8_t p) override { return t_->Qwrite16(a, v, p); }
    HResult Qwrite32(uint32_t a, uint32_t v, uint8_t p) override { return t_->Qwrite32(a, v, p); }
    HResult QwriteBufCmd0029(uint8_t p) override { return t_->QwriteBufCmd0029_0029(p); }
    HResult Qflush() override { return t_->Qflush(); }
    HResult AsyncArrayRead(uint32_t a, uint32_t n, uint8_t w, uint8_t* b) override { return t_->AsyncArrayRead(a, n, w, b); }
    HResult NorArrayRead(uint32_t a, uint32_t n, uint8_t w, uint8_t* b) override { return t_->NORArrayRead(a, n, w, b); }
    HResult QsetNandRegMode(uint8_t m) override { return t_->QsetNANDregMode(m); }
    HResult QwriteNand8(uint8_t v) override { return t_->QwriteNAND8(v); }
    HResult QwriteNand16(uint16_t v) override { return t_->QwriteNAND16(v); }
    HResult NandArrayRead(uint32_t n, uint8_t w, uint8_t* b) override { return t_->NANDArrayRead(n, w, b); }
    HResult ResetMemory(uint8_t s, uint8_t m) override { return t_->ResetMemory(s, m); }
    HResult PowerControl(uint8_t on) override { return t_->PowerControl(on); }
    HResult SetVoltage(int32_t s, uint32_t mv) override { return t_->SetVoltage(static_cast<Tarn_PowerSource_t>(s), mv); }
    HResult SetRampUpTemplate(uint8_t a, uint8_t b) override {
        return t_->SetRampUpTemplate(static_cast<Tarn_PowerRampUp_t>(a), static_cast<Tarn_PowerRampUp_t>(b));
    }
    HResult SetInitialAccessCycle(uint8_t c) override { return t_->SetInitialAccessCycle(c); }
    HResult FpgaOnTheFly(const std::string& path) override {
        int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        std::wstring wide(n > 0 ? n : 1, L'\0');
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], n);
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(wide.c_str());
        HRESULT hr = t_->TarnFPGAOnTheFly(&v);
        VariantClear(&v);
        return hr;
    }

private:
    HResult Ulong(HRESULT (STDMETHODCALLTYPE ITarn::*m)(ULONG*), uint32_t* out) {
        ULONG x = 0;
        HRESULT hr = (t_->*m)(&x);
        *out = x;
        return hr;
    }
    ITarn* t_;
};

}  // namespace

std::unique_ptr<KitBus> CreateComKitBus(HResult* hr) {
    ITarn* tarn = nullptr;
    *hr = CoCreateInstance(CLSID_Tarn, nullptr, CLSCTX_INPROC_SERVER, IID_ITarn, reinterpret_cast<void**>(&tarn));
    if (FAILED(*hr) || !tarn) return nullptr;
    return std::make_unique<ComKitBus>(tarn);
}

}  // namespace rook

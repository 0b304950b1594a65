// The loading methods of ITarn end to end: TarnControl.dll with its loader against the simulated
// kit's boot loader, JTAG jobs and targets, under Wine. The kit in use is the only type II kit,
// behind five type I kits: its serial number (and so its path in the machine-wide in-use table)
// differs from the kits of other tests that may run at the same time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TarnControl_h.h"
#include "kitsim/kit_jtag.h"
#include "lumivex/atl.h"
#include "lumivex/procaddress.h"
#include "test_programs.h"
#include "vme_asm.h"

CComModule _Module;

namespace {

constexpr int kKit = 5;

struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Com() { CoUninitialize(); }
};

class Sink : public ITarnEvents {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITarnEvents)) {
            *ppv = static_cast<ITarnEvents*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(OnTarnEvent)(TarnEvent_t e, ULONG p) override {
        log.push_back("E" + std::to_string(static_cast<int>(e)) + (p ? ":" + std::to_string(p) : ""));
        return S_OK;
    }
    STDMETHOD(OnTarnError)(TarnErrorCause_t) override { return S_OK; }
    STDMETHOD(OnTarnMessage)(BSTR m) override {
        std::string s;
        for (UINT i = 0; i < SysStringLen(m); ++i) s += static_cast<char>(m[i]);
        // The string stays the control's: the sink only reads it.
        log.push_back("M" + s);
        return S_OK;
    }
    std::vector<std::string> log;
};

struct Control {
    Com com;
    CComPtr<ITarn> tarn;
    Sink sink;
    DWORD cookie = 0;
    Control() {
        EXPECT_EQ(CoCreateInstance(CLSID_Tarn, nullptr, CLSCTX_INPROC_SERVER, IID_ITarn,
                                   reinterpret_cast<void**>(&tarn)), S_OK);
        tarn->SelectTarnType(TarnType_II);
        CComPtr<IConnectionPointContainer> cpc;
        tarn->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
        CComPtr<IConnectionPoint> cp;
        cpc->FindConnectionPoint(IID_ITarnEvents, &cp);
        cp->Advise(&sink, &cookie);
    }
    ~Control() {
        CComPtr<IConnectionPointContainer> cpc;
        tarn->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
        CComPtr<IConnectionPoint> cp;
        cpc->FindConnectionPoint(IID_ITarnEvents, &cp);
        cp->Unadvise(cookie);
    }
    kitsim::KitJtagFeatures& Kit() {
        auto fn = LxGetProc<void* (*)(int)>(GetModuleHandleA("LxKitSim.dll"), "LxKitSimJtag");
        void* f = fn ? fn(kKit) : nullptr;
        EXPECT_TRUE(f);
        return *static_cast<kitsim::KitJtagFeatures*>(f);
    }
    // Events only, progress collapsed to "P" so that the order is easy to state.
    std::string Events() const {
        std::string out;
        for (const std::string& e : sink.log) {
            std::string item = e.rfind("E13:", 0) == 0 ? "P" : e;
            if (item == "P" && !out.empty() && out.back() == 'P') continue;
            out += (out.empty() ? "" : ",") + item;
        }
        return out;
    }
};

struct Image {
    VARIANT v;
    explicit Image(const void* data, size_t n) {
        VariantInit(&v);
        SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n));
        void* p = nullptr;
        SafeArrayAccessData(sa, &p);
        memcpy(p, data, n);
        SafeArrayUnaccessData(sa);
        v.vt = VT_ARRAY | VT_UI1;
        v.parray = sa;
    }
    explicit Image(const std::string& s) : Image(s.data(), s.size()) {}
    explicit Image(const std::vector<uint8_t>& b) : Image(b.data(), b.size()) {}
    ~Image() { VariantClear(&v); }
};

TEST(TarnLoading, CpldBurnProgramsTheCpld) {
    Control c;
    std::string p = lxtest::Program(true);
    p.insert(p.find("ENDPROC;\nPROCEDURE DO_VERIFY"), "PRINT \"rows written\";\n");
    p = lxtest::WithCrc(p.substr(0, p.rfind("CRC ")));
    Image img(p);
    EXPECT_EQ(c.tarn->TarnCPLDBurn(&img.v), S_OK);
    EXPECT_EQ(c.Events(), "E1,E17,Mrows written,E18");
    EXPECT_EQ(c.Kit().cpld.Row(0), 0x12F0u);
    EXPECT_EQ(c.Kit().cpld.Row(1), 0xABCDu);
    EXPECT_FALSE(c.Kit().engine.Active());
}

TEST(TarnLoading, CpldBurnVerifyFailureIsAFailure) {
    Control c;
    std::string p = lxtest::Program(false);
    Image img(p);
    EXPECT_EQ(c.tarn->TarnCPLDBurn(&img.v), E_ABORT);
    EXPECT_EQ(c.Events(), "E1,E17,E18");
    EXPECT_FALSE(c.Kit().engine.Active());
}

TEST(TarnLoading, FpgaBurnTakesTheImagesInEitherOrder) {
    Control c;
    lxtest::VmeImages vme = lxtest::AssembleVme(
        "ENDDR IDLE\nENDIR IDLE\nSTATE IDLE\nSIR 8 TDI(01)\nSDR 32 TDI(0) TDO(1A6A50C3)\n"
        "SIR 8 TDI(20)\nSDR 8 DTDI(09)\nSIR 8 TDI(21)\nSDR 16 DTDI(0FF0)\nRUNTEST 200\n"
        "SIR 8 TDI(22)\nSDR 16 TDI(0) DTDO(0FF0)\nTCK 1500\nEND\n", true);
    ASSERT_EQ(vme.error, "");
    Image alg(vme.algorithm), data(vme.data);
    EXPECT_EQ(c.tarn->TarnFPGABurn(&data.v, &alg.v), S_OK);
    EXPECT_EQ(c.Events(), "E1,E4,P,E5");
    EXPECT_EQ(c.sink.log[c.sink.log.size() - 2], "E13:100");
    EXPECT_EQ(c.Kit().fpga.Row(9), 0x0FF0u);
    EXPECT_FALSE(c.Kit().engine.Active());
}

TEST(TarnLoading, FpgaBurnTakesAVersion11AlgorithmInEitherOrder) {
    // The player runs "_SVME1.1" algorithms as well as 1.2 ones: the ordering must know both.
    lxtest::VmeImages vme = lxtest::AssembleVme(
        "HEADER 1.1\nENDDR IDLE\nENDIR IDLE\nSTATE IDLE\nSIR 8 TDI(20)\nSDR 8 DTDI(05)\n"
        "SIR 8 TDI(21)\nSDR 16 DTDI(5AA5)\nRUNTEST 200\nSIR 8 TDI(22)\nSDR 16 TDI(0) DTDO(5AA5)\nEND\n");
    ASSERT_EQ(vme.error, "");
    for (bool algorithmFirst : {true, false}) {
        Control c;
        Image alg(vme.algorithm), data(vme.data);
        EXPECT_EQ(algorithmFirst ? c.tarn->TarnFPGABurn(&alg.v, &data.v) : c.tarn->TarnFPGABurn(&data.v, &alg.v), S_OK)
            << (algorithmFirst ? "algorithm first" : "data first");
        EXPECT_EQ(c.Kit().fpga.Row(5), 0x5AA5u);
    }
}

TEST(TarnLoading, FpgaOnTheFlyStreamsThePayload) {
    Control c;
    std::vector<uint8_t> payload(1500);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> bytes = lxtest::MakeOnTheFly(payload, "2.0.0", true);
    Image img(bytes);
    EXPECT_EQ(c.tarn->TarnFPGAOnTheFly(&img.v), S_OK);
    EXPECT_EQ(c.Events(), "E1,E2,E3");
    const auto& got = c.Kit().engine.FpgaBytes();
    ASSERT_EQ(got.size(), 3u * 512u);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), got.begin()));
    std::vector<uint8_t> newer = lxtest::MakeOnTheFly(payload, "2.0.1", true);
    Image bad(newer);
    EXPECT_EQ(c.tarn->TarnFPGAOnTheFly(&bad.v), E_ABORT);
}

TEST(TarnLoading, UsbBurnWritesTheControllerEeprom) {
    Control c;
    std::vector<uint8_t> code(3000);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 3);
    std::vector<uint8_t> bytes = lxtest::MakeBootImage({{0x0000, code}, {0x2000, code}});
    Image img(bytes);
    EXPECT_EQ(c.tarn->TarnUSBBurn(&img.v), S_OK);
    EXPECT_EQ(c.Events(), "E1,E8,E9");
    auto& eeprom = c.Kit().boot.Eeprom();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), eeprom.begin()));
    EXPECT_EQ(c.Kit().boot.Ram()[0x2001], code[1]);
    EXPECT_FALSE(c.Kit().boot.CpuHeld());
    EXPECT_TRUE(c.Kit().boot.BootedFromEeprom());  // the port cycle re-enumerated the kit
}

TEST(TarnLoading, UsbOnTheFlyLoadsTheControllerRam) {
    Control c;
    std::vector<uint8_t> code = {0x02, 0x00, 0x80, 0x75, 0x81, 0x5F};
    std::vector<uint8_t> bytes = lxtest::MakeBootImage({{0x0100, code}});
    Image img(bytes);
    uint32_t loads = c.Kit().boot.RamLoads();
    EXPECT_EQ(c.tarn->TarnUSBOnTheFly(&img.v), S_OK);
    EXPECT_EQ(c.Events(), "E1,E6,E7");
    EXPECT_EQ(c.Kit().boot.Ram()[0x0105], 0x5F);
    EXPECT_EQ(c.Kit().boot.RamLoads(), loads + 1);
    EXPECT_FALSE(c.Kit().boot.CpuHeld());
}

// The controller maker's images have a record running past the scratch RAM: both loading
// methods take them, and the kit keeps the bytes that land in its RAM.
TEST(TarnLoading, ControllerImagesWithARecordPastTheScratchRam) {
    lxtest::LongRecordBoot b = lxtest::MakeLongRecordBoot();
    Image img(b.image);
    {
        Control c;
        EXPECT_EQ(c.tarn->TarnUSBOnTheFly(&img.v), S_OK);
        EXPECT_EQ(c.Events(), "E1,E6,E7");
        EXPECT_EQ(c.Kit().boot.Scratch(), b.scratch);
        EXPECT_TRUE(std::equal(b.code.begin(), b.code.end(), c.Kit().boot.Ram().begin()));
        EXPECT_FALSE(c.Kit().boot.CpuHeld());
    }
    Control c;
    EXPECT_EQ(c.tarn->TarnUSBBurn(&img.v), S_OK);
    EXPECT_EQ(c.Events(), "E1,E8,E9");
    EXPECT_TRUE(std::equal(b.image.begin(), b.image.end(), c.Kit().boot.Eeprom().begin()));
    EXPECT_TRUE(c.Kit().boot.BootedFromEeprom());
    EXPECT_EQ(c.Kit().boot.Scratch(), b.scratch);
}

TEST(TarnLoading, NoFreeKitIsAFailureWithoutEvents) {
    Control c;
    CComPtr<ITarn> holder;  // another client holds the only type II kit
    ASSERT_EQ(CoCreateInstance(CLSID_Tarn, nullptr, CLSCTX_INPROC_SERVER, IID_ITarn,
                               reinterpret_cast<void**>(&holder)), S_OK);
    holder->SelectTarnType(TarnType_II);
    ASSERT_EQ(holder->ConnectTarn(), S_OK);
    std::string p = lxtest::Program(true);
    Image img(p);
    HRESULT hr = c.tarn->TarnCPLDBurn(&img.v);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(c.Events(), "E1");  // the disconnect before the load, then nothing
    holder->CloseTarn();
    EXPECT_EQ(c.tarn->TarnCPLDBurn(&img.v), S_OK);  // free again
}

}  // namespace

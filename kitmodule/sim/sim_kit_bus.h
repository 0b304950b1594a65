// KitBus straight onto simulated kits, in-process: the kit control's own link code (TarnLink)
// drives the kit's side of the protocol and its chip models, with no COM and no USB layer. Native
// tests and the benchmark run the engine over it; the DLL's tests run the same engine over COM.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "kit_bus.h"
#include "kitsim/kit.h"
#include "sim_pipes.h"
#include "tarn_link.h"

namespace rook {

// The endpoints of one kit; `unplugged` makes every transfer fail, as a pulled cable does.
using SimKitPipes = lxtest::SimPipes;

class SimKitBus : public KitBus {
public:
    explicit SimKitBus(kitsim::Kit& kit) : pipes_(kit) {}
    SimKitPipes& Pipes() { return pipes_; }
    tarn::TarnLink& Link() { return link_; }

    HResult SelectTarnType(uint32_t) override { return kOk; }
    HResult ConnectTarn() override;
    HResult CloseTarn() override;
    HResult GetFirmwareId(uint32_t* id) override { return link_.GetFIRMWARE_ID(id).hr; }
    HResult GetCpldId(uint32_t* id) override { return link_.GetCPLD_ID(id).hr; }
    HResult TarnConfiguration(uint8_t t, uint8_t c, uint8_t cs) override { return link_.TarnConfiguration(t, c, cs).hr; }
    HResult ConfigTarnPollingMethod(uint8_t code, uint32_t d) override { return link_.ConfigTarnPollingMethod(code, d).hr; }
    HResult Read8(uint32_t a, uint8_t* v) override { return link_.Read8(a, v).hr; }
    HResult Read16(uint32_t a, uint16_t* v) override { return link_.Read16(a, v).hr; }
    HResult Read32(uint32_t a, uint32_t* v) override { return link_.Read32(a, v).hr; }
    HResult Qwrite8(uint32_t a, uint8_t v, uint8_t p) override { return link_.Qwrite8(a, v, p).hr; }
    HResult Qwrite16(uint32_t a, uint16_t v, uint8_t p) override { return link_.Qwrite16(a, v, p).hr; }
    HResult Qwrite32(uint32_t a, uint32_t v, uint8_t p) override { return link_.Qwrite32(a, v, p).hr; }
    HResult QwriteBufCmd0029(uint8_t p) override { return link_.QwriteBufCmd0029_0029(p).hr; }
    HResult Qflush() override { return link_.Qflush().hr; }
    HResult AsyncArrayRead(uint32_t a, uint32_t n, uint8_t w, uint8_t* b) override { return link_.AsyncArrayRead(a, n, w, b).hr; }
    HResult NorArrayRead(uint32_t a, uint32_t n, uint8_t w, uint8_t* b) override { return link_.NORArrayRead(a, n, w, b).hr; }
    HResult QsetNandRegMode(uint8_t m) override { return link_.QsetNANDregMode(m).hr; }
    HResult QwriteNand8(uint8_t v) override { return link_.QwriteNAND8(v).hr; }
    HResult QwriteNand16(uint16_t v) override { return link_.QwriteNAND16(v).hr; }
    HResult NandArrayRead(uint32_t n, uint8_t w, uint8_t* b) override { return link_.NANDArrayRead(n, w, b).hr; }
    HResult ResetMemory(uint8_t s, uint8_t t) override { return link_.ResetMemory(s, t).hr; }
    HResult PowerControl(uint8_t on) override { return link_.PowerControl(on).hr; }
    HResult SetVoltage(int32_t s, uint32_t mv) override { return link_.SetVoltage(s, mv).hr; }
    HResult SetRampUpTemplate(uint8_t a, uint8_t b) override { return link_.SetRampUpTemplate(a, b).hr; }
    HResult SetInitialAccessCycle(uint8_t c) override { return link_.SetInitialAccessCycle(c).hr; }
    // The simulated kit has no FPGA to load: the image only has to be there.
    HResult FpgaOnTheFly(const std::string& path) override;

private:
    SimKitPipes pipes_;
    tarn::TarnLink link_;
};

}  // namespace rook

// A kit bus that answers reads from a table or a function and records writes, for tests and the
// fuzzer that need no chip model.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kit_bus.h"

namespace lldtest {

// Answers reads from `read` or from `words` (offset -> value, else 0xFFFF), records writes; each
// read moves *clockUs on by readCostUs.
class TableBus : public rook::KitBus {
public:
  std::map<uint32_t, uint16_t> words;
  std::function<uint16_t(uint32_t)> read;
  std::vector<std::pair<uint32_t, uint16_t>> writes;
  uint64_t* clockUs = nullptr;
  uint64_t readCostUs = 1;
  uint32_t cpld = 0x107;
  // The claim on the kit: a connect answers connectResult (the kit taken elsewhere, say).
  rook::HResult connectResult = 0;
  rook::HResult fpgaResult = 0;
  bool connected = false;
  int connects = 0;

  rook::HResult SelectTarnType(uint32_t) override { return 0; }
  rook::HResult ConnectTarn() override {
    ++connects;
    if (connectResult < 0) return connectResult;
    connected = true;
    return 0;
  }
  rook::HResult CloseTarn() override {
    connected = false;
    return 0;
  }
  rook::HResult GetFirmwareId(uint32_t* id) override { *id = 0; return 0; }
  rook::HResult GetCpldId(uint32_t* id) override { *id = cpld; return 0; }
  rook::HResult TarnConfiguration(uint8_t, uint8_t, uint8_t) override { return 0; }
  rook::HResult ConfigTarnPollingMethod(uint8_t, uint32_t) override { return 0; }
  rook::HResult Read8(uint32_t, uint8_t* v) override { *v = 0; return 0; }
  rook::HResult Read16(uint32_t a, uint16_t* v) override {
    if (clockUs) *clockUs += readCostUs;
    auto it = words.find(a);
    *v = read ? read(a) : it != words.end() ? it->second : 0xFFFF;
    return 0;
  }
  rook::HResult Read32(uint32_t, uint32_t* v) override { *v = 0; return 0; }
  rook::HResult Qwrite8(uint32_t, uint8_t, uint8_t) override { return 0; }
  rook::HResult Qwrite16(uint32_t a, uint16_t v, uint8_t) override {
    writes.push_back({a, v});
    return 0;
  }
  rook::HResult Qwrite32(uint32_t, uint32_t, uint8_t) override { return 0; }
  rook::HResult Qflush() override { return 0; }
  rook::HResult AsyncArrayRead(uint32_t, uint32_t, uint8_t, uint8_t*) override { return 0; }
  rook::HResult NorArrayRead(uint32_t, uint32_t, uint8_t, uint8_t*) override { return 0; }
  rook::HResult QsetNandRegMode(uint8_t) override { return 0; }
  rook::HResult QwriteNand8(uint8_t) override { return 0; }
  rook::HResult QwriteNand16(uint16_t) override { return 0; }
  rook::HResult NandArrayRead(uint32_t, uint8_t, uint8_t*) override { return 0; }
  rook::HResult ResetMemory(uint8_t, uint8_t) override { return 0; }
  rook::HResult PowerControl(uint8_t) override { return 0; }
  rook::HResult SetVoltage(int32_t, uint32_t) override { return 0; }
  rook::HResult SetRampUpTemplate(uint8_t, uint8_t) override { return 0; }
  rook::HResult SetInitialAccessCycle(uint8_t) override { return 0; }
  rook::HResult FpgaOnTheFly(const std::string&) override { return fpgaResult; }
};

}  // namespace lldtest

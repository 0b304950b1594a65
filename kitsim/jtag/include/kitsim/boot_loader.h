// The kit USB controller's boot loader and EEPROM writer firmware, as far as the host's firmware
// loading sees them: RAM loads with the CPU held, CPU hold and release, the writer firmware's
// EEPROM probe and raw EEPROM writes, and the boot from EEPROM when the port is cycled.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kitsim {

constexpr uint16_t kCpuControlAddress = 0xE600;
constexpr std::size_t kControllerRamSize = 0x4000;
// The scratch RAM, which the loader writes as well.
constexpr std::size_t kScratchRamAddress = 0xE000, kScratchRamSize = 0x200;
constexpr std::size_t kAddressSpaceSize = 0x10000;
constexpr std::size_t kBootEepromSize = 0x10000;
// The writer firmware announces itself with these bytes at RAM address 0.
extern const uint8_t kWriterSignature[8];

class BootLoader {
public:
    BootLoader() : ram_(kControllerRamSize, 0), scratch_(kScratchRamSize, 0), eeprom_(kBootEepromSize, 0xFF) {}

    // Vendor requests on the control endpoint; false stalls the request.
    bool Out(uint8_t request, uint16_t value, const uint8_t* data, uint32_t length);
    bool In(uint8_t request, uint16_t value, uint8_t* data, uint32_t& length);
    // The port cycle: the controller resets and boots from the EEPROM when it holds an image.
    void CyclePort();

    bool CpuHeld() const { return held_; }
    bool WriterRunning() const;
    const std::vector<uint8_t>& Ram() const { return ram_; }
    const std::vector<uint8_t>& Scratch() const { return scratch_; }
    // Tests: stall every RAM load that begins at this address (-1: none), as a controller that
    // drops off the bus half-way through a load would.
    void StallRamLoadsAt(int address) { stallAt_ = address; }
    std::vector<uint8_t>& Eeprom() { return eeprom_; }
    uint32_t RamLoads() const { return ramLoads_; }
    uint32_t Enumerations() const { return enumerations_; }
    uint32_t HoldChanges() const { return holdChanges_; }
    bool BootedFromEeprom() const { return bootedFromEeprom_; }

private:
    bool LoadRam(uint16_t address, const uint8_t* data, uint32_t length);

    std::vector<uint8_t> ram_, scratch_, eeprom_;
    int stallAt_ = -1;
    bool held_ = false;
    bool running_ = false;  // the CPU runs code that was loaded into RAM
    uint32_t ramLoads_ = 0, enumerations_ = 0, holdChanges_ = 0;
    bool bootedFromEeprom_ = false;
};

}  // namespace kitsim

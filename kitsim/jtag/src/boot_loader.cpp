#include "kitsim/boot_loader.h"

#include <algorithm>
#include <cstring>

namespace kitsim {

const uint8_t kWriterSignature[8] = {'L', 'X', 'E', 'E', 'W', 'R', 'T', '1'};

bool BootLoader::WriterRunning() const {
    return running_ && !held_ && std::memcmp(ram_.data(), kWriterSignature, 8) == 0;
}

bool BootLoader::LoadRam(uint16_t address, const uint8_t* data, uint32_t length) {
    if (int(address) == stallAt_) return false;
    bool inRam = address < ram_.size();
    bool inScratch = address >= kScratchRamAddress && address < kScratchRamAddress + kScratchRamSize;
    // A load must start in RAM; the chip takes one that runs on past it and drops the bytes that
    // fall on reserved addresses.
    if ((!inRam && !inScratch) || std::size_t(address) + length > kAddressSpaceSize) return false;
    std::vector<uint8_t>& to = inRam ? ram_ : scratch_;
    std::size_t at = inRam ? address : address - kScratchRamAddress;
    std::size_t n = std::min<std::size_t>(length, to.size() - at);
    if (n) std::memcpy(&to[at], data, n);
    ++ramLoads_;
    return true;
}

bool BootLoader::Out(uint8_t request, uint16_t value, const uint8_t* data, uint32_t length) {
    switch (request) {
    case 0xA0:
        // The built-in loader works whether or not the CPU runs.
        if (value == kCpuControlAddress) {
            if (length != 1) return false;
            bool hold = data[0] & 1;
            if (hold != held_) ++holdChanges_;
            if (held_ && !hold) running_ = true;
            held_ = hold;
            return true;
        }
        return LoadRam(value, data, length);
    case 0xA3:
        if (!WriterRunning()) return false;
        return LoadRam(value, data, length);
    case 0xA2:
    case 0xA9:
        if (!WriterRunning()) return false;
        if (std::size_t(value) + length > eeprom_.size()) return false;
        if (length) std::memcpy(&eeprom_[value], data, length);
        return true;
    default:
        return false;
    }
}

bool BootLoader::In(uint8_t request, uint16_t, uint8_t* data, uint32_t& length) {
    if ((request != 0xA9 && request != 0xA2) || !WriterRunning()) return false;
    if (length < 2) return false;
    data[0] = request == 0xA9 ? 0x02 : 0x01;  // EEPROM address width
    data[1] = 0x00;
    length = 2;
    return true;
}

void BootLoader::CyclePort() {
    ++enumerations_;
    held_ = false;
    running_ = false;
    bootedFromEeprom_ = false;
    // Boot image: 8-byte header starting with 0xC2, records [len BE][addr BE][data] up to a
    // record with the top length bit set.
    if (eeprom_[0] != 0xC2) return;
    std::size_t pos = 8;
    while (pos + 4 <= eeprom_.size()) {
        uint16_t len = static_cast<uint16_t>((eeprom_[pos] << 8) | eeprom_[pos + 1]);
        uint16_t addr = static_cast<uint16_t>((eeprom_[pos + 2] << 8) | eeprom_[pos + 3]);
        if (len & 0x8000) {
            running_ = true;
            bootedFromEeprom_ = true;
            return;
        }
        if (pos + 4 + len > eeprom_.size() || !LoadRam(addr, &eeprom_[pos + 4], len)) return;
        pos += 4u + len;
    }
}

}  // namespace kitsim

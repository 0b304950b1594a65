// The kit link's NAND register mode: command and address cycles, status reads and data runs of a
// NAND-interface (Veltan) chip, each recorded in the bus trace like the parallel primitives.
#include <algorithm>
#include <vector>

#include "engine.h"

namespace rook {

namespace {

uint32_t FirstWord(const uint8_t* buffer, uint32_t length) {
    uint32_t first = 0;
    for (uint32_t i = 0; i < 4 && i < length; ++i) first |= uint32_t(buffer[i]) << (8 * i);
    return first;
}

}  // namespace

void Engine::WriteNandCycle(uint8_t regMode, uint32_t base, uint32_t registerOffset, uint32_t value) {
    const uint32_t bpw = bytesPerBusWord_ ? bytesPerBusWord_ : 1;
    const uint32_t offset = registerOffset / bpw;
    trace_.Write(kTraceWriteIn, base, offset, base + offset * bpw, value);
    if (kit_) {
        bool ok = !Failed(kit_->QsetNandRegMode(regMode));
        if (bpw == 1) ok = !Failed(kit_->QwriteNand8(static_cast<uint8_t>(value))) && ok;
        else ok = !Failed(kit_->QwriteNand16(static_cast<uint16_t>(value))) && ok;
        if (!ok) nandKitFailed_ = true;
    } else {
        nandKitFailed_ = true;
    }
    trace_.Write(kTraceWriteOut, base, offset, base + offset * bpw, value);
}

uint32_t Engine::ReadNandRegister(uint32_t base, uint32_t offset) {
    const uint32_t bpw = bytesPerBusWord_;
    const uint32_t address = (bpw == 1 || bpw == 2) ? base + offset * bpw : 0;
    trace_.ReadIn(base, offset, address);
    uint32_t value = 0xFFFF;
    bool ok = false;
    if (kit_ && (bpw == 1 || bpw == 2)) {
        ok = !Failed(kit_->QsetNandRegMode(0)) && !Failed(kit_->Qflush());
        if (bpw == 1) {
            uint8_t v = 0;
            ok = !Failed(kit_->Read8(base + offset, &v)) && ok;
            value = v;
        } else {
            uint16_t v = 0;
            ok = !Failed(kit_->Read16((base + 2 * offset) / 2, &v)) && ok;
            value = v;
        }
    }
    if (!ok) nandKitFailed_ = true;
    trace_.ReadOut(base, offset, address, value & 0xFFFF);
    return value;
}

// The data cycles join the kit control's queue behind the command and address cycles before them:
// the queue keeps their order, and the status read that follows sends them all in one transfer.
bool Engine::WriteNandData(uint32_t bytes, const uint8_t* data) {
    const uint32_t bpw = bytesPerBusWord_;
    trace_.Write(kTraceNandDataIn, base_, 0, base_, FirstWord(data, bytes));
    bool ok = kit_ != nullptr && (bpw == 1 || bpw == 2) && !Failed(kit_->QsetNandRegMode(0));
    if (bpw == 1) {
        for (uint32_t i = 0; ok && i < bytes; ++i) ok = !Failed(kit_->QwriteNand8(data[i]));
    } else {
        // Bus words are little-endian in the caller's bytes; a last odd byte fills the low half.
        for (uint32_t i = 0; ok && i < bytes; i += 2)
            ok = !Failed(kit_->QwriteNand16(static_cast<uint16_t>(data[i] | (i + 1 < bytes ? data[i + 1] << 8 : 0xFF00))));
    }
    trace_.Write(kTraceNandDataOut, base_, 0, base_, FirstWord(data, bytes));
    if (!ok) nandKitFailed_ = true;
    return ok;
}

bool Engine::ReadNandArray(uint32_t bytes, uint8_t width, uint8_t* buffer) {
    trace_.Write(kTraceReadBlockIn, base_, 0, base_, 0);
    bool ok = kit_ != nullptr && !Failed(kit_->QsetNandRegMode(0)) && !Failed(kit_->Qflush());
    // The kit reads whole words: an odd byte count on a 16-bit bus reads one byte more.
    std::vector<uint8_t> whole;
    uint8_t* into = buffer;
    if (width == 2 && bytes % 2) {
        whole.resize(bytes + 1);
        into = whole.data();
    }
    if (ok && bytes) ok = !Failed(kit_->NandArrayRead(bytes + (into == buffer ? 0 : 1), width, into));
    if (ok && into != buffer) std::copy_n(whole.begin(), bytes, buffer);
    trace_.Write(kTraceReadBlockOut, base_, 0, base_, ok ? FirstWord(buffer, bytes) : 0);
    if (!ok) nandKitFailed_ = true;
    return ok;
}

}  // namespace rook

// Veltan (NAND-interface) chips: identification, the page and block routines behind the Veltan
// exports, and the status wait that ends a program or an erase.
//
// Sizes at the exports are bytes: a page buffer is the main area followed by the spare area, both
// as the bus carries them (little-endian bus words on x16 parts). Column addresses go to the chip
// in its own units (bytes on x8, words on x16).
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine.h"

namespace rook {

namespace {

constexpr uint32_t kCommandRegister = 4;  // byte offsets of the device window
constexpr uint32_t kAddressRegister = 8;
constexpr uint32_t kReadyPolls = 0x100000;
constexpr uint32_t kSignatureWaitMs = 1000;
constexpr uint8_t kStatusFail = 0x01;
constexpr uint8_t kStatusFailPrevious = 0x02;
constexpr uint8_t kStatusReady = 0x40;
constexpr uint8_t kStatusNotProtected = 0x80;
constexpr uint32_t kJedecNone = 0xFFFFFFFF;
constexpr int kResultKitFailed = -1;

}  // namespace

bool Engine::VeltanOpen() const { return (settings_.deviceClass & 0xFF) == kClassVeltan; }

uint32_t Engine::VeltanPageBytes() const { return settings_.nand.pageSize * (settings_.busWidthBits == 16 ? 2u : 1u); }

uint32_t Engine::VeltanSpareBytes() const { return settings_.nand.spareSize * (settings_.busWidthBits == 16 ? 2u : 1u); }

uint32_t Engine::VeltanBlocks() {
    lastResult_ = 0;
    return settings_.nand.blockCount;
}

uint32_t Engine::VeltanPagesPerBlock() {
    lastResult_ = 0;
    return settings_.nand.pagesPerBlock;
}

int Engine::IdentifyVeltan() {
    const int32_t bus = settings_.busWidthBits;
    if (bus != 8 && bus != 16) return -1;
    bytesPerBusWord_ = bus == 16 ? 2 : 1;
    nandKitFailed_ = false;
    WriteNandCycle(1, base_, kCommandRegister, 0x90);
    WriteNandCycle(2, base_, kAddressRegister, 0x00);
    uint8_t words[12] = {};
    ReadNandArray(6 * bytesPerBusWord_, static_cast<uint8_t>(bytesPerBusWord_), words);
    // The ID comes out a byte per cycle, in the low byte of each word on a 16-bit bus. An ID kind
    // of 0 names no length: the part answers as many bytes as its expected ID has (two, or three
    // for the three-byte codes).
    const uint32_t kind = settings_.nand.idKind;
    const uint32_t expected = static_cast<uint32_t>(settings_.expectedJedecId);
    const uint32_t count = kind == 0 ? (expected > 0xFFFF && expected <= 0xFFFFFF ? 3 : 2)
                                     : (kind >= 2 && kind <= 4) ? kind : 0;
    uint32_t id = count ? 0 : kJedecNone;
    for (uint32_t i = 0; i < count; ++i) id = (id << 8) | words[i * bytesPerBusWord_];
    geometry_.jedecId = id;
    geometry_.baseAddress = base_;
    if (nandKitFailed_ || id == kJedecNone) return -1;
    const NandGeometry& g = settings_.nand;
    if (g.pageSize == 0 || g.pagesPerBlock == 0 || g.blockCount == 0 || g.blockBytes == 0) return -1;
    geometry_.chipSize = g.blockBytes * g.blockCount;
    geometry_.unitSize = g.blockBytes;
    geometry_.unitShift = 0;
    while ((1u << geometry_.unitShift) < g.blockBytes && geometry_.unitShift < 31) ++geometry_.unitShift;
    geometry_.interleave = 1;
    return 0;
}

// ----- cycle sequences

void Engine::VeltanAddressCycles(uint32_t base, uint32_t value, unsigned cycles) {
    for (unsigned i = 0; i < cycles; ++i) WriteNandCycle(2, base, kAddressRegister, (value >> (8 * i)) & 0xFF);
}

void Engine::VeltanReadPageSetup(uint32_t base, uint32_t row, uint32_t column) {
    WriteNandCycle(1, base, kCommandRegister, 0x00);
    VeltanAddressCycles(base, column / bytesPerBusWord_, 2);
    VeltanAddressCycles(base, row, settings_.nand.rowCycles ? 3 : 2);
    WriteNandCycle(1, base, kCommandRegister, 0x30);
}

void Engine::VeltanProgramPageSetup(uint32_t base, uint32_t row, uint32_t column) {
    WriteNandCycle(1, base, kCommandRegister, 0x80);
    VeltanAddressCycles(base, column / bytesPerBusWord_, 2);
    VeltanAddressCycles(base, row, settings_.nand.rowCycles ? 3 : 2);
}

void Engine::VeltanEraseBlockSetup(uint32_t base, uint32_t block) {
    WriteNandCycle(1, base, kCommandRegister, 0x60);
    VeltanAddressCycles(base, block * settings_.nand.pagesPerBlock, settings_.nand.rowCycles ? 3 : 2);
    WriteNandCycle(1, base, kCommandRegister, 0xD0);
}

uint8_t Engine::VeltanReadStatus(uint32_t base) {
    WriteNandCycle(1, base, kCommandRegister, 0x70);
    return static_cast<uint8_t>(ReadNandRegister(base, 0));
}

// Polls the status until the chip is ready: at most 0x100000 reads, and no longer than the user
// time-out of the operation (mode as StartUserTimeout takes it), so a chip stuck busy ends as a
// time-out instead of a million round trips; a kit that stops answering ends it at once.
int Engine::VeltanWaitReady(uint32_t base, int mode) {
    UserTimer timer = StartUserTimeout(mode);
    uint8_t status = 0;
    bool ready = false;
    for (uint32_t i = 0; i < kReadyPolls && !ready; ++i) {
        status = VeltanReadStatus(base);
        if (nandKitFailed_) return kResultKitFailed;
        ready = (status & kStatusReady) != 0;
        if (!ready && TimedOut(timer)) break;
    }
    if (!ready) {
        // A chip left busy would ignore the next command, whose wait would then see this operation
        // end and take it for its own success: the reset command ends it.
        WriteNandCycle(1, base, kCommandRegister, 0xFF);
        if (kit_) kit_->Qflush();
        return 8;
    }
    if (!(status & kStatusNotProtected)) return 10;
    if (status & kStatusFail) return 6;
    if (status & kStatusFailPrevious) return 7;
    return 0;
}

int Engine::VeltanReadPageOp(uint32_t base, uint32_t row, uint32_t column, uint8_t* data, uint32_t length,
                             uint8_t* spare) {
    const uint32_t main = VeltanPageBytes(), spareBytes = VeltanSpareBytes();
    nandKitFailed_ = false;
    VeltanReadPageSetup(base, row, column);
    // One run from the column: the data asked for, and through to the end of the spare area when
    // the spare is wanted as well.
    const uint32_t n = std::min(length, main - column);
    const uint32_t run = spare ? main - column + spareBytes : n;
    std::vector<uint8_t> page(run);
    if (run && !ReadNandArray(run, static_cast<uint8_t>(bytesPerBusWord_), page.data())) return kResultKitFailed;
    if (nandKitFailed_) return kResultKitFailed;
    if (n && data) std::memcpy(data, page.data(), n);
    if (spare && spareBytes) std::memcpy(spare, page.data() + (main - column), spareBytes);
    return 0;
}

int Engine::VeltanProgramPageOp(uint32_t base, uint32_t row, uint32_t column, const uint8_t* data, uint32_t length,
                                const uint8_t* spare) {
    nandKitFailed_ = false;
    VeltanProgramPageSetup(base, row, column);
    WriteNandData(length, data);
    // The spare area goes with a whole page only.
    if (length == VeltanPageBytes() && spare) WriteNandData(VeltanSpareBytes(), spare);
    WriteNandCycle(1, base, kCommandRegister, 0x10);
    if (nandKitFailed_) return kResultKitFailed;
    int r = VeltanWaitReady(base, 1);
    return r == 6 ? 3 : r;
}

int Engine::VeltanEraseBlockOp(uint32_t base, uint32_t block) {
    nandKitFailed_ = false;
    VeltanEraseBlockSetup(base, block);
    if (nandKitFailed_) return kResultKitFailed;
    int r = VeltanWaitReady(base, 3);
    return r == 6 ? 4 : r;
}

// The parameter page and the unique ID need a moment after their address cycle, whatever the
// chip; they come out a byte per cycle, also on a 16-bit bus.
int Engine::VeltanReadSignature(uint32_t base, uint8_t command, uint32_t length, uint8_t* buffer) {
    nandKitFailed_ = false;
    WriteNandCycle(1, base, kCommandRegister, command);
    WriteNandCycle(2, base, kAddressRegister, 0x00);
    host_.SleepMs(kSignatureWaitMs);
    if (!ReadNandArray(length, 1, buffer) || nandKitFailed_) return kResultKitFailed;
    return 0;
}

// ----- the exports

int Engine::VeltanReadPage(uint32_t column, uint32_t page, uint32_t length, uint8_t* buffer) {
    if (!VeltanOpen()) return -1;
    if (!buffer) return Fail(ERROR_INVALID_HANDLE_PARAM);
    const uint64_t pages = uint64_t(settings_.nand.blockCount) * settings_.nand.pagesPerBlock;
    const uint32_t main = VeltanPageBytes();
    if (page >= pages || column >= main || column % bytesPerBusWord_) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    // The data stops at the end of the main area; the spare area follows the data read.
    const uint32_t n = std::min(length, main - column);
    return VeltanResult(VeltanReadPageOp(base_, page, column, buffer, n, buffer + n));
}

int Engine::VeltanProgramPage(uint32_t column, uint32_t page, uint32_t length, const uint8_t* data,
                              const uint8_t* spare) {
    if (!VeltanOpen()) return -1;
    if (!data) return Fail(ERROR_INVALID_HANDLE_PARAM);
    const uint64_t pages = uint64_t(settings_.nand.blockCount) * settings_.nand.pagesPerBlock;
    const uint32_t main = VeltanPageBytes();
    if (page >= pages || column > main || length > main - column || column % bytesPerBusWord_ ||
        length % bytesPerBusWord_)
        return Fail(ERROR_INVALID_PARAMETER_INPUT);
    if (length == 0) return VeltanResult(0);
    return VeltanResult(VeltanProgramPageOp(base_, page, column, data, length, spare));
}

int Engine::VeltanReadRawPage(uint32_t mode, uint32_t first, uint32_t count, uint8_t* buffer) {
    if (!VeltanOpen()) return -1;
    if (!buffer) return Fail(ERROR_INVALID_HANDLE_PARAM);
    const uint32_t main = VeltanPageBytes(), stride = main + VeltanSpareBytes();
    const uint64_t bytes = uint64_t(count) * stride;
    if (bytes > 0xFFFFFFFFull) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    if (mode & 0x10) return VeltanResult(VeltanReadSignature(base_, 0xEC, static_cast<uint32_t>(bytes), buffer));
    if (mode & 0x20) return VeltanResult(VeltanReadSignature(base_, 0xED, static_cast<uint32_t>(bytes), buffer));
    const uint64_t pages = uint64_t(settings_.nand.blockCount) * settings_.nand.pagesPerBlock;
    if (uint64_t(first) + count > pages) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    for (uint32_t i = 0; i < count; ++i, buffer += stride) {
        int r = VeltanReadPageOp(base_, first + i, 0, buffer, main, buffer + main);
        if (r != 0) return VeltanResult(r);
    }
    return VeltanResult(0);
}

int Engine::VeltanProgramRawPage(uint32_t first, uint32_t count, const uint8_t* buffer) {
    if (!VeltanOpen()) return -1;
    if (!buffer) return Fail(ERROR_INVALID_HANDLE_PARAM);
    const uint32_t main = VeltanPageBytes(), stride = main + VeltanSpareBytes();
    const uint64_t pages = uint64_t(settings_.nand.blockCount) * settings_.nand.pagesPerBlock;
    if (uint64_t(first) + count > pages || main == 0) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    for (uint32_t i = 0; i < count; ++i, buffer += stride) {
        int r = VeltanProgramPageOp(base_, first + i, 0, buffer, main, buffer + main);
        if (r != 0) return VeltanResult(r);
    }
    return VeltanResult(0);
}

int Engine::VeltanEraseBlock(uint32_t block) {
    if (!VeltanOpen()) return -1;
    if (block >= settings_.nand.blockCount) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    return VeltanResult(VeltanEraseBlockOp(base_, block));
}

// A block is bad when the mark byte of the spare area is not 0xFF in its first, second or last
// page. Only the spare areas are read: the marks are all the table needs.
int Engine::VeltanGetBbt(uint8_t* table) {
    if (!VeltanOpen()) return -1;
    if (!table) return Fail(ERROR_INVALID_HANDLE_PARAM);
    const NandGeometry& g = settings_.nand;
    const uint32_t main = VeltanPageBytes(), spareBytes = VeltanSpareBytes();
    if (g.pagesPerBlock == 0 || g.badBlockMarker >= spareBytes) return Fail(ERROR_INVALID_PARAMETER_INPUT);
    std::vector<uint8_t> spare(spareBytes);
    int result = 0;
    for (uint32_t b = 0; b < g.blockCount; ++b) {
        table[b] = 0xFF;
        for (uint32_t p : {0u, 1u, g.pagesPerBlock - 1}) {
            host_.CountCall(15);
            result = VeltanReadPageOp(base_, b * g.pagesPerBlock + p, main, nullptr, 0, spare.data());
            if (result < 0) return VeltanResult(result);
            if (result == 0 && spare[g.badBlockMarker] != 0xFF) table[b] = 0;
        }
    }
    return VeltanResult(result);
}

}  // namespace rook

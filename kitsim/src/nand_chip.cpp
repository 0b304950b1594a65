#include "kitsim/nand_chip.h"

#include <algorithm>
#include <cstring>

namespace kitsim {

namespace {

constexpr size_t kParameterPageBytes = 256;
constexpr size_t kUniqueIdCopyBytes = 32;  // the ID, then its complement
constexpr uint8_t kStatusFail = 0x01;
constexpr uint8_t kStatusArrayReady = 0x20;
constexpr uint8_t kStatusReady = 0x40;
constexpr uint8_t kStatusNotProtected = 0x80;

void Put16(std::vector<uint8_t>& p, size_t at, uint32_t v) {
    p[at] = static_cast<uint8_t>(v);
    p[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& p, size_t at, uint32_t v) {
    Put16(p, at, v & 0xFFFF);
    Put16(p, at + 2, v >> 16);
}

void PutText(std::vector<uint8_t>& p, size_t at, size_t width, const std::string& text) {
    for (size_t i = 0; i < width; ++i) p[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

}  // namespace

uint16_t OnfiCrc16(const uint8_t* data, size_t length) {
    uint16_t crc = 0x4F4E;
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

NandPart VeltanPart(unsigned busBits, uint32_t spareBytes) {
    NandPart p;
    const bool wide = busBits == 16;
    const bool second = spareBytes == 128;
    p.busBits = wide ? 16 : 8;
    p.spareBytes = second ? 128 : 64;
    p.blocks = second ? 2048 : 1024;
    p.rowCycles = second ? 3 : 2;
    const uint8_t code = second ? (wide ? 0xCA : 0xDA) : (wide ? 0xC1 : 0xF1);
    p.id = {0x01, code, static_cast<uint8_t>(second ? 0x90 : 0x00), static_cast<uint8_t>(wide ? 0x55 : 0x15),
            static_cast<uint8_t>(second ? 0x46 : 0x00)};
    p.model = std::string("VELTAN ") + (second ? "2G" : "1G") + (wide ? " X16" : " X8") + (second ? " G2" : "");
    for (uint8_t i = 0; i < 16; ++i) p.uniqueId.push_back(static_cast<uint8_t>(code ^ (i * 0x1D + 0x35)));
    p.factoryBadBlocks = {5, 100, 1000};
    return p;
}

bool VeltanPartByName(const std::string& name, NandPart* part) {
    static const struct {
        const char* name;
        unsigned bus;
        uint32_t spare;
    } kNames[] = {{"x8-64", 8, 64}, {"x16-64", 16, 64}, {"x8-128", 8, 128}, {"x16-128", 16, 128}};
    for (const auto& n : kNames) {
        if (name == n.name) {
            *part = VeltanPart(n.bus, n.spare);
            return true;
        }
    }
    return false;
}

NandChip::NandChip(NandPart part, SimClock& clock) : part_(std::move(part)), clock_(clock) {
    if (part_.busBits != 16) part_.busBits = 8;
    if (part_.rowCycles != 3) part_.rowCycles = 2;
    if (part_.pagesPerBlock == 0) part_.pagesPerBlock = 1;
    register_.assign(PageBytesWithSpare(), 0xFF);
    // A factory mark is a zero mark byte (a zero mark word on x16 parts) in the first, second and
    // last page of the block.
    const uint32_t mark = part_.pageBytes + (part_.busBits == 16 ? part_.badBlockMarkOffset & ~1u : part_.badBlockMarkOffset);
    for (uint32_t block : part_.factoryBadBlocks) {
        if (block >= part_.blocks || mark >= PageBytesWithSpare()) continue;
        for (uint32_t p : {0u, 1u, part_.pagesPerBlock - 1}) {
            std::vector<uint8_t> bytes = Page(block * part_.pagesPerBlock + p);
            bytes[mark] = 0;
            if (part_.busBits == 16 && mark + 1 < bytes.size()) bytes[mark + 1] = 0;
            SetPage(block * part_.pagesPerBlock + p, bytes);
        }
    }
    BuildParameterPage();
}

void NandChip::BuildParameterPage() {
    std::vector<uint8_t>& p = parameterPage_;
    p.assign(kParameterPageBytes, 0);
    std::memcpy(p.data(), "ONFI", 4);
    Put16(p, 4, 0x0002);                                  // revision 1.0
    Put16(p, 6, part_.busBits == 16 ? 0x0001 : 0x0000);   // features: 16-bit data bus
    Put16(p, 8, 0x0004 | 0x0020);                         // optional commands: get/set features, unique ID
    PutText(p, 32, 12, part_.manufacturer);
    PutText(p, 44, 20, part_.model);
    p[64] = part_.id.empty() ? 0 : part_.id[0];
    Put32(p, 80, part_.pageBytes);
    Put16(p, 84, part_.spareBytes);
    Put32(p, 86, 512);
    Put16(p, 90, part_.spareBytes / 4);
    Put32(p, 92, part_.pagesPerBlock);
    Put32(p, 96, part_.blocks);
    p[100] = 1;                                           // logical units
    p[101] = static_cast<uint8_t>((2 << 4) | part_.rowCycles);
    p[102] = 1;                                           // bits per cell
    Put16(p, 103, part_.blocks / 50);                     // bad blocks at most per unit
    p[105] = 1;                                           // endurance 1 x 10^5 cycles
    p[106] = 5;
    p[107] = 1;                                           // block 0 guaranteed valid
    Put16(p, 108, 1000);
    p[110] = static_cast<uint8_t>(part_.programsPerPage);
    p[128] = 10;                                          // I/O pin capacitance, pF
    Put16(p, 129, 0x0001);                                // timing mode 0
    Put16(p, 133, part_.programUs);
    Put16(p, 135, part_.eraseUs);
    Put16(p, 137, part_.readUs);
    Put16(p, 139, 100);                                   // tCCS, ns
    Put16(p, 254, OnfiCrc16(p.data(), 254));
}

std::vector<uint8_t> NandChip::Page(uint32_t page) const {
    auto it = pages_.find(page);
    if (it != pages_.end()) return it->second;
    return std::vector<uint8_t>(PageBytesWithSpare(), 0xFF);
}

void NandChip::SetPage(uint32_t page, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> whole(PageBytesWithSpare(), 0xFF);
    std::copy_n(bytes.begin(), std::min(bytes.size(), whole.size()), whole.begin());
    if (std::all_of(whole.begin(), whole.end(), [](uint8_t b) { return b == 0xFF; })) pages_.erase(page);
    else pages_[page] = std::move(whole);
}

uint32_t NandChip::ProgramCount(uint32_t page) const {
    auto it = programs_.find(page);
    return it == programs_.end() ? 0 : it->second;
}

bool NandChip::Busy() { return stuck_ || clock_.NowNs() < busyUntilNs_; }

uint8_t NandChip::Status() {
    uint8_t s = faults_.writeProtected ? 0 : kStatusNotProtected;
    if (Busy()) return s;
    s |= kStatusReady | kStatusArrayReady;
    if (failed_) s |= kStatusFail;
    return s;
}

void NandChip::Reset() {
    setup_ = Setup::None;
    out_ = outBeforeStatus_ = Out::None;
    address_.clear();
    busyUntilNs_ = 0;
    stuck_ = false;
    failed_ = false;
    programAddressed_ = false;
}

bool NandChip::BlockFails(uint32_t block) const {
    return grownBad_.count(block) != 0 ||
           std::find(part_.factoryBadBlocks.begin(), part_.factoryBadBlocks.end(), block) != part_.factoryBadBlocks.end();
}

// Program and read addresses begin with the two column cycles; erase addresses are rows only.
uint32_t NandChip::Row(size_t first) const {
    uint32_t row = 0;
    for (unsigned i = 0; i < part_.rowCycles && first + i < address_.size(); ++i) row |= uint32_t(address_[first + i]) << (8 * i);
    // Address bits above the array are not connected.
    return row % Pages();
}

uint32_t NandChip::Column() const {
    uint32_t column = address_.size() >= 2 ? address_[0] | (uint32_t(address_[1]) << 8) : 0;
    return column * (part_.busBits / 8);
}

void NandChip::NandWrite(NandLatch latch, uint16_t value, unsigned width) {
    (void)width;  // the part's own width decides what a data cycle carries
    switch (latch) {
    case NandLatch::Command: Command(static_cast<uint8_t>(value)); break;
    case NandLatch::Address: Address(static_cast<uint8_t>(value)); break;
    case NandLatch::Data: Data(value); break;
    }
}

void NandChip::Begin(Setup setup) {
    setup_ = setup;
    address_.clear();
    out_ = Out::None;
}

void NandChip::Command(uint8_t command) {
    // While an operation runs the part takes only the status read and the reset.
    if (Busy() && command != 0x70 && command != 0xFF) {
        ++ignoredCommands_;
        return;
    }
    const size_t fullAddress = 2 + part_.rowCycles;
    switch (command) {
    case 0xFF: Reset(); return;
    case 0x70:
        if (out_ != Out::Status) outBeforeStatus_ = out_;
        out_ = Out::Status;
        return;
    case 0x90: Begin(Setup::ReadId); return;
    case 0xEC: Begin(Setup::ReadParameter); return;
    case 0xED: Begin(Setup::ReadUniqueId); return;
    case 0x00: {
        // Right after a status read, 0x00 alone goes back to the data output where it stopped.
        bool resume = out_ == Out::Status && outBeforeStatus_ == Out::Data;
        Begin(Setup::Read);
        if (resume) out_ = Out::Data;
        return;
    }
    case 0x30:
        if (setup_ == Setup::Read && address_.size() == fullAddress) {
            register_ = Page(Row(2));
            column_ = Column();
            out_ = Out::Data;
            StartBusy(part_.readUs);
        } else {
            ++ignoredCommands_;
        }
        setup_ = Setup::None;
        return;
    case 0x05: {
        Out out = out_;
        Begin(Setup::ReadColumn);
        out_ = out;
        return;
    }
    case 0xE0:
        if (setup_ == Setup::ReadColumn && address_.size() == 2) {
            column_ = Column();
            out_ = Out::Data;
        } else {
            ++ignoredCommands_;
        }
        setup_ = Setup::None;
        return;
    case 0x80:
        Begin(Setup::Program);
        register_.assign(PageBytesWithSpare(), 0xFF);
        programAddressed_ = false;
        return;
    case 0x85:
        if (setup_ == Setup::Program && programAddressed_) {
            setup_ = Setup::ColumnChange;
            address_.clear();
        } else {
            ++ignoredCommands_;
        }
        return;
    case 0x10:
        if ((setup_ == Setup::Program || setup_ == Setup::ColumnChange) && programAddressed_) Program(programRow_);
        else ++ignoredCommands_;
        setup_ = Setup::None;
        programAddressed_ = false;
        return;
    case 0x60: Begin(Setup::Erase); return;
    case 0xD0:
        if (setup_ == Setup::Erase && address_.size() == part_.rowCycles) Erase(Row(0));
        else ++ignoredCommands_;
        setup_ = Setup::None;
        return;
    default:
        ++ignoredCommands_;
        setup_ = Setup::None;
        return;
    }
}

void NandChip::Address(uint8_t value) {
    if (Busy() || address_.size() >= 8) return;
    address_.push_back(value);
    const size_t n = address_.size();
    switch (setup_) {
    case Setup::ReadId:
        if (n == 1) out_ = value == 0x00 ? Out::Id : value == 0x20 ? Out::OnfiSignature : Out::None;
        outIndex_ = 0;
        break;
    case Setup::ReadParameter:
    case Setup::ReadUniqueId:
        if (n == 1) {
            out_ = setup_ == Setup::ReadParameter ? Out::Parameter : Out::UniqueId;
            outIndex_ = 0;
            StartBusy(part_.readUs);
        }
        break;
    case Setup::Program:
        if (n == 2 + part_.rowCycles) {
            column_ = Column();
            programRow_ = Row(2);
            programAddressed_ = true;
        }
        break;
    case Setup::ColumnChange:
        if (n == 2) {
            column_ = Column();
            setup_ = Setup::Program;
        }
        break;
    default: break;
    }
}

void NandChip::Data(uint16_t value) {
    if (setup_ != Setup::Program || !programAddressed_) return;
    const unsigned bytes = part_.busBits / 8;
    for (unsigned i = 0; i < bytes; ++i, ++column_)
        if (column_ < register_.size()) register_[column_] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t NandChip::NandRead(unsigned width) {
    (void)width;
    if (out_ == Out::Status) return Status();
    // Data out while the array is busy is not defined on the part; the model answers ones.
    if (Busy()) return 0xFFFF;
    switch (out_) {
    case Out::Id: return outIndex_ < part_.id.size() ? part_.id[outIndex_++] : 0x00;
    case Out::OnfiSignature: return outIndex_ < 4 ? static_cast<uint8_t>("ONFI"[outIndex_++]) : 0x00;
    case Out::Parameter: return parameterPage_[outIndex_++ % parameterPage_.size()];
    case Out::UniqueId: {
        // Sixteen copies of the ID and its complement, then the copies again.
        uint32_t i = outIndex_++ % kUniqueIdCopyBytes;
        uint8_t b = i < 16 && i < part_.uniqueId.size() ? part_.uniqueId[i]
                    : i >= 16 && i - 16 < part_.uniqueId.size() ? static_cast<uint8_t>(~part_.uniqueId[i - 16])
                    : 0;
        return b;
    }
    case Out::Data: {
        uint16_t v = 0;
        const unsigned bytes = part_.busBits / 8;
        for (unsigned i = 0; i < bytes; ++i, ++column_)
            v |= uint16_t(column_ < register_.size() ? register_[column_] : 0xFF) << (8 * i);
        return v;
    }
    default: return 0xFFFF;
    }
}

void NandChip::Program(uint32_t page) {
    // With WP# low the part does not start at all.
    if (faults_.writeProtected) return;
    StartBusy(part_.programUs);
    if (faults_.stuckBusy) {
        stuck_ = true;
        return;
    }
    const uint32_t block = page / part_.pagesPerBlock;
    failed_ = faults_.failProgram || int64_t(page) == faults_.failProgramPage || BlockFails(block) ||
              ProgramCount(page) >= part_.programsPerPage;
    if (failed_) return;
    std::vector<uint8_t> bytes = Page(page);
    // Programming only clears bits.
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] &= register_[i];
    SetPage(page, bytes);
    ++programs_[page];
}

void NandChip::Erase(uint32_t row) {
    if (faults_.writeProtected) return;
    StartBusy(part_.eraseUs);
    if (faults_.stuckBusy) {
        stuck_ = true;
        return;
    }
    const uint32_t block = row / part_.pagesPerBlock;
    failed_ = faults_.failErase || BlockFails(block);
    if (failed_) return;
    const uint32_t first = block * part_.pagesPerBlock, end = first + part_.pagesPerBlock;
    pages_.erase(pages_.lower_bound(first), pages_.lower_bound(end));
    programs_.erase(programs_.lower_bound(first), programs_.lower_bound(end));
}

}  // namespace kitsim

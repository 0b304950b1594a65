// A NAND-interface (Veltan) flash chip behind the kit's NAND register mode: command, address and
// data latches, a page register, pages of a main area and a spare area, blocks, program and erase
// with a status byte, the ONFI parameter page and unique ID, factory bad-block marks and injected
// faults. One model serves every part: the part record below is plain data, so a catalogue can
// make it from a table row.
//
// Addresses as the part takes them: two column cycles (a byte offset on x8 parts, a 16-bit word
// offset on x16 parts, low byte first) and two or three row cycles (the page number, low byte
// first). Data cycles move one byte (x8) or one 16-bit word (x16, little-endian in the array).
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kitsim/clock.h"
#include "kitsim/socket.h"

namespace kitsim {

struct NandPart {
    std::string manufacturer = "LUMIVEX";     // ONFI manufacturer text (12 characters, blank padded)
    std::string model;                        // ONFI model text (20 characters, blank padded)
    unsigned busBits = 8;                     // 8 or 16
    uint32_t pageBytes = 2048;                // main area of a page
    uint32_t spareBytes = 64;                 // spare area of a page
    uint32_t pagesPerBlock = 64;
    uint32_t blocks = 1024;
    unsigned rowCycles = 2;                   // 2 or 3 row address cycles
    std::vector<uint8_t> id;                  // what the ID read (0x90, address 0x00) answers, in order
    std::vector<uint8_t> uniqueId;            // 16 bytes
    uint32_t programsPerPage = 1;             // programs of one page between two erases of its block
    uint32_t readUs = 25;
    uint32_t programUs = 200;
    uint32_t eraseUs = 2000;
    uint32_t badBlockMarkOffset = 0;          // byte of the spare area that marks a bad block
    std::vector<uint32_t> factoryBadBlocks;   // marked bad (mark byte 0x00 in the first, second and last page)
};

// The Veltan parts of the simulated kit, by bus width (8 or 16) and spare bytes per page (64 or
// 128): the 64-byte parts have 1,024 blocks and two row cycles, the 128-byte (second-generation)
// parts 2,048 blocks and three; all have 128 KiB blocks of 64 pages of 2,048 data bytes and three
// factory bad blocks (5, 100 and 1000). IDs: x8/64 01 F1, x16/64 01 C1, x8/128 01 DA, x16/128 01 CA.
NandPart VeltanPart(unsigned busBits, uint32_t spareBytes);
// The same by name: "x8-64", "x16-64", "x8-128", "x16-128"; false for any other name.
bool VeltanPartByName(const std::string& name, NandPart* part);

// ONFI's CRC-16 (polynomial 0x8005, initial value 0x4F4E, most significant bit first).
uint16_t OnfiCrc16(const uint8_t* data, size_t length);

struct NandFaults {
    bool failProgram = false;     // programs end with the FAIL status bit and change nothing
    bool failErase = false;       // erases end with FAIL and change nothing
    bool stuckBusy = false;       // the next program or erase never ends until a reset
    bool writeProtected = false;  // WP# low: status bit 7 clear, programs and erases do nothing
    int64_t failProgramPage = -1; // programs of this one page end with FAIL and change nothing; its block erases well
};

class NandChip : public SocketDevice {
public:
    NandChip(NandPart part, SimClock& clock);

    // SocketDevice: the parallel bus sees nothing; the NAND latches carry every cycle.
    void BusWrite(uint32_t, uint32_t, unsigned) override {}
    uint32_t BusRead(uint32_t, unsigned) override { return 0xFFFFFFFF; }
    void NandWrite(NandLatch latch, uint16_t value, unsigned width) override;
    uint16_t NandRead(unsigned width) override;
    void HardwareReset() override { Reset(); }
    void PowerCycle() override { Reset(); }

    const NandPart& Part() const { return part_; }
    uint32_t PageBytesWithSpare() const { return part_.pageBytes + part_.spareBytes; }
    uint32_t Pages() const { return part_.blocks * part_.pagesPerBlock; }
    // A page's data area followed by its spare area, as the array holds it (bypasses commands).
    std::vector<uint8_t> Page(uint32_t page) const;
    void SetPage(uint32_t page, const std::vector<uint8_t>& bytes);
    // Programs since the block's last erase.
    uint32_t ProgramCount(uint32_t page) const;
    // A block that fails every later program and erase, as a block that wore out does.
    void InjectGrownBadBlock(uint32_t block) { grownBad_.insert(block); }
    NandFaults& Faults() { return faults_; }
    // The 256-byte ONFI parameter page (one copy, CRC in its last two bytes).
    const std::vector<uint8_t>& ParameterPage() const { return parameterPage_; }
    uint8_t Status();
    bool Busy();
    // Command cycles that the chip did not take (unknown, or refused while busy).
    uint32_t IgnoredCommands() const { return ignoredCommands_; }

private:
    enum class Out { None, Id, OnfiSignature, Parameter, UniqueId, Status, Data };
    enum class Setup { None, ReadId, Read, ReadParameter, ReadUniqueId, Program, Erase, ColumnChange, ReadColumn };

    void Begin(Setup setup);
    void Command(uint8_t command);
    void Address(uint8_t value);
    void Data(uint16_t value);
    void Program(uint32_t page);
    void Erase(uint32_t row);
    void Reset();
    uint32_t Row(size_t firstCycle) const;
    uint32_t Column() const;  // in bytes
    void StartBusy(uint32_t us) { busyUntilNs_ = clock_.NowNs() + uint64_t(us) * 1000u; }
    bool BlockFails(uint32_t block) const;
    void BuildParameterPage();

    NandPart part_;
    SimClock& clock_;
    // Programmed pages only; a page that is not here reads as erased (all 0xFF).
    std::map<uint32_t, std::vector<uint8_t>> pages_;
    std::map<uint32_t, uint32_t> programs_;
    std::set<uint32_t> grownBad_;
    NandFaults faults_;
    std::vector<uint8_t> parameterPage_;

    Setup setup_ = Setup::None;
    Out out_ = Out::None;
    Out outBeforeStatus_ = Out::None;
    std::vector<uint8_t> address_;
    std::vector<uint8_t> register_;  // the page register (data + spare)
    uint32_t column_ = 0;            // byte offset of the next data cycle
    uint32_t programRow_ = 0;
    bool programAddressed_ = false;  // a program's column and row are complete
    uint32_t outIndex_ = 0;          // next byte of an ID, parameter page or unique ID answer
    uint64_t busyUntilNs_ = 0;
    bool stuck_ = false;
    bool failed_ = false;            // FAIL of the last program or erase
    uint32_t ignoredCommands_ = 0;
};

}  // namespace kitsim

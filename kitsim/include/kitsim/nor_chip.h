// A parallel NOR flash chip, driven by the part record below: one model serves every part of a
// family. Two command families: the unlock-command family (0xAA/0x55 unlock cycles, unlock bypass,
// DQ7/DQ6/DQ5/DQ2/DQ1 status) and the reduced command family (no unlock cycles, commands at sector
// address + 0x555/0xAAA, a status register read with 0x70). Both suspend a sector erase (0xB0) and
// resume it (0x30). The chip is a 16-bit device that also runs in byte mode (bus width 1, byte addresses),
// or, for a byte-wide part, an 8-bit device whose cells are bytes: commands at byte addresses 0x555 and
// 0x2AA, the CFI query at 0x55 and the CFI table and IDs one byte per byte address.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kitsim/clock.h"
#include "kitsim/socket.h"

namespace kitsim {

struct NorSectorRegion {
    uint32_t count;
    uint32_t bytes;
};

struct NorPart {
    std::string name;
    uint16_t manufacturerId = 0x0001;
    uint16_t deviceId[3] = {0x227E, 0x2210, 0x2201};  // autoselect words 0x01, 0x0E, 0x0F
    std::vector<NorSectorRegion> regions;               // in address order
    uint32_t writeBufferWords = 32;
    uint32_t secsiBytes = 256;                          // overlays the start of sector 0
    uint32_t wordProgramUs = 60;
    uint32_t bufferProgramUs = 240;
    uint32_t sectorEraseUs = 5000;
    uint32_t chipEraseUs = 20000;
    bool advancedProtection = true;                     // lock register, PPBs, DYBs, password
    bool reducedCommands = false;                       // the reduced command family
    bool byteWide = false;                              // an 8-bit part: one byte per cell
    // Some top-boot parts list their CFI erase regions from the top of the array down.
    bool cfiRegionsTopFirst = false;
    // CFI fields derived from the geometry unless set: typical/maximum timing exponents.
    uint8_t vccMin = 0x27, vccMax = 0x36;
};

// The default part of the simulated kit: 8 MiB, 128 uniform 64 KiB sectors.
NorPart DefaultNorPart();
// The default geometry in the reduced command family: 8 MiB, 128 × 64 KiB, a 256-word write buffer.
NorPart ReducedNorPart();
// A small part with boot sectors, for tests that walk regions: 8 × 8 KiB then 15 × 64 KiB.
NorPart SmallBootNorPart();
// A byte-wide part of the unlock-command family: 8 MiB, 128 × 64 KiB, a 64-byte write buffer.
NorPart ByteWideNorPart();

struct NorFaults {
    bool failProgram = false;   // the next programs end with DQ5 and leave bits unprogrammed
    bool failErase = false;     // the next erases end with DQ5 and leave the sector as it was
    // Programs of a cell that holds this byte of the array fail as failProgram makes them, the
    // whole program with it; every other program and the erases go well.
    uint32_t failProgramByte = 0xFFFFFFFF;
    bool stuckBusy = false;     // the next embedded operation never ends until a reset
    bool noCfi = false;         // the chip ignores the CFI query (no "QRY" anywhere)
    // A cell stuck at 0: the bits of the mask in this byte stay 0 through every erase.
    uint32_t stuckZeroByte = 0xFFFFFFFF;
    uint8_t stuckZeroMask = 0;
};

class NorChip : public SocketDevice {
public:
    NorChip(NorPart part, SimClock& clock);

    // SocketDevice
    void BusWrite(uint32_t address, uint32_t data, unsigned width) override;
    uint32_t BusRead(uint32_t address, unsigned width) override;
    void HardwareReset() override;
    void PowerCycle() override;
    void SetAcceleration(bool on) override { acc_ = on; }

    const NorPart& Part() const { return part_; }
    uint32_t SizeBytes() const { return size_; }
    uint32_t SectorCount() const { return static_cast<uint32_t>(sectorStart_.size()); }
    uint32_t SectorOfByte(uint32_t byteAddress) const;
    uint32_t SectorStart(uint32_t sector) const { return sectorStart_[sector]; }
    uint32_t SectorBytes(uint32_t sector) const;

    // Direct access for tests and for loading images (bypasses commands and protection).
    std::vector<uint8_t>& Array() { return array_; }
    const std::vector<uint8_t>& Array() const { return array_; }
    std::vector<uint8_t>& SecSi() { return secsi_; }
    uint16_t ArrayWord(uint32_t wordAddress) const;
    NorFaults& Faults() { return faults_; }

    bool Busy();
    bool SectorProtected(uint32_t sector) const { return ppb_[sector] || dyb_[sector]; }
    bool Ppb(uint32_t sector) const { return ppb_[sector]; }
    bool Dyb(uint32_t sector) const { return dyb_[sector]; }
    bool PpbLocked() const { return ppbLock_; }
    bool EraseSuspended() const { return eraseSuspended_; }
    uint16_t LockRegister() const { return lockRegister_; }
    void SetPassword(uint64_t pw) { password_ = pw; }
    uint64_t Password() const { return password_; }
    // Counts every bus write that the state machine did not accept as part of a command.
    uint32_t IgnoredWrites() const { return ignoredWrites_; }

    static const std::vector<uint16_t>& CfiTemplate();
    std::vector<uint16_t> CfiTable() const;  // words from query offset 0x10 on
    // Bytes of one cell: 2 for a 16-bit part (in either bus mode), 1 for a byte-wide one.
    uint32_t CellBytes() const { return cell_; }

private:
    enum class Mode { Read, Autoselect, Cfi, SecSi, LockReg, Ppb, PpbLock, Dyb, Password, Bypass };
    enum class Op { None, Program, BufferProgram, SectorErase, ChipErase, PpbProgram, PpbErase, LockProgram };
    enum class Pend { None, Program, BufferCount, BufferLoad, EraseSetup, CommandSetProgram, PpbEraseSetup,
                      PasswordUnlock, BypassErase };

    void WriteWord(uint32_t word, uint16_t data, bool byteMode, uint32_t byteAddress);
    uint16_t ReadWord(uint32_t word);
    uint16_t StatusWord(uint32_t word);
    void Command(uint32_t word, uint16_t data);
    void CommandSetWrite(uint32_t word, uint16_t data);
    void BypassWrite(uint32_t word, uint16_t data);
    void StartErase(uint32_t word, uint8_t command);
    void StartOp(Op op, uint64_t us, uint32_t sector);
    void FinishOp();
    void ResetState();
    bool UnlockStep(uint32_t word, uint16_t data);
    bool InSecSi(uint32_t word) const { return word < part_.secsiBytes / cell_; }
    uint32_t SectorOfCell(uint32_t cell) const { return SectorOfByte(cell * cell_); }
    uint16_t CellValue(const std::vector<uint8_t>& bytes, uint32_t cell) const;
    // A byte-wide part's register writes carry the low byte only; the upper one stays as it was.
    uint16_t CellMask(uint16_t data) const { return cell_ == 1 ? static_cast<uint16_t>(data | 0xFF00) : data; }
    uint32_t PasswordCells() const { return 8 / cell_; }
    void ProgramCell(std::vector<uint8_t>& bytes, uint32_t cell, uint16_t value);
    void ReducedCommand(uint32_t word, uint16_t data);
    uint16_t StatusRegister();
    bool ProgramFails() const;
    void SuspendErase();
    void ResumeErase();

    NorPart part_;
    SimClock& clock_;
    uint32_t size_ = 0;
    uint32_t cell_ = 2;
    std::vector<uint32_t> sectorStart_;
    std::vector<uint8_t> array_;
    std::vector<uint8_t> secsi_;
    std::vector<uint8_t> ppb_;
    std::vector<uint8_t> dyb_;
    bool ppbLock_ = false;
    uint16_t lockRegister_ = 0xFFFF;
    uint64_t password_ = ~0ull;
    bool acc_ = false;
    NorFaults faults_;

    Mode mode_ = Mode::Read;
    bool secsiExitArmed_ = false;
    int unlock_ = 0;            // unlock cycles seen (0, 1, 2)
    Pend pend_ = Pend::None;
    bool byteModeOp_ = false;

    // Write-buffer load
    uint32_t bufSector_ = 0;
    uint32_t bufRemaining_ = 0;
    uint32_t bufPageWord_ = 0;
    bool bufPageSet_ = false;
    std::vector<std::pair<uint32_t, uint16_t>> bufWords_;
    bool bufferAbort_ = false;
    uint32_t lastWord_ = 0;
    uint16_t lastData_ = 0;

    // Running embedded operation
    Op op_ = Op::None;
    uint64_t opEndNs_ = 0;
    uint32_t opSector_ = 0;
    bool opFailed_ = false;     // DQ5: the operation exceeded its time limit
    bool opStuck_ = false;
    bool opNoEffect_ = false;   // refused (protected): busy briefly, change nothing
    bool toggle_ = false;       // DQ6
    bool toggle2_ = false;      // DQ2
    std::vector<std::pair<uint32_t, uint16_t>> opWords_;  // words to program when the op ends
    uint32_t opPasswordWords_ = 0;
    uint16_t pwUnlock_[8] = {};
    uint32_t pwUnlockCount_ = 0;
    uint32_t ignoredWrites_ = 0;

    // Reduced command family: status register and its sticky error bits (DQ5 erase, DQ4 program,
    // DQ1 sector locked), and a status read armed by 0x70.
    bool statusRead_ = false;
    uint16_t srErrors_ = 0;
    bool opRefused_ = false;
    // A suspended sector erase and the time it still needs.
    bool eraseSuspended_ = false;
    uint32_t suspendedSector_ = 0;
    uint64_t suspendedRemainingNs_ = 0;
};

}  // namespace kitsim

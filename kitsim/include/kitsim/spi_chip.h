// An SPI NOR flash chip behind the kit's serial controller, driven by the part record below: one
// model serves every part, the record says which registers, commands and areas the part has.
//
// What the model keeps, as the parts do:
// - the array, programmed only by clearing bits, erased to 0xFF by page program (0x02/0x12/0x32/0x34,
//   wrapping inside the page), 4 KiB (0x20/0x21), 8 KiB (0x40), sector (0xD8/0xDC) and chip erase
//   (0x60/0xC7);
// - the write-enable latch: every write command needs WREN (0x06) first and clears the latch;
//   without it the command does nothing. WIP (status bit 0) is set while an operation runs, and a
//   busy chip answers only the status reads, clear status and reset;
// - status register 1 with BP0-BP2 (bits 2-4) protecting the top (or, with the part's bottom bit,
//   the bottom) 1/64 .. 1/2 .. all of the array; parts with error bits report a refused program in
//   P_ERR (bit 6) and a refused erase in E_ERR (bit 5), sticky until clear status (0x30) or a reset;
// - the configuration register (0x35: bit 1 quad enable, bit 2 parameter sectors on top, bit 5
//   block protection counted from the bottom on parts with error bits, bits 3-5 the security
//   register locks on parts with security registers), status register 2 (0x07) and 3 (0x33);
//   0x01 writes status 1, then the configuration register, then the part's third register;
// - the bank register (0x16 read, 0x17 write; bits 0-6 address bits 24-30, bit 7 four-byte
//   addresses for the array commands) and the four-byte commands;
// - an OTP area (0x4B read, 0x42 program) in regions guarded by lock bits that the area itself
//   holds (a cleared lock bit refuses every later program of its region), or three security
//   registers (0x48 read, 0x42 program, 0x44 erase) locked for good by configuration bits 3-5;
// - advanced sector protection: the ASP register (0x2B, 0x2F; bit 1 persistent mode, bit 2
//   password mode, bits only cleared), a persistent bit per sector (0xE2, 0xE3, 0xE4), their lock
//   bit (0xA7, 0xA6; cleared at power-up in password mode until the password is given), a dynamic
//   bit per sector (0xE0, 0xE1; unprotected at power-up), the 64-bit password (0xE7, 0xE8, 0xE9);
//   a sector is protected when either bit is 0x00;
// - the data learning pattern (0x41 read, 0x43 non-volatile, 0x4A volatile);
// - identification: 0x9F answers the ID bytes and, on parts with CFI, the CFI table from byte
//   0x10 ("QRY"); 0xAB and 0x90 the older signatures; 0x5A the SFDP table on parts that have one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kitsim/clock.h"
#include "kitsim/serial.h"

namespace kitsim {

// One OTP region: its bytes and the lock bit that guards them (a byte of the OTP area itself).
struct SpiOtpRegion {
    uint32_t start;
    uint32_t bytes;
    uint32_t lockAddress;
    uint8_t lockBit;
};

// A plain record, so that chip catalogues can be turned into models without code.
struct SpiPart {
    std::string name;
    std::vector<uint8_t> id;              // 0x9F answer: manufacturer, device, extended ID bytes
    uint8_t electronicSignature = 0x18;   // 0xAB
    bool cfiInId = false;                 // 0x9F goes on with the CFI table at byte 0x10
    bool sfdp = false;                    // 0x5A answers an SFDP table
    uint32_t sizeBytes = 32u << 20;
    uint32_t pageBytes = 256;
    uint32_t sectorBytes = 64 * 1024;     // 0xD8 / 0xDC
    uint32_t smallSectorBytes = 4096;     // 0x20 / 0x21; 0 = none
    uint32_t parameterBytes = 0;          // small sectors only in this many bytes at the bottom
                                          // (top with configuration bit 2); 0 = everywhere
    uint32_t p8eBytes = 8192;             // 0x40; 0 = none
    bool errorBits = true;                // status bits 5/6 are E_ERR/P_ERR, else TB/SEC
    bool statusRegister2 = false;         // 0x07
    bool statusRegister3 = false;         // 0x33
    uint8_t thirdWriteRegister = 0;       // a third 0x01 byte writes: 2 status 2, 3 status 3, 0 none
    bool bankRegister = true;
    bool asp = true;
    bool dataLearning = true;
    uint32_t otpBase = 0;                 // OTP area addresses (0x4B / 0x42); otpBytes 0 = none
    uint32_t otpBytes = 0;
    std::vector<SpiOtpRegion> otpRegions;
    uint32_t securityRegisters = 0;       // 256-byte registers at n x 0x1000, n = 1..count
    uint32_t pageProgramUs = 400;
    uint32_t smallEraseUs = 2000;
    uint32_t sectorEraseUs = 20000;
    uint32_t chipEraseUs = 400000;
    uint32_t registerWriteUs = 1500;
    uint32_t otpProgramUs = 100;
    uint32_t protectionUs = 200;          // PPB program / erase, password program and unlock
};

// 32 MiB, 64 KiB sectors with 32 parameter sectors of 4 KiB, CFI in the ID, error bits, status
// register 2, bank register, ASP, a 1 KiB OTP area of 32 regions with lock bytes at 0x10-0x13,
// data learning. ID 01 02 19 4D 01.
SpiPart BessaSpiPart();
// 16 MiB, 4 KiB sectors everywhere, no CFI but SFDP, no error bits, status registers 2 (0x35) and
// 3 (0x33) written with status 1 in one frame, three security registers. ID EF 40 18.
SpiPart MarroSpiPart();
// 8 MiB, CFI in the ID, error bits, no bank register, no ASP, the OTP area 0x100-0x2FF with two
// ESN regions and 31 OTP regions. ID 01 02 16 4D 00.
SpiPart PirelSpiPart();
// A part by name ("bessa", "marro", "pirel"); false for another name.
bool SpiPartByName(const std::string& name, SpiPart* part);

struct SpiFaults {
    bool stuckBusy = false;   // the next program, erase or protection operation never ends until a reset
    bool failProgram = false; // programs end with P_ERR (parts with error bits) and change nothing
    bool failErase = false;
};

class SpiChip : public SerialDevice {
public:
    SpiChip(SpiPart part, SimClock& clock);

    // SerialDevice
    void Select(bool asserted) override;
    uint8_t Shift(uint8_t out, unsigned lanes) override;
    void HardwareReset() override;
    void PowerCycle() override;

    const SpiPart& Part() const { return part_; }
    std::vector<uint8_t>& Array() { return array_; }
    std::vector<uint8_t>& Otp() { return otp_; }
    std::vector<uint8_t>& SecurityRegister(uint32_t n) { return security_[n - 1]; }
    SpiFaults& Faults() { return faults_; }
    bool Busy();
    uint8_t Status1();
    uint8_t Config() const { return config_; }
    uint8_t Status2() const { return status2_; }
    uint8_t Status3() const { return status3_; }
    uint8_t Bank() const { return bank_; }
    uint16_t Asp() const { return asp_; }
    bool PpbLocked() const { return !(ppbLock_ & 1); }
    bool Ppb(uint32_t sector) const { return ppb_[sector] == 0; }
    bool Dyb(uint32_t sector) const { return dyb_[sector] == 0; }
    uint64_t Password() const { return password_; }
    uint8_t VolatileDataLearning() const { return vdlr_; }
    uint8_t DataLearning() const { return nvdlr_; }
    uint32_t SectorOf(uint32_t address) const { return address / part_.sectorBytes; }
    bool Protected(uint32_t address) const;
    // Bytes clocked on the serial bus, both ways, since the model was made (frames' every byte).
    uint64_t BusBytes() const { return busBytes_; }
    uint32_t Frames() const { return frames_; }
    // Bytes of write commands that were ignored because the latch was not set.
    uint32_t RefusedWithoutWren() const { return refusedWithoutWren_; }

    static std::vector<uint8_t> CfiTable(const SpiPart& part);   // from byte 0x10 of the 0x9F answer
    static std::vector<uint8_t> SfdpTable(const SpiPart& part);

private:
    enum class Op { None, Program, Erase, Register, Otp, Protection };
    struct Layout {
        uint8_t addressBytes;   // 0, 3, 4, or 0xFF = by the bank register's four-byte bit
        uint8_t dummyBytes;
    };
    Layout LayoutOf(uint8_t opcode) const;
    uint8_t ReadByte();
    void TakeByte(uint8_t b);
    void Execute();
    uint32_t ArrayAddress() const;
    bool WriteCommand(uint8_t opcode) const;
    void StartOp(Op op, uint32_t us);
    void Refuse(Op op);
    void EraseRange(uint32_t start, uint32_t bytes, uint32_t us);
    void Program();
    void ProgramOtp();
    bool OtpLocked(uint32_t address) const;
    void WriteRegisters();
    void PowerOnState();

    SpiPart part_;
    SimClock& clock_;
    std::vector<uint8_t> array_, otp_;
    std::vector<std::vector<uint8_t>> security_;
    std::vector<uint8_t> ppb_, dyb_;
    std::vector<uint8_t> cfi_, sfdp_;
    SpiFaults faults_;

    // Registers.
    uint8_t status1_ = 0;      // without WIP and WEL, which live below
    bool wel_ = false;
    uint8_t config_ = 0, status2_ = 0, status3_ = 0;
    uint8_t bank_ = 0;
    uint16_t asp_ = 0xFFFF;
    uint8_t ppbLock_ = 1;
    uint64_t password_ = ~0ull;
    uint8_t nvdlr_ = 0xFF, vdlr_ = 0xFF;  // the non-volatile register is one-time: bits only clear

    // Running operation.
    Op op_ = Op::None;
    uint64_t opEndNs_ = 0;
    bool opStuck_ = false;

    // The frame in progress.
    bool selected_ = false;
    bool frameIgnored_ = false;
    uint32_t byteIndex_ = 0;
    uint8_t opcode_ = 0;
    Layout layout_{0, 0};
    uint8_t addressBytes_ = 0;
    uint32_t address_ = 0;
    uint32_t dataIndex_ = 0;
    std::vector<uint8_t> in_;   // data bytes the host sent after address and dummy bytes

    uint64_t busBytes_ = 0;
    uint32_t frames_ = 0;
    uint32_t refusedWithoutWren_ = 0;
};

}  // namespace kitsim

// The kit module's engine: the state of the one open device and every operation behind the
// device API exports (open and close, identification and geometry, the parallel NOR command
// sets with their status polling, the NOR data path and protection, the kit link with its bus
// trace). Portable: the kit control and the platform come in through KitBus and Host.
//
// Results follow the device API: 0 for success, negative for failure, the failure's code kept in
// the last-result word for gfslGetLastError.
#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "kit_bus.h"
#include "kit_failure.h"
#include "settings.h"
#include "trace.h"

namespace rook {

// One row of the bus-cycle table: how command bytes and status bits sit on the bus.
struct NorCommandRecord {
    uint32_t multiplier = 0;     // a command byte times this reaches every interleaved chip
    uint32_t dataMask = 0;
    uint32_t statusMask = 0;
    uint32_t unlock1 = 0;        // bus-word offsets from the device base
    uint32_t unlock2 = 0;
    uint32_t cfiAddress = 0;
    uint32_t addressStep = 0;
    uint32_t bytesPerBusWord = 0;
    uint32_t writeBufferBytes = 0;
};

struct DeviceGeometry {
    int32_t deviceType = 0;
    uint32_t jedecId = 0;
    int32_t busConfig = 0;
    uint32_t unitSize = 0;
    uint32_t unitShift = 0;
    uint32_t chipSize = 0;
    uint32_t interleave = 0;
    uint32_t baseAddress = 0;
};

// The SPI bus-cycle record of the open device (one chip on the 8-bit bus, or two on the 16-bit bus).
struct SpiCommandRecord {
    uint32_t chips = 0;
    uint32_t pageBytes = 256;
    uint32_t pageMask = 255;
    uint32_t extendedIdBytes = 0;
    uint32_t capabilities = 0;
    uint8_t commands[4] = {0xFF, 0xFF, 0xFF, 0xFF};   // [1] reads the identification at open
};

// Busy states of the SPI waits.
enum : int { kSpiReady = 1, kSpiProgramError = 2, kSpiEraseError = 3, kSpiBusy = 5 };
constexpr int kSpiFailed = 0xFFFF;
constexpr uint32_t kSpiNoAddress = 0xFFFFFFFF;

class Engine;

// The parallel NOR command set of the open device; an empty entry is an operation the set lacks.
struct NorCommandSet {
    int (Engine::*writeBufferProgram)(uint32_t base, uint32_t start, uint32_t count, const uint8_t* data) = nullptr;
    int (Engine::*program)(uint32_t base, uint32_t address, uint32_t value) = nullptr;
    int (Engine::*sectorErase)(uint32_t base, uint32_t sector) = nullptr;
    void (Engine::*cfiEntry)(uint32_t base, uint32_t sector) = nullptr;
    void (Engine::*cfiExit)(uint32_t base) = nullptr;
    void (Engine::*autoselectEntry)(uint32_t base, uint32_t sector) = nullptr;
    void (Engine::*autoselectExit)(uint32_t base) = nullptr;
    void (Engine::*secsiEntry)(uint32_t base, uint32_t sector) = nullptr;
    void (Engine::*secsiExit)(uint32_t base) = nullptr;
    void (Engine::*reset)(uint32_t base) = nullptr;
    void (Engine::*aso20Entry)(uint32_t base, uint32_t sector) = nullptr;
    void (Engine::*aso20Exit)(uint32_t base) = nullptr;
};

// Status word bits of gfslNORGetBlockStatus / gfslNORSetBlockStatus.
enum : uint32_t {
    kStatusPpbClear = 0x100,
    kStatusPpbSet = 0x200,
    kStatusPpbLockClear = 0x400,
    kStatusPpbLockSet = 0x800,
    kStatusDybClear = 0x1000,
    kStatusDybSet = 0x2000,
    kStatusPasswordProgram = 0x4000,
    kStatusPasswordUnlock = 0x8000,
};

class Engine {
public:
    explicit Engine(Host& host);
    ~Engine();

    // ----- the device API (each answers what the export answers)
    int Init(int mode);
    int GetDeviceTextInfo(char* text);
    uint64_t BytesPerDevice();
    uint32_t NorGetBlockSize(uint32_t index);
    int NorReadData(uint32_t address, uint32_t length, uint8_t* buffer);
    int NorProgramData(uint32_t address, uint32_t length, const uint8_t* data);
    int NorProgramRawData(uint32_t address, uint32_t length, const uint8_t* data);
    int NorEraseBlock(uint32_t index);
    int NorGetBlockStatus(uint32_t index, uint16_t* status);
    int NorSetBlockStatus(uint32_t indexOrPassword, uint32_t status);
    int NorSetAsoMode(uint32_t mode);
    // The module's own calls (custom callbacks 1-4): chip erase; a sector erase started without
    // waiting; erase suspend (0 suspended, 1 the erase had already ended); erase resume, waited for.
    int NorChipErase();
    int NorEraseBegin(uint32_t index);
    int NorEraseSuspend(uint32_t index);
    int NorEraseResume(uint32_t index);
    int GetLastError(char* text, uint32_t size) const;
    uint32_t VeltanBlocks();
    uint32_t VeltanPagesPerBlock();
    int VeltanGetBbt(uint8_t* table);
    int VeltanReadPage(uint32_t column, uint32_t page, uint32_t length, uint8_t* buffer);
    int VeltanProgramPage(uint32_t column, uint32_t page, uint32_t length, const uint8_t* data, const uint8_t* spare);
    int VeltanReadRawPage(uint32_t mode, uint32_t first, uint32_t count, uint8_t* buffer);
    int VeltanProgramRawPage(uint32_t first, uint32_t count, const uint8_t* buffer);
    int VeltanEraseBlock(uint32_t block);

    // ----- state, for the shells and tests
    DeviceSettings& Settings() { return settings_; }
    const DeviceGeometry& Geometry() const { return geometry_; }
    const CfiRecord& Cfi() const { return cfi_; }
    const NorCommandRecord& Working() const { return working_; }
    TraceRing& Trace() { return trace_; }
    int32_t LastResult() const { return lastResult_; }
    void SetLastResult(int32_t r) { lastResult_ = r; }
    bool Closed() const { return closed_; }
    KitBus* Kit() const { return kit_.get(); }
    uint8_t* TraceView() const { return trace_.View(); }
    uint32_t BytesPerBusWord() const { return bytesPerBusWord_; }
    uint32_t BaseAddress() const { return base_; }
    uint32_t SpiSpace() const { return spiSpace_; }
    const SpiCommandRecord& SpiWorking() const { return spiWorking_; }
    bool SpiNoCfiInId() const { return spiNoCfiInId_; }
    uint32_t SpiExtendedId() const { return spiExtendedId_; }

    // ----- kit link (bus primitives; offsets in bus words from `base`, a byte address)
    int InitProgrammingUnit();
    HResult StartProgrammingUnit();
    void CloseKitLink();
    void WriteBus(uint32_t base, uint32_t offset, uint32_t data);
    void WriteBusPolled(uint32_t base, uint32_t offset, uint32_t data, uint8_t pollingCode);
    void WriteBufferConfirm(uint32_t base, uint32_t offset);
    void QueueWrite(uint32_t base, uint32_t offset, uint32_t data, uint8_t pollingCode);
    uint32_t ReadBus(uint32_t base, uint32_t offset);
    // Sends the queue; a failure is kept as a failed link (LinkFailed) for the operation.
    HResult Flush();
    bool LinkFailed() const { return linkFailed_; }
    void BeginOperation();
    // Reads `length` bytes from the byte offset; false when the kit failed.
    bool ReadNorArray(uint32_t base, uint32_t byteOffset, uint32_t length, uint8_t* buffer);
    HResult SwitchChipSelect(uint32_t chipSelectIndex);
    // NAND register mode (1 command, 2 address) at a register byte offset of the device window.
    void WriteNandCycle(uint8_t regMode, uint32_t base, uint32_t registerOffset, uint32_t value);
    uint32_t ReadNandRegister(uint32_t base, uint32_t offset);
    // Data cycles of `bytes` bytes (bus words of the bus width, little-endian); false when the kit failed.
    bool WriteNandData(uint32_t bytes, const uint8_t* data);
    bool ReadNandArray(uint32_t bytes, uint8_t width, uint8_t* buffer);
    static int MemoryTypeCode(const DeviceSettings& s);
    static int MemoryConfigCode(const DeviceSettings& s);
    static int ChipSelectIndex(int32_t mask);

    // ----- identification and geometry
    int IdentifyDevice();
    int SelectNorCommandRecord(uint32_t interleave);
    uint32_t GetBlockSize(uint32_t index) const;
    uint32_t BlockIndexToOffset(uint32_t index) const;
    const EraseRegion& UnitRegion() const;
    void FillCommandRecords();
    void FillNorCommandSet();

    // ----- Veltan page and block routines (results: 0 success, 3 program failure, 4 erase
    //       failure, 7 status bit 1, 8 time-out, 10 write-protected, -1 the kit failed)
    int IdentifyVeltan();
    uint32_t VeltanPageBytes() const;   // main area
    uint32_t VeltanSpareBytes() const;
    void VeltanReadPageSetup(uint32_t base, uint32_t row, uint32_t column);
    void VeltanProgramPageSetup(uint32_t base, uint32_t row, uint32_t column);
    void VeltanEraseBlockSetup(uint32_t base, uint32_t block);
    uint8_t VeltanReadStatus(uint32_t base);
    int VeltanWaitReady(uint32_t base, int mode);
    // One page from a byte column: `length` data bytes, then (when `spare` is given) the whole spare area.
    int VeltanReadPageOp(uint32_t base, uint32_t row, uint32_t column, uint8_t* data, uint32_t length, uint8_t* spare);
    int VeltanProgramPageOp(uint32_t base, uint32_t row, uint32_t column, const uint8_t* data, uint32_t length,
                            const uint8_t* spare);
    int VeltanEraseBlockOp(uint32_t base, uint32_t block);
    // The parameter page (0xEC) or the unique ID (0xED): `length` bytes.
    int VeltanReadSignature(uint32_t base, uint8_t command, uint32_t length, uint8_t* buffer);

    // ----- command sets (results as the sets answer them: 1 success)
    int LegacyWriteBufferProgramOp(uint32_t base, uint32_t start, uint32_t count, const uint8_t* data);
    int LegacyProgramOp(uint32_t base, uint32_t address, uint32_t value);
    int LegacySectorEraseOp(uint32_t base, uint32_t sector);
    void LegacyCfiEntry(uint32_t base, uint32_t sector);
    void LegacyAutoselectEntry(uint32_t base, uint32_t sector);
    void LegacySecSiEntry(uint32_t base, uint32_t sector);
    void LegacySecSiExit(uint32_t base);
    void LegacyAso20Entry(uint32_t base, uint32_t sector);
    void ResetCmd(uint32_t base);
    int ReducedWriteBufferProgramOp(uint32_t base, uint32_t start, uint32_t count, const uint8_t* data);
    int ReducedProgramOp(uint32_t base, uint32_t address, uint32_t value);
    int ReducedSectorEraseOp(uint32_t base, uint32_t sector);
    void ReducedCfiEntry(uint32_t base, uint32_t sector);
    void ReducedSecSiEntry(uint32_t base, uint32_t sector);
    void SectorEraseCmd(uint32_t base, uint32_t sector);
    int ChipEraseOp(uint32_t base);
    int EraseSuspendOp(uint32_t base, uint32_t sector);
    int EraseResumeOp(uint32_t base, uint32_t sector);
    uint32_t ReadDeviceId(uint32_t base);
    int PollDataStatus(uint32_t base, uint32_t address, uint32_t expected, int mode, uint32_t* status);
    uint32_t PollStatusRegister(uint32_t base, uint32_t address, int mode);
    int ReadToggleStatus(uint32_t base);
    void ShowFlashStatus(const char* text, uint32_t status);
    const NorCommandSet& CommandSet() const { return commands_; }

    // ----- SPI command layer (results: 0 success, a kit failure, kSpiFailed, or -1 from the
    //       wrappers the engine calls)
    void FillSpiCommandRecords();
    int SpiCommand(uint8_t command, uint32_t address, const uint8_t* data, uint32_t count);
    int SpiRead(uint8_t command, uint32_t address, uint8_t* buffer, uint32_t count);
    void SpiSimple(uint8_t command);
    int SpiReadRegister(uint8_t command, uint8_t* value) { return SpiRead(command, kSpiNoAddress, value, 1); }
    int SpiReadIdentification(uint8_t* buffer, uint32_t count);
    int SpiReadData(uint32_t address, uint32_t count, uint8_t* buffer);
    int SpiReadWipState(uint8_t* status, int* state);
    int SpiWaitWhileBusy(int* state, int mode);
    int SpiWriteOp(int mode, int* state, uint8_t command, uint32_t address, const uint8_t* data, uint32_t count);
    int SpiPageProgram(uint8_t command, uint32_t address, const uint8_t* data, uint32_t count, int* state);
    int SpiProgramData(uint32_t address, const uint8_t* data, uint32_t count);
    int SpiEraseOp(uint8_t command, uint32_t address);
    int SpiOtpProgram(uint32_t address, const uint8_t* data, uint32_t count);
    int SpiWriteRegister1(uint8_t value);
    int SpiWriteRegisters(const uint8_t* values, uint32_t count);
    int SpiWriteStatusSet(uint8_t value, int which);
    int SpiWriteStatus2Set(uint8_t value);
    int SpiDataLearningProgram(uint8_t value);
    int SpiDataLearningWriteVolatile(uint8_t value);
    int SpiDybWrite(uint32_t address, uint8_t value);
    void SpiSelectBank(uint32_t bank);
    int SpiPasswordProgram();
    int SpiPasswordUnlockWait();
    int SpiReadPassword();
    const uint8_t* SpiPasswordBuffer() const { return spiPassword_; }

    // Advanced sector protection
    uint32_t LockRegBitsReadOp(uint32_t base);
    int LockRegBitsProgramOp(uint32_t base, uint32_t value);
    int PpbLockBitSetOp(uint32_t base);
    uint32_t PpbLockBitReadOp(uint32_t base);
    int PpbProgramOp(uint32_t base, uint32_t sector);
    int PpbAllEraseOp(uint32_t base);

private:
    struct UserTimer {
        bool armed = false;
        uint64_t start = 0;
        uint64_t limit = 0;
    };
    UserTimer StartUserTimeout(int mode);
    bool TimedOut(const UserTimer& t) const;
    void AbortChipOperation();
    int EraseSuspendState(uint32_t base, uint32_t sector);
    int ReducedEraseResult(uint32_t status) const;
    int EraseTarget(uint32_t index, uint32_t* offset, bool checkProtection);
    int WaitProtectionOp(uint32_t base);
    void ProtectionExit(uint32_t base);
    void Unlock(uint32_t base);
    uint32_t Cmd(uint32_t byte) const { return byte * working_.multiplier; }
    uint32_t Dq(int n) const { return working_.multiplier << n; }
    bool AnyLane(uint32_t value, int bit) const { return (value & Dq(bit)) != 0; }
    uint32_t ReadCfiWord(uint32_t base, uint32_t offset);
    int IdentifyNor();
    int ReadNorCfi(uint32_t base);
    bool ParseCfi(const std::function<uint32_t(uint32_t)>& at, bool spi);
    int ProgramNor16(uint32_t base, uint32_t offset, uint32_t length, const uint8_t* data);
    int ProgramPiece(uint32_t offset, uint32_t length, const uint8_t* data);
    int BlockStatusWord(uint32_t byteOffset, uint16_t* status);
    bool ChipSelectFor(uint32_t offset, uint32_t* chipSelect, uint32_t* windowEnd) const;
    bool SelectChipFor(uint32_t offset, uint32_t* windowEnd);
    void Redirect(uint32_t* offset);
    void EndRedirect();
    bool ProtectedAt(uint32_t byteOffset);
    void ReenterNorOverlay(uint32_t base);
    int ConfirmDeviceIdentity(int& identified);
    int IdentifySpi();
    void SetSpiPageBytes(uint32_t bytes);
    bool UsePredefinedSpiGeometry();
    int SelectSpiCommandRecord(uint32_t interleave);
    int SpiNorRead(uint32_t address, uint32_t length, uint8_t* buffer);
    int SpiNorProgram(uint32_t address, uint32_t length, const uint8_t* data);
    int SpiNorErase(uint32_t index);
    int SpiChipErase();
    int SpiBlockStatus(uint32_t index, uint16_t* status);
    int SpiSetBlockStatus(uint32_t argument, uint32_t status);
    int SpiSetAsoMode(uint32_t mode);
    int SpiProgramRegisterSpace(uint32_t address, uint32_t length, const uint8_t* data);
    int SpiArrayReadPiece(uint8_t command, uint32_t address, uint8_t* buffer, uint32_t count);
    bool SpiFamilyIn(std::initializer_list<int> families) const;
    // The parts with three security registers (0x48 / 0x42 / 0x44) and three status registers
    // written in one frame; their status bits 5 and 6 are protection bits, not error bits.
    bool SpiSecurityRegisterPart() const;
    // Whether the status register reports a refused program or erase (P_ERR / E_ERR): without
    // them a refused operation looks done, and only reading it back tells.
    bool SpiHasErrorBits() const;
    // Whether a program or erase of the array is read back: on parts without error bits, and on
    // the user's own parts, where nothing says the status bits the family has are on the chip.
    bool SpiReadsBack() const;
    int SpiVerify(uint32_t address, uint32_t length, const uint8_t* expected, uint8_t fill);
    int SpiArrayFailure(uint32_t offset, int32_t code);
    int SpiEraseBlockOp(uint8_t command, uint32_t offset, uint32_t size);
    int SpiEraseWithP8E(uint32_t offset);
    bool SpiRecoverLink();
    void SpiRedirect(uint32_t* address);
    int ForEachBankPiece(uint32_t address, uint32_t length, const std::function<int(uint32_t, uint32_t, uint32_t)>& work);
    int DeviceCode() const;
    bool VeltanOpen() const;
    void VeltanAddressCycles(uint32_t base, uint32_t value, unsigned cycles);
    int VeltanResult(int code) {
        lastResult_ = code;
        return code;
    }
    int Open();
    int Close();
    int Fail(int32_t code) {
        lastResult_ = code;
        return -1;
    }

    Host& host_;
    std::unique_ptr<KitBus> kit_;
    DeviceSettings settings_;
    DeviceGeometry geometry_;
    CfiRecord cfi_;
    NorCommandRecord records_[9];  // by bus configuration code
    NorCommandRecord working_;
    NorCommandSet commands_;
    TraceRing trace_;
    std::string installFolder_;
    KitStep kitStep_ = KitStep::Create;  // the start-up step under way, for the reason of a failure
    std::string imagePath_;              // the FPGA image the start-up asked the kit to load
    int32_t lastResult_ = 0;
    bool closed_ = true;
    uint32_t bytesPerBusWord_ = 2;
    uint32_t base_ = 0;
    uint32_t chipSelect_ = 0;        // index of the current chip select
    uint8_t memTypeCode_ = 0;
    uint8_t memConfigCode_ = 1;
    uint32_t userTimeoutMs_[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    bool bufferProgramPolling_ = false;
    uint16_t password_[4] = {0, 0, 0, 0};
    uint32_t lastStatus_ = 0;
    uint32_t norOverlay_ = 0;     // the NOR overlay entered (mode bit 0x04-0x20); 0 the array
    bool nandKitFailed_ = false;  // a NAND primitive's kit call failed since the flag was cleared

    // SPI state of the open device.
    SpiCommandRecord spiRecords_[2];
    SpiCommandRecord spiWorking_;
    uint32_t spiSpace_ = 0;             // 0 the array; 2, 3, 4, 5, 16-21 register spaces
    // A space switch the part refused: until the space is left every read, program and erase
    // fails, so that a caller that did not look at the switch's answer cannot reach the array
    // in its place.
    bool spiSpaceRefused_ = false;
    bool spiLinkLost_ = false;          // an SPI operation lost the kit; the next one recovers
    int64_t spiBankCache_ = -1;         // the bank last written; -1 = write the next one
    bool spiNoCfiInId_ = false;
    uint32_t spiExtendedId_ = 0;
    uint8_t spiPassword_[8] = {};       // the password to program or present, or read back
    uint16_t spiPasswordWords_[4] = {0, 0, 0, 0};
    uint8_t spiLastStatus_ = 0;
    bool linkFailed_ = false;  // a kit call failed since the operation began
};

// Swaps a copy of the caller's data by the "Data Swap" setting (1: bytes of each 16-bit word,
// 2: each 4-byte group), as the raw program export needs it.
std::vector<uint8_t> SwapData(const uint8_t* data, uint32_t length, int mode);

}  // namespace rook

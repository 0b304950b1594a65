// Every error text of the kit control object, in one place. The texts are what clients and users
// have always seen, spelling included, so they are never reworded.
#pragma once

#define TARN_TEXTS(X)                                                                      \
    X(QueueNotEmpty, "Warning: Unwritten data in queue, plese do Qflush()")                \
    X(ReadFirmwareId, "Read Firware ID Error")                                             \
    X(ReadCpldId, "Read CPLD ID Error")                                                    \
    X(InvalidMemConfig, "Invalid memory configuration")                                    \
    X(WriteError, "Write Error")                                                           \
    X(Write32, "Write32 Error")                                                            \
    X(Write16, "Write16 Error")                                                            \
    X(Write8, "Write8 Error")                                                              \
    X(Read32, "Read32 Error")                                                              \
    X(Read16, "Read16 Error")                                                              \
    X(Read8, "Read8 Error")                                                                \
    X(Qwrite32, "Qwrite32 Error")                                                          \
    X(Qwrite32Incomplete, "Qwrite32 imcomplete")                                           \
    X(Qwrite16, "Qwrite16 Error")                                                          \
    X(Qwrite16Incomplete, "Qwrite16 imcomplete")                                           \
    X(Qwrite8, "Qwrite8 Error")                                                            \
    X(Qwrite8Incomplete, "Qwrite8 imcomplete")                                             \
    X(QwriteBurstData, "QwriteBurstData Error")                                            \
    X(QwriteBurstDataIncomplete, "QwriteBurstData imcomplete")                             \
    X(Qflush, "Qflush Error")                                                              \
    X(ResetMemory, "Unable to set Reset to device")                                        \
    X(InvalidBusWidth, "Invalid data bus width")                                           \
    X(ArrayRead, "Array Read Error")                                                       \
    X(MemoryController, "Memory Controller Error")                                         \
    X(InvalidReadBurstLength, "Invalid Read Burst Length")                                 \
    X(BurstRead, "Burst Read Error")                                                       \
    X(BurstNotMultiple, "Total bytelen must be multiple of burst len")                     \
    X(InvalidBurstLength, "Invalid burst length")                                          \
    X(BurstWriteAddress, "Burst Write unable to set CPLD address")                         \
    X(BurstWrite, "Burst Write Error")                                                     \
    X(MemControl, "MemControl Error")                                                      \
    X(HighSpeedFlag, "Read USB Hight Speed Flag Error")                                    \
    X(ProgramWriteBuffer, "QProgramWriteBuffer Error")                                     \
    X(ProgramWriteBufferIncomplete, "QProgramWriteBuffer imcomplete")                      \
    X(InvalidNandReg, "Invalid NAND Reg")                                                  \
    X(QsetNandRegMode, "QsetNANDregMode Error")                                            \
    X(QsetNandRegModeIncomplete, "QsetNANDregMode imcomplete")                             \
    X(QwriteNand16, "QwriteNAND16 Error")                                                  \
    X(QwriteNand16Incomplete, "QwriteNAND16 imcomplete")                                   \
    X(QwriteNand8, "QwriteNAND8 Error")                                                    \
    X(QwriteNand8Incomplete, "QwriteNAND8 imcomplete")                                     \
    X(WriteNand16, "WriteNAND16 Error")                                                    \
    X(WriteNand8, "WriteNAND8 Error")                                                      \
    X(PollingTimer, "Config Polling Timer Error")                                          \
    X(PollingStatus, "Get Polling Status Error")                                           \
    X(InvalidAcc, "Invalid ACC/WP# voltage setting")                                       \
    X(AccControl, "ACC Control Error")                                                     \
    X(InvalidProtect, "Invalid RESET/PROT/UNPROT voltage setting")                         \
    X(ProtectControl, "PROTECT/UNPROTECT Control Error")                                   \
    X(EepromRead, "I2C_EEPROM Read Error")                                                 \
    X(QwriteSpi, "QwriteSPI Error")                                                        \
    X(QwriteSpiIncomplete, "QwriteSPI imcomplete")                                         \
    X(WriteSpi, "WriteSPI Error")                                                          \
    X(BurstRead8, "BurstRead8 Error")                                                      \
    X(BurstRead16, "BurstRead16 Error")                                                    \
    X(BurstRead32, "BurstRead32 Error")                                                    \
    X(PageRead8, "PageRead8 Error")                                                        \
    X(PageRead16, "PageRead16 Error")                                                      \
    X(PageRead32, "PageRead32 Error")                                                      \
    X(PowerControl, "PowerControl Error")                                                  \
    X(SetRampUpParameter, "SetRampUpParameter Error")                                      \
    X(InvalidRampUpTemplate, "Invalid range of RampUp Template")                           \
    X(AccessCycleRange, "SetInitialAccessCycle : Out of Range")                            \
    X(AccessCycle, "SetInitialAccessCycle : Error")                                        \
    X(NotImplemented, "Not Implemented")                                                   \
    X(InvalidVoltage, "Invalid voltage")                                                   \
    X(NoCommunication, "Unable to communicate with Tarn")                                  \
    X(SetupVcc, "Setup VCC error")                                                         \
    X(InvalidRange, "Invalid address range")

namespace tarn {
namespace text {
#define TARN_TEXT_DECLARE(name, value) constexpr const char* k##name = value;
TARN_TEXTS(TARN_TEXT_DECLARE)
#undef TARN_TEXT_DECLARE
}  // namespace text
}  // namespace tarn

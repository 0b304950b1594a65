// The kit's USB protocol as both sides see it: the kit control (kitcontrol/core/tarn_link.cpp)
// builds packets and bus streams with these codes, the kit simulator (kitsim/src/kit.cpp) serves
// them. kitsim/PROTOCOL.md describes what each one does.
#pragma once
#include <cstdint>

namespace kitproto {

// Endpoints.
constexpr uint8_t kEpCommandOut = 0x01;  // 64-byte command packets
constexpr uint8_t kEpCommandIn = 0x81;   // their answers
constexpr uint8_t kEpStreamOut = 0x02;   // the bus stream (value/opcode pairs)
constexpr uint8_t kEpDataIn = 0x86;      // array-read and JTAG data

constexpr unsigned kPacketSize = 64;
constexpr uint8_t kCommandMark = 0x81;  // byte 0 of a command packet
constexpr uint8_t kAnswerMark = 0x80;   // byte 0 of an answer; byte 1 repeats the command code

// Command codes (byte 1 of a command packet).
enum Command : uint8_t {
    kCmdMemoryReset = 1,
    kCmdSupplyVoltage = 2,
    kCmdStatus = 4,
    kCmdPollingSetup = 5,
    kCmdArrayReadSetup = 6,
    kCmdPollingStatus = 7,
    kCmdI2cWrite = 8,
    kCmdI2cRead = 9,
    kCmdBurstWriteSetup = 10,
    kCmdMemoryModeSelect = 11,
};

// The only supply the voltage command sets (the 1.8 V/VIO regulator).
constexpr uint8_t kSupplyVio = 0x3A;

// Opcodes of the bus stream's pairs (the value comes first, the opcode second).
constexpr uint8_t kStreamPad = 0x00;            // ignored
constexpr uint8_t kStreamRegister = 0x20;       // + n: CPLD register n = value
constexpr int kCpldRegisterCount = 19;
constexpr uint8_t kStreamBusCycle = 0x40;       // one bus cycle, value = polling code
constexpr uint8_t kStreamBufferConfirm = 0x47;  // write-buffer confirm (0x29 on every lane)

constexpr uint8_t StreamRegister(int n) { return static_cast<uint8_t>(kStreamRegister + n); }

// I2C devices on the kit.
constexpr uint8_t kI2cPowerSwitch = 0x23;   // socket power switch
constexpr uint8_t kI2cControllerEeprom = 0x50;
constexpr uint8_t kI2cSocketEeprom = 0x57;

}  // namespace kitproto

// The Halden's SysEx message set, written down once: the framing, the command bytes
// and the device's result codes. The engine, the receiver and the simulated Halden all
// use these, so that they cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halden::protocol {

// Framing: F0 41 <device> 4B 39 <command> <data...> F7.
inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr uint8_t kManufacturer = 0x41;
inline constexpr uint8_t kRequestDevice = 0x10;  // any device number is taken in replies
inline constexpr uint8_t kModel1 = 0x4B;
inline constexpr uint8_t kModel2 = 0x39;
inline constexpr size_t kHeaderSize = 5;     // F0 41 <device> 4B 39
inline constexpr size_t kCommandOffset = 5;  // the command byte in a whole message

// Command bytes.
inline constexpr uint8_t kControlRequest = 0x10;
inline constexpr uint8_t kIdentityRequest = 0x11;
inline constexpr uint8_t kIdentityReply = 0x12;
inline constexpr uint8_t kEraseRequest = 0x13;
inline constexpr uint8_t kEraseReply = 0x14;
inline constexpr uint8_t kBlockWrite = 0x15;
inline constexpr uint8_t kBlockReply = 0x16;

// The control code of the handshake.
inline constexpr uint8_t kHandshakeCode = 2;

// An identity reply body: the command and 19 data bytes.
inline constexpr size_t kIdentityBodySize = 20;
inline constexpr size_t kSerialOffset = 14;  // d14 to d19
inline constexpr size_t kSerialBytes = 6;

// A block write: header, command, block number (2), length (2), payload, checksum (2),
// F7.
inline constexpr size_t kBlockWriteOverhead = 13;
inline constexpr size_t kBlockPayloadOffset = 10;
// Block numbers and lengths travel as 14-bit numbers.
inline constexpr unsigned kMax14Bit = 0x3FFF;

// Device results in an erase reply.
namespace erase {
inline constexpr uint8_t kOk = 0;
inline constexpr uint8_t kFailure = 1;
}  // namespace erase

// Device results in a block reply.
namespace block {
inline constexpr uint8_t kOk = 0;
inline constexpr uint8_t kBadChecksum = 1;
inline constexpr uint8_t kBadLength = 2;
inline constexpr uint8_t kBadCheckcode = 3;  // out of sequence
inline constexpr uint8_t kUnknown = 4;
inline constexpr uint8_t kDeviceFault = 5;
inline constexpr uint8_t kProgrammingFault = 6;
inline constexpr uint8_t kTaken = 7;  // success too, in a reply of exactly two bytes
inline constexpr uint8_t kTooLarge = 8;
}  // namespace block

}  // namespace halden::protocol

// The Halden's SysEx message set, written down once: the framing, the command bytes
// and the device's result codes. The engine, the receiver and the simulated Halden all
// use these, so that they cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/bytes.h"

namespace halden::protocol {

// Framing: F0 41 <device> 4B 39 <command> <data...> F7.
inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr uint8_t kManufacturer = 0x41;
inline constexpr uint8_t kRequestDevice = 0x10;  // any device number is taken in replies
inline constexpr uint8_t kModel1 = 0x4B;
inline constexpr uint8_t kModel2 = 0x39;
inline constexpr size_t kHeaderSize = 5;      // F0 41 <device> 4B 39
inline constexpr size_t kCommandOffset = 5;   // the command byte in a whole message
inline constexpr size_t kArgumentOffset = 6;  // a control code or an erase's area

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

// Numbers wider than seven bits travel as 14-bit numbers, high seven bits first.
inline constexpr unsigned kMax14Bit = 0x3FFF;
inline void put14(Bytes& out, unsigned v) {
    out.push_back(static_cast<uint8_t>((v >> 7) & 0x7F));
    out.push_back(static_cast<uint8_t>(v & 0x7F));
}
// The caller has checked that bytes `at` and `at + 1` are there.
inline unsigned read14(ByteView in, size_t at) {
    return static_cast<unsigned>(((in[at] & 0x7F) << 7) | (in[at + 1] & 0x7F));
}

// An identity reply body: the command and 19 data bytes, d1 being body[1].
namespace identity {
inline constexpr size_t kBodySize = 20;
inline constexpr size_t kImageStatus = 1;
inline constexpr size_t kVersionMajor = 2;
inline constexpr size_t kVersionMinor = 3;
inline constexpr size_t kBlockSize = 7;  // 14-bit
inline constexpr size_t kAuxByte1 = 9;
inline constexpr size_t kAuxByte2 = 10;
inline constexpr size_t kAuxWord = 11;  // 14-bit
inline constexpr size_t kAuxByte3 = 13;
inline constexpr size_t kSerial = 14;  // d14 to d19
inline constexpr size_t kSerialBytes = 6;
}  // namespace identity

// A block write: header, command, block number (14-bit), payload length (14-bit),
// payload, checksum (14-bit), F7. The checksum is the sum of the four number bytes and
// the payload, in 14 bits.
inline constexpr size_t kBlockNumberOffset = 6;
inline constexpr size_t kBlockLengthOffset = 8;
inline constexpr size_t kBlockPayloadOffset = 10;
inline constexpr size_t kBlockWriteOverhead = 13;
inline unsigned blockChecksum(ByteView message, size_t payloadLength) {
    unsigned sum = 0;
    for (size_t i = kBlockNumberOffset; i < kBlockPayloadOffset + payloadLength; ++i) {
        sum += message[i];
    }
    return sum & kMax14Bit;
}

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

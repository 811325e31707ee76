// The Halden's SysEx message set, written down once: the framing, the command bytes
// and the device's result codes. The engine, the receiver and the simulated Halden all
// use these, so that they cannot drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/bytes.h"
#include "engine/image.h"

namespace halden::protocol {

// Framing: F0 41 <device> 4B 39 <command> <data...> F7.
inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr uint8_t kManufacturer = 0x41;
inline constexpr uint8_t kRequestDevice = 0x10;  // any device number is taken in replies
inline constexpr uint8_t kModel1 = 0x4B;
inline constexpr uint8_t kModel2 = 0x39;
inline constexpr size_t kHeaderSize = 5;  // F0 41 <device> 4B 39

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

// A block write carries its payload and 13 bytes more.
inline constexpr size_t kBlockWriteOverhead = 13;

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

// The messages, each written and read in one place. Requests are whole messages; a
// reply is the body the receiver hands out (command first, without the closing 0xF7),
// which `frame` makes whole.
Bytes frame(ByteView body);  // F0 41 10 4B 39 <body> F7
// The body of a whole Halden message (possibly empty); nullopt when it is not one.
std::optional<ByteView> unframe(ByteView message);

Bytes controlRequest(uint8_t code);
Bytes identityRequest();
Bytes eraseRequest(uint8_t area);
Bytes blockWrite(unsigned number, ByteView payload);
// The one byte of a control or an erase request's body; nullopt when it holds another
// count of bytes.
std::optional<uint8_t> requestArgument(ByteView body);
struct BlockWrite {
    unsigned number = 0;
    ByteView payload;
    bool checksumOk = false;
};
// nullopt when the body is not a block write, or one whose length does not fit.
std::optional<BlockWrite> decodeBlockWrite(ByteView body);

// The numbers an identity reply carries, kept as the Halden's record holds them.
struct IdentityReply {
    uint32_t imageStatus = 0;  // 0: the firmware checked good
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;
    uint16_t blockSize = 0;  // the largest payload of a block write
    uint8_t auxByte1 = 0;
    uint8_t auxByte2 = 0;
    uint16_t auxWord = 0;
    uint32_t auxByte3 = 0;
    std::array<uint8_t, 6> serial{};
    // The two bytes as one value, compared and shown as a version.
    Version version() const { return {versionMajor, versionMinor}; }
};
Bytes identityReply(const IdentityReply& reply);
// nullopt unless the body is exactly an identity reply's 20 bytes.
std::optional<IdentityReply> decodeIdentityReply(ByteView body);
Bytes controlReply(uint8_t code);  // the acknowledgement of a handshake
Bytes eraseReply(uint8_t result);
Bytes blockReply(uint8_t result);
// The result in an erase or a block reply; one the Halden did not send counts as 0, as
// in a zero-filled reply buffer.
uint8_t replyResult(ByteView body);

}  // namespace halden::protocol

// The Halden's message set: requests, the identity record, and the three exchanges.
#pragma once

#include <cstdint>
#include <string>

#include "engine/host.h"
#include "engine/protocol.h"

namespace halden {

// What the Halden said of itself in its identity reply.
struct DeviceInfo : protocol::IdentityReply {
    std::string serialText;   // 12 lowercase hex digits
    std::string versionText;  // "major.minor", only when imageStatus is 0
};

// The requests, framing included.
using protocol::blockWrite;
using protocol::controlRequest;
using protocol::eraseRequest;
using protocol::identityRequest;

// Fills `info` from an identity reply body (command byte first). The body must be
// exactly 20 bytes long, else the result is 8 and `info` is left cleared.
[[nodiscard]] StatusCode decodeIdentity(ByteView body, DeviceInfo& info);

[[nodiscard]] StatusCode sendControl(EngineIo& io, uint8_t code);
[[nodiscard]] StatusCode readIdentity(EngineIo& io, DeviceInfo& info);
[[nodiscard]] StatusCode eraseArea(EngineIo& io, uint8_t area);
[[nodiscard]] StatusCode writeBlock(EngineIo& io, uint16_t blockNumber, ByteView payload);

// The status code for a device result in a block reply (result 0 is success).
[[nodiscard]] StatusCode blockResultStatus(uint8_t result, size_t bodyLength);

}  // namespace halden

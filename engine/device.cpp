#include "engine/device.h"

#include <array>
#include <cstdio>
#include <new>

namespace halden {

using namespace protocol;

namespace {

constexpr size_t kIdentityCapacity = 78;
constexpr unsigned kIdentityPolls = 30;
constexpr size_t kEraseCapacity = 30;
constexpr unsigned kErasePolls = 88;
constexpr size_t kBlockCapacity = 50;
constexpr unsigned kBlockPolls = 100;

// Reads one body into `buffer`; `body` is the part that was received.
template <size_t Capacity>
StatusCode readBody(EngineIo& io, unsigned polls, std::array<uint8_t, Capacity>& buffer,
                    ByteView& body) {
    size_t count = 0;
    const StatusCode rc = io.receiver.readResponse(buffer.data(), buffer.size(), &count, polls);
    body = ByteView(buffer.data(), count);
    return rc;
}

// Reads bodies until one starts with `command`; other bodies are skipped, each skip
// starting a fresh budget.
template <size_t Capacity>
StatusCode readReplyTo(EngineIo& io, uint8_t command, unsigned polls,
                       std::array<uint8_t, Capacity>& buffer, ByteView& body) {
    while (true) {
        if (StatusCode rc = readBody(io, polls, buffer, body)) return rc;
        if (!body.empty() && body[0] == command) return status::kOk;
    }
}

}  // namespace

StatusCode decodeIdentity(ByteView body, DeviceInfo& info) {
    info = DeviceInfo{};
    const std::optional<IdentityReply> reply = decodeIdentityReply(body);
    if (!reply) return status::kResponseUnknown;
    static_cast<IdentityReply&>(info) = *reply;
    char serial[2 * std::tuple_size_v<decltype(reply->serial)> + 1] = {};
    for (size_t i = 0; i < info.serial.size(); ++i) {
        std::snprintf(serial + 2 * i, 3, "%.2x", info.serial[i]);
    }
    info.serialText = serial;
    if (info.imageStatus == 0) info.versionText = versionText(info.version());
    return status::kOk;
}

StatusCode sendControl(EngineIo& io, uint8_t code) {
    return io.port.sendSysEx(controlRequest(code));
}

StatusCode readIdentity(EngineIo& io, DeviceInfo& info) {
    info = DeviceInfo{};
    if (StatusCode rc = io.port.sendSysEx(identityRequest())) return rc;
    std::array<uint8_t, kIdentityCapacity> buffer;
    ByteView body;
    if (StatusCode rc = readReplyTo(io, kIdentityReply, kIdentityPolls, buffer, body)) return rc;
    return decodeIdentity(body, info);
}

StatusCode eraseArea(EngineIo& io, uint8_t area) {
    io.receiver.reset();  // nothing older than this request counts as its reply
    if (StatusCode rc = io.port.sendSysEx(eraseRequest(area))) return rc;
    std::array<uint8_t, kEraseCapacity> buffer;
    ByteView body;
    if (StatusCode rc = readReplyTo(io, kEraseReply, kErasePolls, buffer, body)) return rc;
    switch (replyResult(body)) {
        case erase::kOk:
            return status::kOk;
        case erase::kFailure:
            return status::kEraseFailure;
        default:
            return status::kResponseUnknown;
    }
}

StatusCode blockResultStatus(uint8_t result, size_t bodyLength) {
    switch (result) {
        case block::kOk:
            return status::kOk;
        case block::kBadChecksum:
            return status::kBadChecksum;
        case block::kBadLength:
        case block::kTooLarge:
            return status::kBadLength;
        case block::kBadCheckcode:
            return status::kBadCheckcode;
        case block::kDeviceFault:
            return status::kDeviceResult5;
        case block::kProgrammingFault:
            return status::kProgrammingFault;
        case block::kTaken:
            return bodyLength == 2 ? status::kOk : status::kResponseUnknown;
        default:  // block::kUnknown and anything outside the table
            return status::kResponseUnknown;
    }
}

StatusCode writeBlock(EngineIo& io, uint16_t blockNumber, ByteView payload) {
    Bytes message;
    try {
        message = blockWrite(blockNumber, payload);
    } catch (const std::bad_alloc&) {
        return status::kOutOfMemory;
    }
    if (StatusCode rc = io.port.sendSysEx(message)) return rc;
    std::array<uint8_t, kBlockCapacity> buffer;
    ByteView body;
    if (StatusCode rc = readBody(io, kBlockPolls, buffer, body)) return rc;
    if (body.empty() || body[0] != kBlockReply) return status::kResponseUnknown;
    return blockResultStatus(replyResult(body), body.size());
}

}  // namespace halden

#include "engine/protocol.h"

namespace halden::protocol {

namespace {

// An identity reply: the command, then d1 the image status, d2 and d3 the version,
// d4 to d6 unused, d7 and d8 the block size, d9 to d13 kept but not used (d11 and d12 a
// 14-bit number), d14 to d19 the serial number.
constexpr size_t kIdentityBodySize = 20;
// A block write: command, block number, payload length n, payload, checksum. The
// checksum is the sum of the four number bytes and the payload, in 14 bits.
constexpr size_t kBlockNumber = 1;
constexpr size_t kBlockLength = 3;
constexpr size_t kBlockPayload = 5;

void put14(Bytes& out, unsigned v) {
    out.push_back(static_cast<uint8_t>((v >> 7) & 0x7F));
    out.push_back(static_cast<uint8_t>(v & 0x7F));
}
// The caller has checked that bytes `at` and `at + 1` are there.
unsigned read14(ByteView in, size_t at) {
    return static_cast<unsigned>(((in[at] & 0x7F) << 7) | (in[at + 1] & 0x7F));
}
unsigned blockChecksum(ByteView body, size_t payloadLength) {
    unsigned sum = 0;
    for (size_t i = kBlockNumber; i < kBlockPayload + payloadLength; ++i) sum += body[i];
    return sum & kMax14Bit;
}

}  // namespace

Bytes frame(ByteView body) {
    Bytes m{kSysExStart, kManufacturer, kRequestDevice, kModel1, kModel2};
    m.reserve(body.size() + kHeaderSize + 1);
    m.insert(m.end(), body.begin(), body.end());
    m.push_back(kSysExEnd);
    return m;
}

std::optional<ByteView> unframe(ByteView m) {
    if (m.size() < kHeaderSize + 1 || m[0] != kSysExStart || m[1] != kManufacturer ||
        m[3] != kModel1 || m[4] != kModel2 || m.back() != kSysExEnd) {
        return std::nullopt;
    }
    return m.subspan(kHeaderSize, m.size() - kHeaderSize - 1);
}

Bytes controlRequest(uint8_t code) {
    return frame(Bytes{kControlRequest, code});
}
Bytes identityRequest() {
    return frame(Bytes{kIdentityRequest});
}
Bytes eraseRequest(uint8_t area) {
    return frame(Bytes{kEraseRequest, area});
}

Bytes blockWrite(unsigned number, ByteView payload) {
    Bytes body{kBlockWrite};
    body.reserve(payload.size() + kBlockWriteOverhead);
    put14(body, number);
    put14(body, static_cast<unsigned>(payload.size()));
    body.insert(body.end(), payload.begin(), payload.end());
    put14(body, blockChecksum(body, payload.size()));
    return frame(body);
}

std::optional<uint8_t> requestArgument(ByteView body) {
    if (body.size() != 2) return std::nullopt;
    return body[1];
}

std::optional<BlockWrite> decodeBlockWrite(ByteView body) {
    constexpr size_t kNumbers = kBlockWriteOverhead - kHeaderSize - 1;  // command to checksum
    if (body.size() < kNumbers || body[0] != kBlockWrite) return std::nullopt;
    const size_t n = read14(body, kBlockLength);
    if (body.size() != kNumbers + n) return std::nullopt;
    return BlockWrite{read14(body, kBlockNumber), body.subspan(kBlockPayload, n),
                      blockChecksum(body, n) == read14(body, kBlockPayload + n)};
}

Bytes identityReply(const IdentityReply& r) {
    Bytes body{kIdentityReply,
               static_cast<uint8_t>(r.imageStatus),
               r.versionMajor,
               r.versionMinor,
               0,
               0,
               0};
    put14(body, r.blockSize);
    body.push_back(r.auxByte1);
    body.push_back(r.auxByte2);
    put14(body, r.auxWord);
    body.push_back(static_cast<uint8_t>(r.auxByte3));
    body.insert(body.end(), r.serial.begin(), r.serial.end());
    return body;
}

std::optional<IdentityReply> decodeIdentityReply(ByteView body) {
    if (body.size() != kIdentityBodySize) return std::nullopt;
    IdentityReply r;
    r.imageStatus = body[1];
    r.versionMajor = body[2];
    r.versionMinor = body[3];
    r.blockSize = static_cast<uint16_t>(read14(body, 7));
    r.auxByte1 = body[9];
    r.auxByte2 = body[10];
    r.auxWord = static_cast<uint16_t>(read14(body, 11));
    r.auxByte3 = body[13];
    std::copy(body.begin() + 14, body.end(), r.serial.begin());
    return r;
}

Bytes controlReply(uint8_t code) {
    return {kControlRequest, code};
}
Bytes eraseReply(uint8_t result) {
    return {kEraseReply, result};
}
Bytes blockReply(uint8_t result) {
    return {kBlockReply, result};
}

uint8_t replyResult(ByteView body) {
    return body.size() > 1 ? body[1] : 0;
}

}  // namespace halden::protocol

#include "sim/halden_sim.h"

#include "engine/protocol.h"

namespace halden {

using namespace protocol;

namespace {

bool isHaldenMessage(ByteView m) {
    return m.size() > kHeaderSize + 1 && m[0] == kSysExStart && m[1] == kManufacturer &&
           m[3] == kModel1 && m[4] == kModel2 && m.back() == kSysExEnd;
}

Bytes framed(const Bytes& body) {
    Bytes m{kSysExStart, kManufacturer, kRequestDevice, kModel1, kModel2};
    m.insert(m.end(), body.begin(), body.end());
    m.push_back(kSysExEnd);
    return m;
}

}  // namespace

SimulatedHalden::SimulatedHalden(SimOptions options, Clock& clock, Scheduler& scheduler,
                                 Deliver deliver)
    : options_(std::move(options)),
      clock_(clock),
      scheduler_(scheduler),
      deliver_(std::move(deliver)),
      status_(options_.imageStatus),
      major_(options_.versionMajor),
      minor_(options_.versionMinor) {}

Clock::Duration SimulatedHalden::wireTime(size_t bytes) const {
    if (options_.baud == 0) return Clock::Duration{0};
    return Clock::Duration(static_cast<int64_t>(bytes) * 10 * 1'000'000 / options_.baud);
}

void SimulatedHalden::receive(ByteView message) {
    std::lock_guard lock(mutex_);
    if (options_.recordReceived) received_.emplace_back(message.begin(), message.end());
    ++receivedCount_;
    ++requests_;
    if (options_.silent || requests_ < options_.answerFrom) return;
    handle(message);
}

void SimulatedHalden::handle(ByteView m) {
    if (!isHaldenMessage(m)) return;
    const uint8_t command = m[kCommandOffset];
    switch (command) {
        case kControlRequest:
            // The handshake code is acknowledged; the others are acted on silently.
            if (m.size() == 8 && m[kArgumentOffset] == kHandshakeCode) {
                reply({kControlRequest, kHandshakeCode}, {});
            }
            return;
        case kIdentityRequest:
            reply(identityBody(), {});
            return;
        case kEraseRequest: {
            uint8_t result = erase::kOk;
            if (m.size() != 8 || m[kArgumentOffset] != 0) {
                result = erase::kFailure;
            } else if (options_.eraseResult) {
                result = *options_.eraseResult;
            } else {
                memory_.clear();
                erased_ = true;
                nextBlock_ = 0;
                status_ = 1;  // no complete image until the area is closed
            }
            reply({kEraseReply, result}, options_.eraseTime);
            return;
        }
        case kBlockWrite: {
            unsigned block = 0;
            const uint8_t result = writeBlock(m, block);
            reply({kBlockReply, result}, options_.writeTime);
            return;
        }
        default:
            return;  // not ours to answer
    }
}

uint8_t SimulatedHalden::writeBlock(ByteView m, unsigned& block) {
    if (m.size() < kBlockWriteOverhead) return block::kBadLength;
    block = read14(m, kBlockNumberOffset);
    const size_t n = read14(m, kBlockLengthOffset);
    if (m.size() != kBlockWriteOverhead + n || n > options_.blockSize) return block::kBadLength;
    if (blockChecksum(m, n) != read14(m, kBlockPayloadOffset + n)) return block::kBadChecksum;
    std::optional<uint8_t> forced;
    if (auto it = options_.blockResults.find(block); it != options_.blockResults.end()) {
        forced = it->second;
    }
    // A forced failure leaves the block unwritten; a forced success (0, or 7, which the
    // host takes as success too) means the block was taken, like any good block.
    if (forced && *forced != block::kOk && *forced != block::kTaken) return *forced;
    const uint8_t result = store(m.subspan(kBlockPayloadOffset, n), block);
    return result == block::kOk && forced ? *forced : result;
}

uint8_t SimulatedHalden::store(ByteView payload, unsigned block) {
    const size_t n = payload.size();
    if (!erased_) return block::kProgrammingFault;
    if (block != nextBlock_) return block::kBadCheckcode;
    if (memory_.size() + n > options_.memorySize) return block::kTooLarge;
    if (n == 0) {
        erased_ = false;
        status_ = options_.statusAfterUpdate.value_or(0);
        major_ = memory_.size() > 0 ? memory_[0] : 0;
        minor_ = memory_.size() > 1 ? memory_[1] : 0;
        if (const auto& v = options_.versionAfterUpdate) {
            major_ = v->major;
            minor_ = v->minor;
        }
    } else {
        memory_.insert(memory_.end(), payload.begin(), payload.end());
        ++nextBlock_;
    }
    return block::kOk;
}

Bytes SimulatedHalden::identityBody() const {
    Bytes body{kIdentityReply, status_, major_, minor_, 0, 0, 0};
    put14(body, options_.blockSize);
    body.resize(identity::kSerial, 0);
    for (uint8_t b : options_.serial) body.push_back(b & 0x7F);
    // A Halden of another firmware may send another length: cut or padded with zeros.
    body.resize(options_.identityBodyLength, 0);
    return body;
}

void SimulatedHalden::reply(Bytes body, Clock::Duration deviceTime) {
    const Clock::Duration start = std::max(clock_.now(), busyUntil_);
    busyUntil_ = start + deviceTime;
    const Clock::Duration ready = busyUntil_;
    Bytes message = framed(body);
    if (options_.foreignMessages) {
        send({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0xF7}, ready);
        send({0x90, 0x3C, 0x40}, ready);
    }
    if (options_.cutOffMessages) {
        Bytes cut(message.begin(), message.begin() + static_cast<long>(message.size() / 2 + 3));
        cut.pop_back();
        cut.push_back(0x90);  // a note-on status byte ends the message early
        cut.push_back(0x3C);
        cut.push_back(0x40);
        send(std::move(cut), ready);
    }
    if (options_.realtimeBytes) {
        Bytes mixed;
        for (size_t i = 0; i < message.size(); ++i) {
            if (i > 0 && i % 4 == 0) mixed.push_back(0xF8);
            mixed.push_back(message[i]);
        }
        message = std::move(mixed);
    }
    send(std::move(message), ready);
}

void SimulatedHalden::send(Bytes bytes, Clock::Duration ready) {
    const Clock::Duration start = std::max(ready, wireFreeAt_);
    wireFreeAt_ = start + wireTime(bytes.size());
    scheduler_.at(wireFreeAt_ + options_.latency,
                  [deliver = deliver_, bytes = std::move(bytes)] { deliver(bytes); });
}

Bytes SimulatedHalden::memory() const {
    std::lock_guard lock(mutex_);
    return memory_;
}

size_t SimulatedHalden::receivedCount() const {
    std::lock_guard lock(mutex_);
    return receivedCount_;
}

std::vector<Bytes> SimulatedHalden::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

uint8_t SimulatedHalden::imageStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

std::pair<uint8_t, uint8_t> SimulatedHalden::version() const {
    std::lock_guard lock(mutex_);
    return {major_, minor_};
}

}  // namespace halden

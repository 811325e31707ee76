#include "sim/halden_sim.h"

#include "engine/protocol.h"

namespace halden {

using namespace protocol;

SimulatedHalden::SimulatedHalden(SimOptions options, Clock& clock, Scheduler& scheduler,
                                 Deliver deliver)
    : options_(std::move(options)),
      clock_(clock),
      scheduler_(scheduler),
      deliver_(std::move(deliver)),
      status_(options_.imageStatus),
      version_(options_.version) {}

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
    losing_ = requests_ == options_.loseReplyTo;
    handle(message);
    losing_ = false;
}

void SimulatedHalden::handle(ByteView message) {
    const std::optional<ByteView> body = unframe(message);
    if (!body || body->empty()) return;
    switch ((*body)[0]) {
        case kControlRequest:
            // The handshake code is acknowledged; the others are acted on silently.
            if (requestArgument(*body) == kHandshakeCode) reply(controlReply(kHandshakeCode), {});
            return;
        case kIdentityRequest:
            reply(identityBody(), {});
            return;
        case kEraseRequest: {
            uint8_t result = erase::kOk;
            if (requestArgument(*body) != 0) {
                result = erase::kFailure;
            } else if (options_.eraseResult) {
                result = *options_.eraseResult;
            } else {
                memory_.clear();
                erased_ = true;
                nextBlock_ = 0;
                status_ = 1;  // no complete image until the area is closed
            }
            reply(eraseReply(result), options_.eraseTime);
            return;
        }
        case kBlockWrite:
            reply(blockReply(writeBlock(*body)), options_.writeTime);
            return;
        default:
            return;  // not ours to answer
    }
}

uint8_t SimulatedHalden::writeBlock(ByteView body) {
    const std::optional<BlockWrite> write = decodeBlockWrite(body);
    if (!write || write->payload.size() > options_.blockSize) return block::kBadLength;
    if (!write->checksumOk) return block::kBadChecksum;
    std::optional<uint8_t> forced;
    if (auto it = options_.blockResults.find(write->number); it != options_.blockResults.end()) {
        forced = it->second;
    }
    // A forced failure leaves the block unwritten; a forced success (0, or 7, which the
    // host takes as success too) means the block was taken, like any good block.
    if (forced && *forced != block::kOk && *forced != block::kTaken) return *forced;
    const uint8_t result = store(write->payload, write->number);
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
        version_ = {memory_.size() > 0 ? memory_[0] : uint8_t{0},
                    memory_.size() > 1 ? memory_[1] : uint8_t{0}};
        if (options_.versionAfterUpdate) version_ = *options_.versionAfterUpdate;
    } else {
        memory_.insert(memory_.end(), payload.begin(), payload.end());
        ++nextBlock_;
    }
    return block::kOk;
}

Bytes SimulatedHalden::identityBody() const {
    IdentityReply reply{.imageStatus = status_,
                        .versionMajor = version_.major,
                        .versionMinor = version_.minor,
                        .blockSize = options_.blockSize};
    for (size_t i = 0; i < reply.serial.size(); ++i) reply.serial[i] = options_.serial[i] & 0x7F;
    Bytes body = identityReply(reply);
    // A Halden of another firmware may send another length: cut or padded with zeros.
    body.resize(options_.identityBodyLength, 0);
    return body;
}

void SimulatedHalden::reply(Bytes body, Clock::Duration deviceTime) {
    const Clock::Duration start = std::max(clock_.now(), busyUntil_);
    busyUntil_ = start + deviceTime;
    if (losing_) return;  // acted on, as a busy MIDI server loses the answer
    const Clock::Duration ready = busyUntil_;
    Bytes message = frame(body);
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

Version SimulatedHalden::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

}  // namespace halden

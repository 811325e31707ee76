#include "engine/receiver.h"

#include <algorithm>

#include "engine/protocol.h"

namespace halden {

namespace {
using protocol::kHeaderSize;
using protocol::kManufacturer;
using protocol::kModel1;
using protocol::kModel2;
using protocol::kSysExEnd;
using Step = SysExDecoder::Step;

// The header of a Halden message, F0 41 <device> 4B 39; the device number may be any
// byte.
constexpr int kHeader[kHeaderSize] = {protocol::kSysExStart, kManufacturer, -1, kModel1, kModel2};
}  // namespace

SysExReceiver::SysExReceiver(Clock& clock, const CancelFlag& cancel)
    : clock_(clock),
      cancel_(cancel),
      decoder_(SysExDecoder::Rules{.framingIsDataAt = 2, .startIsDataFrom = kHeaderSize}) {}

void SysExReceiver::feed(uint8_t byte) {
    {
        std::lock_guard lock(mutex_);
        handle(byte);
    }
    clock_.notify();
}

void SysExReceiver::feed(std::span<const uint8_t> bytes) {
    {
        std::lock_guard lock(mutex_);
        for (uint8_t b : bytes) handle(b);
    }
    clock_.notify();
}

void SysExReceiver::handle(uint8_t b) {
    const size_t at = decoder_.length();  // b's position in the message
    const Step step = decoder_.feed(b);
    if (at < kHeaderSize) {
        if (step != Step::kData) return;
        if (kHeader[at] >= 0 && b != kHeader[at]) {
            decoder_.reset();  // not the Halden's: passed over up to the next 0xF0
        } else if (at + 1 == kHeaderSize) {
            bodyStart_ = written_;
        }
        return;
    }
    if (step == Step::kData || step == Step::kEnd) append(b);
    // What arrived of a body cut off is dropped, so that it is never joined to the next
    // message.
    if (step == Step::kCutOff) dropBody();
}

void SysExReceiver::append(uint16_t item) {
    slots_[written_ % kSlots] = item;
    ++written_;
    if (written_ - read_ == kSlots) ++read_;  // full: the oldest item is lost
}

void SysExReceiver::dropBody() {
    if (read_ <= bodyStart_) {
        written_ = bodyStart_;  // nothing of it taken yet: just forget it
    } else {
        append(kDropBody);  // the reader holds part of it: tell it to let go
    }
}

void SysExReceiver::reset() {
    std::lock_guard lock(mutex_);
    decoder_.reset();
    written_ = read_ = bodyStart_ = 0;
}

bool SysExReceiver::take(uint16_t& item) {
    std::lock_guard lock(mutex_);
    if (read_ == written_) return false;
    item = slots_[read_ % kSlots];
    ++read_;
    return true;
}

size_t SysExReceiver::queued() const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(written_ - read_);
}

void SysExReceiver::failPort(std::string why) {
    {
        std::lock_guard lock(mutex_);
        if (!failed_) failure_ = std::move(why);
        failed_ = true;
    }
    clock_.notify();
}

bool SysExReceiver::portFailed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

std::string SysExReceiver::portFailure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

StatusCode SysExReceiver::readResponse(uint8_t* buffer, size_t capacity, size_t* count,
                                       unsigned polls) {
    std::fill(buffer, buffer + capacity, uint8_t{0});
    size_t stored = 0;
    if (count) *count = 0;
    if (capacity == 0) return status::kResponseTooLong;
    for (unsigned poll = 0; poll < polls; ++poll) {
        if (cancel_) return status::kCanceled;
        if (portFailed()) return status::kPortFailure;
        uint16_t item = 0;
        if (!take(item)) {
            clock_.waitFor(std::chrono::milliseconds(kPollMillis),
                           [this] { return cancel_ || queued() > 0 || portFailed(); });
            continue;
        }
        if (item == kDropBody) {
            std::fill(buffer, buffer + stored, uint8_t{0});
            stored = 0;
        } else if (item == kSysExEnd) {
            return status::kOk;
        } else {
            buffer[stored++] = static_cast<uint8_t>(item);
            if (count) *count = stored;
            if (stored == capacity) return status::kResponseTooLong;
        }
        if (count) *count = stored;
    }
    return cancel_ ? status::kCanceled : status::kTimeout;
}

}  // namespace halden

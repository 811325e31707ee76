#include "transport/input_handoff.h"

#include <bit>
#include <cstring>

namespace halden {

namespace {
constexpr size_t kLengthBytes = sizeof(uint32_t);
}

InputHandoff::InputHandoff(Sink sink, size_t capacity)
    : sink_(std::move(sink)),
      ring_(std::bit_ceil(capacity < 2 * kLengthBytes ? 2 * kLengthBytes : capacity)),
      mask_(ring_.size() - 1),
      thread_([this] { run(); }) {}

InputHandoff::~InputHandoff() {
    stopping_ = true;
    ready_.release();
    thread_.join();
}

void InputHandoff::copyIn(size_t at, const uint8_t* from, size_t n) {
    if (n == 0) return;  // an empty message's data may be null, which memcpy must not see
    const size_t start = at & mask_, first = std::min(n, ring_.size() - start);
    std::memcpy(ring_.data() + start, from, first);
    std::memcpy(ring_.data(), from + first, n - first);
}

void InputHandoff::copyOut(size_t at, uint8_t* to, size_t n) const {
    if (n == 0) return;
    const size_t start = at & mask_, first = std::min(n, ring_.size() - start);
    std::memcpy(to, ring_.data() + start, first);
    std::memcpy(to + first, ring_.data(), n - first);
}

bool InputHandoff::push(ByteView message) {
    const size_t written = written_.load(std::memory_order_relaxed);
    const size_t room = ring_.size() - (written - read_.load(std::memory_order_acquire));
    if (message.size() > UINT32_MAX || kLengthBytes + message.size() > room) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const auto length = static_cast<uint32_t>(message.size());
    copyIn(written, reinterpret_cast<const uint8_t*>(&length), kLengthBytes);
    copyIn(written + kLengthBytes, message.data(), message.size());
    written_.store(written + kLengthBytes + message.size(), std::memory_order_release);
    ready_.release();
    return true;
}

void InputHandoff::run() {
    Bytes message;
    message.reserve(4096);
    for (;;) {
        ready_.acquire();
        if (stopping_) return;
        size_t read = read_.load(std::memory_order_relaxed);
        while (read != written_.load(std::memory_order_acquire)) {
            uint32_t length = 0;
            copyOut(read, reinterpret_cast<uint8_t*>(&length), kLengthBytes);
            message.resize(length);
            copyOut(read + kLengthBytes, message.data(), length);
            read += kLengthBytes + length;
            // The room goes back before the sink runs, which may take its time.
            read_.store(read, std::memory_order_release);
            sink_(message);
            if (stopping_) return;
        }
    }
}

}  // namespace halden

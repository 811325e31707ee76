// Takes MIDI messages from a MIDI system's real-time thread (JACK's process thread) and
// delivers them on a thread of our own. The real-time side only copies into a ring
// allocated up front and posts a semaphore: it never waits, locks or allocates, so a
// slow receiver or a busy machine cannot make us the client that misses the server's
// cycle (which loses messages for everyone).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <semaphore>
#include <thread>
#include <vector>

#include "engine/bytes.h"

namespace halden {

class InputHandoff {
public:
    using Sink = std::function<void(ByteView)>;
    // Replies to an updater are short and come one at a time; the simulator's blocks are
    // at most 16 KiB and each waits for its answer. A ring of 256 KiB never fills then.
    static constexpr size_t kDefaultCapacity = size_t{1} << 18;

    // `capacity` is rounded up to a power of two.
    explicit InputHandoff(Sink sink, size_t capacity = kDefaultCapacity);
    // Stops the thread; messages not yet delivered are dropped, and none is delivered
    // after this returns.
    ~InputHandoff();
    InputHandoff(const InputHandoff&) = delete;
    InputHandoff& operator=(const InputHandoff&) = delete;

    // From one real-time thread at a time. A message that does not fit in the room left
    // is dropped whole (false), so the ones after it still arrive intact.
    bool push(ByteView message);
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    void run();
    void copyIn(size_t at, const uint8_t* from, size_t n);
    void copyOut(size_t at, uint8_t* to, size_t n) const;

    Sink sink_;
    std::vector<uint8_t> ring_;
    size_t mask_;
    // Bytes written and read since the start; each side writes only its own.
    std::atomic<size_t> written_{0}, read_{0};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<bool> stopping_{false};
    std::counting_semaphore<> ready_{0};
    std::thread thread_;
};

}  // namespace halden

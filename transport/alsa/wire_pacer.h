// Paces bytes to a port whose far end forwards them at a fixed rate out of a buffer of
// fixed size, and drops what does not fit: the kernel's MIDI bridge in front of a card.
#pragma once

#include <algorithm>
#include <cstddef>

#include "engine/clock.h"

namespace halden {

class WirePacer {
public:
    // `room`: the bytes the buffer may hold; `bytesPerSecond`: how fast it empties.
    WirePacer(size_t room, size_t bytesPerSecond) : room_(room), rate_(bytesPerSecond) {}

    // How long to wait at `now` before `bytes` more fit (zero when they fit now).
    Clock::Duration waitBefore(size_t bytes, Clock::Duration now) const {
        const size_t ahead = queued(now);
        if (ahead + bytes <= room_) return Clock::Duration::zero();
        return duration(ahead + bytes - room_);
    }
    void sent(size_t bytes, Clock::Duration now) {
        emptyAt_ = std::max(emptyAt_, now) + duration(bytes);
    }
    // Something arrived from the far end that it sends only after reading all that was
    // sent before it (an answer to a request): nothing is queued any more.
    void drained(Clock::Duration now) { emptyAt_ = std::min(emptyAt_, now); }

private:
    size_t queued(Clock::Duration now) const {
        if (emptyAt_ <= now) return 0;
        const auto left = (emptyAt_ - now).count();
        return static_cast<size_t>((left * static_cast<long long>(rate_) + 999'999) / 1'000'000);
    }
    Clock::Duration duration(size_t bytes) const {
        return Clock::Duration((static_cast<long long>(bytes) * 1'000'000 + rate_ - 1) / rate_);
    }

    size_t room_;
    size_t rate_;
    Clock::Duration emptyAt_{0};
};

}  // namespace halden

#include "sim/virtual_clock.h"

namespace halden {

void VirtualClock::at(Duration when, std::function<void()> fn) {
    events_.emplace(std::make_pair(std::max(when, now_), sequence_++), std::move(fn));
}

bool VirtualClock::waitFor(Duration timeout, const std::function<bool()>& ready) {
    const Duration deadline = now_ + timeout;
    while (!ready()) {
        if (events_.empty() || events_.begin()->first.first > deadline) {
            now_ = deadline;
            return ready();
        }
        auto node = events_.extract(events_.begin());
        now_ = node.key().first;
        node.mapped()();
    }
    return true;
}

}  // namespace halden

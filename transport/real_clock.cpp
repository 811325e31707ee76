#include "transport/real_clock.h"

namespace halden {

Clock::Duration RealClock::now() const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

bool RealClock::waitFor(Duration timeout, const std::function<bool()>& ready) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadline, ready);
}

void RealClock::notify() {
    // Taking the lock orders this wake-up after a waiter's check of ready(), so it
    // cannot be lost between the check and the wait.
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

}  // namespace halden

// Every pause and every wait of the engine goes through a Clock, so that tests run on
// virtual time and production on the real one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace halden {

class Clock {
public:
    using Duration = std::chrono::microseconds;

    virtual ~Clock() = default;

    // Time since an arbitrary fixed origin.
    virtual Duration now() const = 0;

    // Waits until `timeout` has passed or `ready()` holds, whichever comes first, and
    // returns ready()'s last value. ready() is evaluated again after every notify().
    virtual bool waitFor(Duration timeout, const std::function<bool()>& ready) = 0;

    // Tells waiters that something their ready() looks at may have changed. Safe to
    // call from any thread.
    virtual void notify() = 0;

    void sleepFor(Duration d) {
        waitFor(d, [] { return false; });
    }
};

// Sleeps n tenths of a second.
inline void pauseTenths(Clock& clock, uint8_t n) {
    clock.sleepFor(std::chrono::milliseconds(100) * n);
}

}  // namespace halden

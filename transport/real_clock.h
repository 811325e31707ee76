#pragma once

#include <condition_variable>
#include <mutex>

#include "engine/clock.h"

namespace halden {

// The wall clock: waits block the calling thread on a condition variable.
class RealClock : public Clock {
public:
    Duration now() const override;
    bool waitFor(Duration timeout, const std::function<bool()>& ready) override;
    void notify() override;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace halden

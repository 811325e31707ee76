// Virtual time for tests: time moves only while someone waits, jumping from one
// scheduled event to the next, so a 30 s timeout takes microseconds and every run is
// the same. Single-threaded: events run on the waiting thread.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "engine/clock.h"
#include "sim/scheduler.h"

namespace halden {

class VirtualClock : public Clock, public Scheduler {
public:
    Duration now() const override { return now_; }
    bool waitFor(Duration timeout, const std::function<bool()>& ready) override;
    void notify() override {}
    void at(Duration when, std::function<void()> fn) override;

private:
    Duration now_{0};
    uint64_t sequence_ = 0;
    std::map<std::pair<Duration, uint64_t>, std::function<void()>> events_;
};

}  // namespace halden

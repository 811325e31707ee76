#pragma once

#include <functional>

#include "engine/clock.h"

namespace halden {

// Runs a function at a given time of a clock.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    virtual void at(Clock::Duration when, std::function<void()> fn) = 0;
    // What is still scheduled never runs. Owners whose members the scheduled functions
    // use call it before those go.
    virtual void stop() {}
};

}  // namespace halden

#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "sim/scheduler.h"

namespace halden {

// Runs scheduled functions on a thread of its own at their time on the steady clock
// (the same time base as RealClock).
class RealScheduler : public Scheduler {
public:
    RealScheduler();
    ~RealScheduler() override;
    RealScheduler(const RealScheduler&) = delete;
    RealScheduler& operator=(const RealScheduler&) = delete;

    void at(Clock::Duration when, std::function<void()> fn) override;

    // Ends the thread too. Called by the destructor as well.
    void stop() override;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    uint64_t sequence_ = 0;
    std::map<std::pair<Clock::Duration, uint64_t>, std::function<void()>> events_;
    std::thread thread_;
};

}  // namespace halden

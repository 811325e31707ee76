#include "sim/real_scheduler.h"

namespace halden {

RealScheduler::RealScheduler() : thread_([this] { run(); }) {}

RealScheduler::~RealScheduler() {
    stop();
}

void RealScheduler::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RealScheduler::at(Clock::Duration when, std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        events_.emplace(std::make_pair(when, sequence_++), std::move(fn));
    }
    changed_.notify_all();
}

void RealScheduler::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (events_.empty()) {
            changed_.wait(lock);
            continue;
        }
        const auto due = std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                events_.begin()->first.first));
        if (std::chrono::steady_clock::now() < due) {
            changed_.wait_until(lock, due);
            continue;
        }
        auto node = events_.extract(events_.begin());
        lock.unlock();
        node.mapped()();
        lock.lock();
    }
}

}  // namespace halden

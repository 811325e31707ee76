#include "app/command_worker.h"

namespace halden {

CommandWorker::CommandWorker() : thread_([this] { run(); }) {}

CommandWorker::~CommandWorker() {
    stop();
}

void CommandWorker::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(fn));
        busy_ = true;
    }
    wake_.notify_all();
}

void CommandWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CommandWorker::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, nothing left
        auto fn = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        fn();
        lock.lock();
        busy_ = !queue_.empty();
    }
}

}  // namespace halden

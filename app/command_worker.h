// Runs the main window's commands one after another on a thread of its own, so that the
// windows stay live while the engine waits for the Halden.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace halden {

class CommandWorker {
public:
    CommandWorker();
    ~CommandWorker();
    void post(std::function<void()> fn);
    bool busy() const { return busy_; }
    void stop();

private:
    void run();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::atomic<bool> busy_{false};
    std::thread thread_;
};

}  // namespace halden

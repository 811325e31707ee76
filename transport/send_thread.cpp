#include "transport/send_thread.h"

#include <atomic>

namespace halden {

struct SendThread::State {
    explicit State(SendFn fn) : send(std::move(fn)) {}
    SendFn send;
    std::mutex mutex;
    std::condition_variable wake;
    Bytes message;
    // Read without the lock by the waiting sender: a clock's waitFor calls its predicate
    // under the clock's own lock, and this thread notifies the clock holding this one.
    std::atomic<bool> pending{false};
    bool stopping = false;
    bool stuck = false;
    std::string error;
    // Told when a send has ended. Only while the sender exists: a send that ends later
    // has nobody waiting for it.
    Clock* done = nullptr;
};

SendThread::SendThread(SendFn send, Clock& clock, Clock::Duration deadline)
    : state_(std::make_shared<State>(std::move(send))), clock_(clock), deadline_(deadline) {
    state_->done = &clock_;
    thread_ = std::thread(run, state_);
}

SendThread::~SendThread() {
    bool stuck = false;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->done = nullptr;
        stuck = state_->stuck;
    }
    state_->wake.notify_all();
    if (stuck) {
        thread_.detach();  // it ends when the send returns, and owns what it uses
    } else {
        thread_.join();
    }
}

bool SendThread::send(ByteView message) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stuck) return false;
        state_->message.assign(message.begin(), message.end());
        state_->pending = true;
        state_->error.clear();
    }
    state_->wake.notify_all();
    const bool done = clock_.waitFor(deadline_, [this] { return !state_->pending.load(); });
    std::lock_guard lock(state_->mutex);
    if (!done) state_->stuck = true;
    return done && state_->error.empty();
}

std::string SendThread::error() const {
    std::lock_guard lock(state_->mutex);
    return state_->error;
}

bool SendThread::stuck() const {
    std::lock_guard lock(state_->mutex);
    return state_->stuck;
}

void SendThread::run(std::shared_ptr<State> state) {
    std::unique_lock lock(state->mutex);
    while (true) {
        state->wake.wait(lock, [&] { return state->pending || state->stopping; });
        if (state->stopping) return;
        lock.unlock();
        const std::string error = state->send(state->message);
        lock.lock();
        state->error = error;
        state->pending = false;
        if (state->done) state->done->notify();
    }
}

}  // namespace halden

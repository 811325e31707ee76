// Hands each message to a send function that may block without end (RtMidi waiting on
// a JACK server that stopped processing) on a thread of its own, and waits for it with
// a deadline.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/bytes.h"
#include "engine/clock.h"

namespace halden {

class SendThread {
public:
    // `send` returns an empty string, or why the message was not sent.
    using SendFn = std::function<std::string(ByteView)>;

    SendThread(SendFn send, Clock& clock, Clock::Duration deadline);
    // Ends the thread. One that is stuck inside `send` is left to end on its own
    // when `send` returns.
    ~SendThread();
    SendThread(const SendThread&) = delete;
    SendThread& operator=(const SendThread&) = delete;

    // False when the send failed or did not end in time.
    [[nodiscard]] bool send(ByteView message);
    std::string error() const;
    // A send did not end in time; nothing more can be sent.
    bool stuck() const;

private:
    // Everything the thread touches. The thread holds its own reference, so that a
    // send returning after the sender is gone finds it still there.
    struct State;
    static void run(std::shared_ptr<State> state);

    std::shared_ptr<State> state_;
    Clock& clock_;
    Clock::Duration deadline_;
    std::thread thread_;
};

}  // namespace halden

// One JACK client with a MIDI input port, an output port, or both. JACK's process thread
// must never wait: a client that does makes the whole server miss its cycle (an xrun),
// and a message in flight then is lost. So that thread only copies: outgoing messages
// from a ring buffer filled beforehand, incoming events into another one, which a
// thread of our own empties and hands on. Nothing there locks, allocates or waits.
#pragma once

#include <jack/ringbuffer.h>
#include <jack/types.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/bytes.h"

namespace halden {

class JackMidiClient {
public:
    // Each incoming MIDI event, whole, on the client's own thread (not JACK's).
    using OnEvent = std::function<void(ByteView)>;
    // Told once, on the client's own thread, when the server shut the client down.
    using OnShutdown = std::function<void(const std::string&)>;

    // A client called `name` (JACK adds a number when the name is taken) with the ports
    // whose names are given (empty: no port that way), activated. Null on failure, with
    // `why` set.
    static std::unique_ptr<JackMidiClient> open(const std::string& name, const std::string& inPort,
                                                const std::string& outPort, OnEvent onEvent,
                                                OnShutdown onShutdown, std::string& why);
    ~JackMidiClient();
    JackMidiClient(const JackMidiClient&) = delete;
    JackMidiClient& operator=(const JackMidiClient&) = delete;

    jack_client_t* handle() const { return client_; }
    // Our ports' full names ("client:port"); empty for a port not there.
    std::string inputName() const;
    std::string outputName() const;

    // Queues one message for the next cycles. False when the queue has no room for it
    // now (nothing is queued then); it never waits.
    bool send(ByteView message);
    // Whether everything queued has gone into JACK.
    bool sent() const;

    // Cycles missed since the client opened: those the server reported (xruns), or
    // those in which our process callback was not run, whichever are more. PipeWire's
    // JACK reports no xrun when it skips a cycle of every client (measured under load:
    // messages lost, no xrun told, a cycle without us).
    unsigned long missedCycles() const {
        return std::max(xruns_.load(std::memory_order_relaxed),
                        skipped_.load(std::memory_order_relaxed));
    }
    // Events that arrived while our queue was full, and were dropped.
    unsigned long dropped() const { return dropped_.load(std::memory_order_relaxed); }
    // What went through, for finding where a message was lost: events put into JACK and
    // taken out of it, and cycles in which our process callback was not run.
    std::string counts() const;

    // The longest message the queue takes.
    static constexpr size_t kQueueBytes = size_t{1} << 16;

private:
    JackMidiClient() = default;
    static int process(jack_nframes_t frames, void* self);
    static int onXrun(void* self);
    static void onShutdown(jack_status_t code, const char* reason, void* self);
    void drain();

    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    jack_ringbuffer_t* toJack_ = nullptr;
    jack_ringbuffer_t* fromJack_ = nullptr;
    std::mutex sending_;  // the queue to JACK has one writer at a time
    OnEvent onEvent_;
    OnShutdown onShutdown_;
    // The drain thread sleeps on this; JACK's threads post it (which never waits).
    sem_t wake_;
    bool semaphore_ = false;
    std::thread drainer_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> shutDown_{false};
    char shutdownReason_[256] = {};
    std::atomic<unsigned long> xruns_{0};
    std::atomic<unsigned long> dropped_{0};
    std::atomic<unsigned long> put_{0}, taken_{0}, skipped_{0};
    jack_nframes_t lastCycle_ = 0;  // the process thread's own
    bool cycled_ = false;
};

}  // namespace halden

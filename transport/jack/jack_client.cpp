#include "transport/jack/jack_client.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace halden {

namespace {

// What arrives in the cycles before our thread empties the queue: a busy machine may
// hold that thread back for a while, and an event that finds no room is lost.
constexpr size_t kIncomingBytes = size_t{1} << 20;

jack_ringbuffer_t* makeRing(size_t bytes) {
    jack_ringbuffer_t* ring = jack_ringbuffer_create(bytes);
    if (!ring) return nullptr;
    // Touched (and locked where allowed) now, so that the process thread never takes a
    // page fault in it.
    if (jack_ringbuffer_mlock(ring) != 0) std::memset(ring->buf, 0, ring->size);
    return ring;
}

}  // namespace

std::unique_ptr<JackMidiClient> JackMidiClient::open(const std::string& name,
                                                     const std::string& inPort,
                                                     const std::string& outPort, OnEvent onEvent,
                                                     OnShutdown onShutdown, std::string& why) {
    std::unique_ptr<JackMidiClient> c(new JackMidiClient);
    c->onEvent_ = std::move(onEvent);
    c->onShutdown_ = std::move(onShutdown);
    jack_status_t status;
    c->client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!c->client_) {
        why = "no JACK server is running";
        return nullptr;
    }
    c->toJack_ = makeRing(kQueueBytes);
    c->fromJack_ = makeRing(kIncomingBytes);
    c->semaphore_ = sem_init(&c->wake_, 0, 0) == 0;
    if (!c->toJack_ || !c->fromJack_ || !c->semaphore_) {
        why = "out of memory";
        return nullptr;
    }
    const auto port = [&](const std::string& portName, unsigned long flags) -> jack_port_t* {
        if (portName.empty()) return nullptr;
        jack_port_t* p =
            jack_port_register(c->client_, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
        if (!p) why = "JACK did not make the port \"" + portName + "\"";
        return p;
    };
    c->in_ = port(inPort, JackPortIsInput);
    if (!inPort.empty() && !c->in_) return nullptr;
    c->out_ = port(outPort, JackPortIsOutput);
    if (!outPort.empty() && !c->out_) return nullptr;
    jack_set_process_callback(c->client_, &JackMidiClient::process, c.get());
    jack_set_xrun_callback(c->client_, &JackMidiClient::onXrun, c.get());
    jack_on_info_shutdown(c->client_, &JackMidiClient::onShutdown, c.get());
    c->drainer_ = std::thread([self = c.get()] { self->drain(); });
    if (jack_activate(c->client_) != 0) {
        why = "JACK did not start the client";
        return nullptr;
    }
    return c;
}

JackMidiClient::~JackMidiClient() {
    if (client_) {
        const std::string name = jack_get_client_name(client_);
        jack_client_close(client_);  // no more callbacks once it returns
        // HALDEN_JACK_COUNTS set: what went through, on stderr.
        if (std::getenv("HALDEN_JACK_COUNTS")) {
            std::fprintf(stderr, "JACK client %s: %s\n", name.c_str(), counts().c_str());
        }
    }
    if (drainer_.joinable()) {
        stopping_ = true;
        sem_post(&wake_);
        drainer_.join();
    }
    if (semaphore_) sem_destroy(&wake_);
    if (toJack_) jack_ringbuffer_free(toJack_);
    if (fromJack_) jack_ringbuffer_free(fromJack_);
}

std::string JackMidiClient::inputName() const {
    return in_ ? jack_port_name(in_) : "";
}

std::string JackMidiClient::outputName() const {
    return out_ ? jack_port_name(out_) : "";
}

bool JackMidiClient::send(ByteView message) {
    const uint32_t length = static_cast<uint32_t>(message.size());
    std::lock_guard lock(sending_);
    if (jack_ringbuffer_write_space(toJack_) < sizeof length + length) return false;
    // The length first: the process thread takes a message only once all of it is there.
    jack_ringbuffer_write(toJack_, reinterpret_cast<const char*>(&length), sizeof length);
    jack_ringbuffer_write(toJack_, reinterpret_cast<const char*>(message.data()), length);
    return true;
}

bool JackMidiClient::sent() const {
    return jack_ringbuffer_read_space(toJack_) == 0;
}

std::string JackMidiClient::counts() const {
    return std::to_string(put_) + " events out, " + std::to_string(taken_) + " in, " +
           std::to_string(dropped_) + " dropped, " + std::to_string(xruns_) + " xruns reported, " +
           std::to_string(skipped_) + " cycles without us";
}

// JACK's process thread: copies, and posts the semaphore; nothing else.
int JackMidiClient::process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackMidiClient*>(arg);
    const jack_nframes_t cycle = jack_last_frame_time(self->client_);
    if (self->cycled_ && cycle - self->lastCycle_ > frames) {
        self->skipped_.fetch_add((cycle - self->lastCycle_) / frames - 1,
                                 std::memory_order_relaxed);
    }
    self->lastCycle_ = cycle;
    self->cycled_ = true;
    // PipeWire's JACK gives no buffer now and then (measured under load).
    if (void* buffer = self->in_ ? jack_port_get_buffer(self->in_, frames) : nullptr) {
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) continue;
            const uint32_t length = static_cast<uint32_t>(event.size);
            if (jack_ringbuffer_write_space(self->fromJack_) < sizeof length + length) {
                self->dropped_.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            jack_ringbuffer_write(self->fromJack_, reinterpret_cast<const char*>(&length),
                                  sizeof length);
            jack_ringbuffer_write(self->fromJack_, reinterpret_cast<const char*>(event.buffer),
                                  length);
            self->taken_.fetch_add(1, std::memory_order_relaxed);
        }
        if (count > 0) sem_post(&self->wake_);
    }
    if (void* buffer = self->out_ ? jack_port_get_buffer(self->out_, frames) : nullptr) {
        jack_midi_clear_buffer(buffer);
        uint32_t length;
        while (jack_ringbuffer_peek(self->toJack_, reinterpret_cast<char*>(&length),
                                    sizeof length) == sizeof length &&
               jack_ringbuffer_read_space(self->toJack_) >= sizeof length + length) {
            jack_midi_data_t* at = jack_midi_event_reserve(buffer, 0, length);
            if (!at) {
                // This cycle's buffer is full: the rest goes in the next ones. A message
                // that an empty buffer cannot hold never goes; the senders keep below that.
                if (jack_midi_get_event_count(buffer) > 0) break;
                jack_ringbuffer_read_advance(self->toJack_, sizeof length + length);
                self->dropped_.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            jack_ringbuffer_read_advance(self->toJack_, sizeof length);
            jack_ringbuffer_read(self->toJack_, reinterpret_cast<char*>(at), length);
            self->put_.fetch_add(1, std::memory_order_relaxed);
        }
    }
    return 0;
}

int JackMidiClient::onXrun(void* self) {
    static_cast<JackMidiClient*>(self)->xruns_.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

// As a signal handler: only the reason's copy, a flag and the semaphore.
void JackMidiClient::onShutdown(jack_status_t, const char* reason, void* arg) {
    auto* self = static_cast<JackMidiClient*>(arg);
    if (reason) std::strncpy(self->shutdownReason_, reason, sizeof self->shutdownReason_ - 1);
    self->shutDown_ = true;
    sem_post(&self->wake_);
}

void JackMidiClient::drain() {
    std::vector<uint8_t> event(kIncomingBytes);
    bool toldShutdown = false;
    while (!stopping_) {
        while (sem_wait(&wake_) != 0) {
        }
        uint32_t length;
        while (jack_ringbuffer_read_space(fromJack_) >= sizeof length) {
            jack_ringbuffer_peek(fromJack_, reinterpret_cast<char*>(&length), sizeof length);
            if (jack_ringbuffer_read_space(fromJack_) < sizeof length + length) break;
            jack_ringbuffer_read_advance(fromJack_, sizeof length);
            jack_ringbuffer_read(fromJack_, reinterpret_cast<char*>(event.data()), length);
            if (onEvent_ && length > 0) onEvent_(ByteView(event.data(), length));
        }
        if (shutDown_ && !toldShutdown) {
            toldShutdown = true;
            if (onShutdown_) onShutdown_(shutdownReason_);
        }
    }
}

}  // namespace halden

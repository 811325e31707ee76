#include "transport/rtmidi/jack_probe.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>

#include "transport/port_watch.h"

namespace halden::jack {

namespace {

void quiet(const char*) {}

class Client {
public:
    Client() : client_(jack_client_open("halden-updater-probe", JackNoStartServer, nullptr)) {}
    ~Client() {
        if (client_) jack_client_close(client_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    jack_client_t* get() const { return client_; }

private:
    jack_client_t* client_;
};

}  // namespace

void silenceLibrary() {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
}

bool serverRunning() {
    return Client().get() != nullptr;
}

bool connected(const std::string& portName, const std::string& peerShortName) {
    Client client;
    if (!client.get()) return false;
    jack_port_t* port = jack_port_by_name(client.get(), portName.c_str());
    if (!port) return false;
    const char** peers = jack_port_get_all_connections(client.get(), port);
    bool found = false;
    const std::string suffix = ":" + peerShortName;
    for (const char** p = peers; p && *p && !found; ++p) {
        const std::string name = *p;
        found = name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    if (peers) jack_free(peers);
    return found;
}

namespace {

// Its process callback runs in JACK's real-time thread: it reads the frame time and
// counts, and never waits or locks, so that it cannot be the cause of a missed cycle.
class JackCycleWatch : public CycleWatch {
public:
    explicit JackCycleWatch(jack_client_t* client) : client_(client) {}
    ~JackCycleWatch() override { jack_client_close(client_); }
    JackCycleWatch(const JackCycleWatch&) = delete;
    JackCycleWatch& operator=(const JackCycleWatch&) = delete;
    bool start() {
        return jack_set_xrun_callback(client_, onXrun, this) == 0 &&
               jack_set_process_callback(client_, onProcess, this) == 0 &&
               jack_activate(client_) == 0;
    }
    // jackd reports an xrun and skips the clients late in it: one cycle, counted twice.
    unsigned missed() const override { return std::max(xruns_.load(), skipped_.load()); }

private:
    static int onXrun(void* self) {
        ++static_cast<JackCycleWatch*>(self)->xruns_;
        return 0;
    }
    static int onProcess(jack_nframes_t frames, void* self) {
        auto& watch = *static_cast<JackCycleWatch*>(self);
        const jack_nframes_t now = jack_last_frame_time(watch.client_);
        if (watch.running_ && frames > 0 && now - watch.last_ > frames) {
            watch.skipped_ += (now - watch.last_) / frames - 1;
        }
        watch.last_ = now;
        watch.running_ = true;
        return 0;
    }

    jack_client_t* client_;
    std::atomic<unsigned> xruns_{0};
    std::atomic<unsigned> skipped_{0};
    // The process thread's own.
    jack_nframes_t last_ = 0;
    bool running_ = false;
};

}  // namespace

std::unique_ptr<CycleWatch> watchCycles() {
    jack_client_t* client = jack_client_open("halden-updater-cycles", JackNoStartServer, nullptr);
    if (!client) return nullptr;
    auto watch = std::make_unique<JackCycleWatch>(client);
    if (!watch->start()) return nullptr;
    return watch;
}

}  // namespace halden::jack

namespace halden {

namespace {

// JACK calls these on its notification thread: they only pass the word on.
class JackPortWatch : public PortWatch {
public:
    JackPortWatch(jack_client_t* client, std::function<void()> changed)
        : client_(client), changed_(std::move(changed)) {}
    ~JackPortWatch() override { jack_client_close(client_); }
    bool start() {
        return jack_set_port_registration_callback(client_, onPort, this) == 0 &&
               jack_set_client_registration_callback(client_, onClient, this) == 0 &&
               jack_set_port_rename_callback(client_, onRename, this) == 0 &&
               jack_activate(client_) == 0;
    }

private:
    static void onPort(jack_port_id_t, int, void* self) {
        static_cast<JackPortWatch*>(self)->changed_();
    }
    static void onClient(const char*, int, void* self) {
        static_cast<JackPortWatch*>(self)->changed_();
    }
    static void onRename(jack_port_id_t, const char*, const char*, void* self) {
        static_cast<JackPortWatch*>(self)->changed_();
    }

    jack_client_t* client_;
    std::function<void()> changed_;
};

}  // namespace

std::unique_ptr<PortWatch> watchJackPorts(std::function<void()> changed) {
    jack_client_t* client = jack_client_open("halden-updater-watch", JackNoStartServer, nullptr);
    if (!client) return nullptr;
    auto watch = std::make_unique<JackPortWatch>(client, std::move(changed));
    if (!watch->start()) return nullptr;
    return watch;
}

}  // namespace halden

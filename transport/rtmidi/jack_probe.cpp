#include "transport/rtmidi/jack_probe.h"

#include <jack/jack.h>

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

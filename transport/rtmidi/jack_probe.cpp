#include "transport/rtmidi/jack_probe.h"

#include <jack/jack.h>

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

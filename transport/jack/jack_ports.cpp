#include "transport/jack/jack_ports.h"

#include <jack/jack.h>
#include <unistd.h>

#include <cerrno>

#include "transport/rtmidi/jack_probe.h"

namespace halden {

namespace {

using namespace std::chrono_literals;

constexpr auto kSendDeadline = 3s;
constexpr auto kSendRetry = 2ms;
constexpr auto kWatchInterval = 200ms;
constexpr std::chrono::seconds kListDeadline = 5s;
constexpr const char* kClientName = "halden-updater";
// JACK drops longer SysEx messages without a word. jackd's MIDI buffer carries 16379
// bytes; PipeWire's JACK service lost messages of 16013 bytes and more when the programs
// ran slowly (measured under ThreadSanitizer), while 14013 always arrived. Half of
// jackd's limit keeps a margin for both.
constexpr size_t kMaxMessage = 8192;
static_assert(kMaxMessage + 4 <= JackMidiClient::kQueueBytes);

// Our own ports (this program's, another updater's) lead to no Halden: they are not
// offered, and opening one does not add an entry to the lists the user chooses from.
bool listed(const std::string& name) {
    return !name.empty() && name.rfind(kClientName, 0) != 0;
}

// The ports of `flags` in JACK's order; the device number is the position among all.
std::vector<Port> listPorts(jack_client_t* client, unsigned long flags) {
    std::vector<Port> found;
    const char** names = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    for (size_t i = 0; names && names[i]; ++i) {
        if (listed(names[i])) found.push_back({names[i], i});
    }
    if (names) jack_free(names);
    return found;
}

}  // namespace

// A client of its own for listing, made once; one listing at a time uses it.
struct JackPorts::Lister {
    std::mutex inUse;
    jack_client_t* client = nullptr;
    ~Lister() {
        if (client) jack_client_close(client);
    }
};

// A server that has stopped answering (a stalled JACK server) blocks every call into
// libjack without end: the listing runs on a thread of its own, which is left behind
// when it does not end in time.
struct JackPorts::Listing {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool server = false;
    PortNames names;
};

JackPorts::JackPorts(Clock& clock, InputSink input, FailureSink failure, std::string noServer)
    : clock_(clock),
      input_(std::move(input)),
      failure_(std::move(failure)),
      noServer_(std::move(noServer)),
      lister_(std::make_shared<Lister>()) {
    jack::silenceLibrary();
}

JackPorts::~JackPorts() {
    portWatch_.reset();
    closePorts();
}

void JackPorts::watchPorts(std::function<void()> changed) {
    portWatch_.reset();
    if (changed) portWatch_ = watchJackPorts(std::move(changed));
}

Outcome JackPorts::enumeratePorts(PortNames& names) {
    names = {};
    const auto stalled = [] {
        return portFailure("The MIDI system does not answer: listing its ports took longer than " +
                           std::to_string(kListDeadline.count()) +
                           " s. Is its server (JACK) stalled or overloaded?");
    };
    if (stuck_) {
        std::lock_guard lock(stuck_->mutex);
        if (!stuck_->done) return stalled();
    }
    stuck_.reset();
    auto listing = std::make_shared<Listing>();
    std::thread([listing, lister = lister_] {
        PortNames found;
        bool server;
        {
            std::lock_guard turn(lister->inUse);
            if (!lister->client) {
                lister->client = jack_client_open(kClientName, JackNoStartServer, nullptr);
            }
            server = lister->client != nullptr;
            if (server) {
                found.inputs = listPorts(lister->client, JackPortIsOutput);
                found.outputs = listPorts(lister->client, JackPortIsInput);
            }
        }
        std::lock_guard lock(listing->mutex);
        listing->server = server;
        listing->names = std::move(found);
        listing->done = true;
        listing->ended.notify_all();
    }).detach();
    std::unique_lock lock(listing->mutex);
    if (!listing->ended.wait_for(lock, kListDeadline, [&] { return listing->done; })) {
        stuck_ = listing;
        return stalled();
    }
    names = listing->names;
    return listedPorts(names, listing->server ? std::string() : noServer_);
}

Outcome JackPorts::open(const Port* input, const Port* output) {
    closePorts();
    PortNames names;
    if (Outcome listed = enumeratePorts(names); !listed) return listed;
    // By name: the names carry JACK's client names, so a port that went away is not
    // mistaken for another that moved into its place.
    if (input && !findPort(names.inputs, *input)) return portGone("input", input->name);
    if (output && !findPort(names.outputs, *output)) return portGone("output", output->name);
    inName_ = input ? input->name : std::string();
    outName_ = output ? output->name : std::string();
    const auto refuse = [&](const char* direction, const std::string& port,
                            const std::string& why) {
        closePorts();
        return portFailure(std::string("Can't open the MIDI ") + direction + " port \"" + port +
                           "\": " + why + ". Is the MIDI port currently in use?");
    };
    const std::string suffix = "-" + std::to_string(getpid());
    std::string why;
    client_ = JackMidiClient::open(
        kClientName, input ? "in" + suffix : "", output ? "out" + suffix : "",
        [this](ByteView event) {
            const ByteView passed = filter_.pass(event);
            if (!passed.empty()) input_(passed);
        },
        [this](const std::string& reason) {
            fail("The JACK server closed our connection" +
                 (reason.empty() ? std::string() : " (" + reason + ")") +
                 ". Is the MIDI server still running?");
        },
        why);
    if (!client_) return input ? refuse("input", inName_, why) : refuse("output", outName_, why);
    const auto connect = [&](const std::string& from, const std::string& to) {
        const int rc = jack_connect(client_->handle(), from.c_str(), to.c_str());
        return rc == 0 || rc == EEXIST;
    };
    if (input && !connect(inName_, client_->inputName())) {
        return refuse("input", inName_, "the MIDI system did not connect it");
    }
    if (output && !connect(client_->outputName(), outName_)) {
        return refuse("output", outName_, "the MIDI system did not connect it");
    }
    {
        std::lock_guard lock(mutex_);
        failureText_.clear();
        failed_ = false;
        watching_ = true;
    }
    watcher_ = std::thread([this] { watch(); });
    return {};
}

void JackPorts::closePorts() {
    {
        std::lock_guard lock(mutex_);
        watching_ = false;
    }
    watchWake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    client_.reset();
    filter_.reset();
}

void JackPorts::watch() {
    std::unique_lock lock(mutex_);
    while (watching_) {
        watchWake_.wait_for(lock, kWatchInterval, [this] { return !watching_; });
        if (!watching_) return;
        lock.unlock();
        for (const std::string* name : {&inName_, &outName_}) {
            if (!name->empty() && !jack_port_by_name(client_->handle(), name->c_str())) {
                fail("The MIDI port \"" + *name +
                     "\" has gone away. Is the MIDI interface still connected?");
            }
        }
        lock.lock();
    }
}

StatusCode JackPorts::sendSysEx(ByteView message) {
    if (failed_) return status::kPortFailure;
    if (!client_ || outName_.empty()) {
        fail("No MIDI output port is open.");
        return status::kPortFailure;
    }
    if (message.size() > kMaxMessage) {
        fail("The MIDI system (JACK) cannot carry a message of " + std::to_string(message.size()) +
             " bytes; the largest is " + std::to_string(kMaxMessage) +
             ". The Halden's block size is too large for it.");
        return status::kPortFailure;
    }
    // The queue to JACK empties a cycle at a time; while it is full the server is not
    // taking messages.
    const auto deadline = clock_.now() + kSendDeadline;
    while (!client_->send(message)) {
        if (clock_.now() >= deadline) {
            fail(
                "The MIDI system did not take the message in time. Is the MIDI server still "
                "running?");
            return status::kPortFailure;
        }
        clock_.waitFor(kSendRetry, [this] { return failed_.load(); });
        if (failed_) return status::kPortFailure;
    }
    return failed_ ? status::kPortFailure : status::kOk;
}

size_t JackPorts::maxMessageSize() const {
    return kMaxMessage;
}

unsigned long JackPorts::missedCycles() const {
    return client_ ? client_->missedCycles() : 0;
}

std::string JackPorts::failureText() const {
    std::lock_guard lock(mutex_);
    return failureText_;
}

void JackPorts::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failed_) return;
        failureText_ = why;
        failed_ = true;
    }
    clock_.notify();
    if (failure_) failure_(why);
}

}  // namespace halden

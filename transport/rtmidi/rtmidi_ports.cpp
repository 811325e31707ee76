#include "transport/rtmidi/rtmidi_ports.h"

#include <unistd.h>

#include <algorithm>

#include "transport/rtmidi/rtmidi_system.h"

#ifdef HALDEN_HAVE_JACK
#include "transport/rtmidi/jack_probe.h"
#endif

#include "engine/text.h"

namespace halden {

namespace {

using namespace std::chrono_literals;

constexpr auto kSendDeadline = 3s;
constexpr auto kWatchInterval = 200ms;
constexpr std::chrono::seconds kListDeadline = 5s;
constexpr const char* kClientName = "halden-updater";
// JACK drops longer SysEx messages without a word. jackd's MIDI buffer carries 16379
// bytes; PipeWire's JACK service lost messages of 16013 bytes and more when the programs
// ran slowly (measured under ThreadSanitizer), while 14013 always arrived. Half of
// jackd's limit keeps a margin for both.
constexpr size_t kJackMaxMessage = 8192;
constexpr size_t kOtherMaxMessage = 1u << 20;

// Where the port called `name` is in the object's own listing now. Every RtMidi object
// is a client of its own, and a port we opened a moment ago (our input port is a
// destination like any other) can shift the positions of the listing the user chose
// from; the names carry the system's unique client and port numbers.
template <class Midi>
std::optional<unsigned> positionNow(Midi& midi, const std::string& name) {
    for (unsigned i = 0, n = midi.getPortCount(); i < n; ++i) {
        if (midi.getPortName(i) == name) return i;
    }
    return std::nullopt;
}

// Our own ports (this program's, another updater's) lead to no Halden: they are not
// offered, and opening one does not add an entry to the lists the user chooses from.
bool listed(const std::string& name) {
    return !name.empty() && name.rfind(kClientName, 0) != 0;
}

}  // namespace

struct RtMidiPorts::Api {
    RtMidi::Api id;
    std::string name;
    // An RtMidi object (and the library handle inside it) is for one thread at a time:
    // a listing and the vanished-port watch take turns on these two.
    std::mutex inUse;
    std::unique_ptr<RtMidiIn> listIn;
    std::unique_ptr<RtMidiOut> listOut;
};

RtMidiPorts::RtMidiPorts(Clock& clock, InputSink input, FailureSink failure, std::string system)
    : input_(std::move(input)),
      failure_(std::move(failure)),
      requested_(std::move(system)),
      clock_(clock) {}

RtMidiPorts::~RtMidiPorts() {
    portWatch_.reset();
    closePorts();
}

void RtMidiPorts::watchPorts(std::function<void()> changed) {
    portWatch_.reset();
    if (!changed) return;
    if (!api_) (void)selectSystem();
    if (!api_) return;
#ifdef HALDEN_HAVE_JACK
    if (api_->id == RtMidi::UNIX_JACK) portWatch_ = watchJackPorts(std::move(changed));
#endif
}

std::string rtMidiUnavailable(RtMidi::Api id) {
#ifdef HALDEN_HAVE_JACK
    jack::silenceLibrary();
#endif
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    if (std::find(compiled.begin(), compiled.end(), id) == compiled.end()) {
        return "the RtMidi library here was built without it";
    }
#ifdef __linux__
    // Without a sequencer device RtMidi and the ALSA library only print complaints.
    if (id == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0) {
        return "no sequencer (/dev/snd/seq)";
    }
#endif
#ifdef HALDEN_HAVE_JACK
    // RtMidi opens JACK without a server, then lists nothing and complains on every
    // call: ask first.
    if (id == RtMidi::UNIX_JACK && !jack::serverRunning()) return "no server is running";
#endif
    try {
        RtMidiIn probe(id, kClientName);  // throws when the system cannot be opened
        return {};
    } catch (const RtMidiError& e) {
        return e.getMessage();
    }
}

std::optional<RtMidi::Api> chooseRtMidiApi(std::string requested, std::string& reasons) {
    requested = lowerAscii(requested);
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    reasons.clear();
    for (RtMidi::Api id : compiled) {
        const std::string name = systemDisplayName(id);
        if (id == RtMidi::RTMIDI_DUMMY) continue;
        if (!requested.empty() && requested != lowerAscii(RtMidi::getApiName(id)) &&
            requested != lowerAscii(name)) {
            continue;
        }
        const std::string why = rtMidiUnavailable(id);
        if (why.empty()) return id;
        reasons += "; " + name + ": " + why;
    }
    reasons = reasons.empty() ? "no MIDI system called \"" + requested + "\" is available"
                              : reasons.substr(2);
    return std::nullopt;
}

void ignoreRtMidiWarning(RtMidiError::Type, const std::string&, void*) {}

// Opens the system asked for (or the first that works) with its listing objects; else
// says why not.
std::string openSystem(const std::string& requested, std::shared_ptr<RtMidiPorts::Api>& chosen) {
    std::string reasons;
    const auto id = chooseRtMidiApi(requested, reasons);
    if (!id) return reasons;
    try {
        auto api = std::make_shared<RtMidiPorts::Api>();
        api->id = *id;
        api->name = systemDisplayName(*id);
        api->listIn = std::make_unique<RtMidiIn>(*id, kClientName);
        api->listIn->setErrorCallback(ignoreRtMidiWarning, nullptr);
        api->listOut = std::make_unique<RtMidiOut>(*id, kClientName);
        api->listOut->setErrorCallback(ignoreRtMidiWarning, nullptr);
        chosen = std::move(api);
        return {};
    } catch (const RtMidiError& e) {
        return e.getMessage();
    }
}

std::string RtMidiPorts::selectSystem() {
    return openSystem(requested_, api_);
}

// A MIDI server that has stopped answering (a stalled JACK server) blocks every call
// into the library without end: the listing runs on a thread of its own, which is left
// behind when it does not end in time.
struct RtMidiPorts::Listing {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::shared_ptr<Api> api;
    std::string why;
    PortNames names;
};

Outcome RtMidiPorts::enumeratePorts(PortNames& names) {
    names = {};
    const auto stalled = [] {
        return portFailure("The MIDI system does not answer: listing its ports took longer than " +
                           std::to_string(kListDeadline.count()) +
                           " s. Is its server (JACK) stalled or overloaded?");
    };
    if (stuck_) {
        bool ended = false;
        {
            std::lock_guard lock(stuck_->mutex);
            ended = stuck_->done;
            if (ended) api_ = stuck_->api;
        }
        if (!ended) return stalled();
        stuck_.reset();
    }
    auto listing = std::make_shared<Listing>();
    listing->api = api_;
    std::thread([listing, requested = requested_] {
        std::shared_ptr<Api> api = listing->api;
        PortNames found;
        std::string why;
        if (!api) why = openSystem(requested, api);
        if (api) {
            std::lock_guard turn(api->inUse);
            for (unsigned i = 0, n = api->listIn->getPortCount(); i < n; ++i) {
                std::string name = api->listIn->getPortName(i);
                if (listed(name)) found.inputs.push_back({std::move(name), i});
            }
            for (unsigned i = 0, n = api->listOut->getPortCount(); i < n; ++i) {
                std::string name = api->listOut->getPortName(i);
                if (listed(name)) found.outputs.push_back({std::move(name), i});
            }
        }
        std::lock_guard lock(listing->mutex);
        listing->api = std::move(api);
        listing->why = std::move(why);
        listing->names = std::move(found);
        listing->done = true;
        listing->ended.notify_all();
    }).detach();
    std::string why;
    {
        std::unique_lock lock(listing->mutex);
        if (!listing->ended.wait_for(lock, kListDeadline, [&] { return listing->done; })) {
            stuck_ = listing;
            return stalled();
        }
        api_ = listing->api;
        why = listing->why;
        names = listing->names;
    }
    return listedPorts(names, why);
}

Outcome RtMidiPorts::open(const Port* input, const Port* output) {
    closePorts();
    PortNames names;
    if (Outcome listed = enumeratePorts(names); !listed) return listed;
    // By name: the names carry the system's own client and port numbers, so a port that
    // went away is not mistaken for another that moved into its place.
    if (input && !findPort(names.inputs, *input)) return portGone("input", input->name);
    if (output && !findPort(names.outputs, *output)) return portGone("output", output->name);
    inName_ = input ? input->name : std::string();
    outName_ = output ? output->name : std::string();
    const std::string suffix = "-" + std::to_string(getpid());
    const std::string ourIn = "in" + suffix, ourOut = "out" + suffix;
    opened_ = false;
    openError_.clear();
    const auto refuse = [&](const char* direction, const std::string& port,
                            const std::string& why) {
        closePorts();
        return portFailure(std::string("Can't open the MIDI ") + direction + " port \"" + port +
                           "\": " + why + ". Is the MIDI port currently in use?");
    };
    // Why an open that threw nothing still failed: RtMidi reports through the error
    // callback, and does not tell at all when JACK refused the connection.
    const auto notOpened = [this](const std::string& peer, const std::string& ours) {
        if (!openError_.empty()) return openError_;
#ifdef HALDEN_HAVE_JACK
        if (api_->id == RtMidi::UNIX_JACK && !jack::connected(peer, ours)) {
            return std::string("the MIDI system did not connect it");
        }
#else
        (void)peer;
        (void)ours;
#endif
        return std::string();
    };

    if (input) try {
            handoff_ = std::make_unique<InputHandoff>([this](ByteView message) {
                const ByteView passed = filter_.pass(message);
                if (!passed.empty()) input_(passed);
            });
            in_ = std::make_unique<RtMidiIn>(api_->id, kClientName);
            in_->setErrorCallback(&RtMidiPorts::onError, this);
            in_->ignoreTypes(false, true, true);  // SysEx in; clock and active sensing out
            in_->setCallback(&RtMidiPorts::onInput, this);
            const auto position = positionNow(*in_, inName_);
            if (!position) {
                closePorts();
                return portGone("input", inName_);
            }
            in_->openPort(*position, ourIn);
        } catch (const RtMidiError& e) {
            return refuse("input", inName_, e.getMessage());
        }
    if (auto why = input ? notOpened(inName_, ourIn) : ""; !why.empty()) {
        return refuse("input", inName_, why);
    }
    if (output) try {
            out_ = std::make_shared<RtMidiOut>(api_->id, kClientName);
            out_->setErrorCallback(&RtMidiPorts::onError, this);
            const auto position = positionNow(*out_, outName_);
            if (!position) {
                closePorts();
                return portGone("output", outName_);
            }
            out_->openPort(*position, ourOut);
        } catch (const RtMidiError& e) {
            return refuse("output", outName_, e.getMessage());
        }
    if (auto why = output ? notOpened(outName_, ourOut) : ""; !why.empty()) {
        return refuse("output", outName_, why);
    }
    {
        std::lock_guard lock(mutex_);
        failureText_.clear();
        failed_ = false;
        watching_ = true;
    }
    opened_ = true;
    // The send function shares the output port: a send that returns after the ports
    // were closed still finds it, and the last one out closes it.
    if (out_)
        sender_ = std::make_unique<SendThread>(
            [out = out_](ByteView m) {
                try {
                    out->sendMessage(m.data(), m.size());
                    return std::string();
                } catch (const RtMidiError& e) {
                    return e.getMessage();
                }
            },
            clock_, kSendDeadline);
    watcher_ = std::thread([this, api = api_] { watch(*api); });
    if (api_->id == RtMidi::UNIX_JACK) cycles_ = jack::watchCycles();
    return {};
}

void RtMidiPorts::stopWatching() {
    {
        std::lock_guard lock(mutex_);
        watching_ = false;
    }
    watchWake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
}

void RtMidiPorts::closePorts() {
    opened_ = false;
    stopWatching();
    const bool stuck = sender_ && sender_->stuck();
    sender_.reset();
    if (in_) {
        try {
            in_->cancelCallback();
            in_->closePort();
        } catch (const RtMidiError&) {
        }
    }
    in_.reset();
    // A send stuck inside the library still uses the port; it is closed when that send
    // returns and lets go of it.
    if (out_ && !stuck) {
        try {
            out_->closePort();
        } catch (const RtMidiError&) {
        }
    }
    out_.reset();
    handoff_.reset();  // after the input's client has gone: nothing pushes any more
    filter_.reset();
    cycles_.reset();
}

void RtMidiPorts::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failed_) return;
        failureText_ = why;
        failed_ = true;
    }
    if (failure_) failure_(why);
}

void RtMidiPorts::watch(Api& api) {
    std::unique_lock lock(mutex_);
    while (watching_) {
        watchWake_.wait_for(lock, kWatchInterval, [this] { return !watching_; });
        if (!watching_) return;
        lock.unlock();
        bool inThere = inName_.empty(), outThere = outName_.empty();
        // While a listing has the objects (one stuck on a stalled server, too) this
        // round is skipped: not being able to look is no sign that a port went. (Tried,
        // not waited for with a timeout: ThreadSanitizer does not see timed locks taken.)
        if (std::unique_lock turn(api.inUse, std::try_to_lock); !turn.owns_lock()) {
            inThere = outThere = true;
        } else {
            try {
                for (unsigned i = 0, n = api.listIn->getPortCount(); i < n; ++i) {
                    inThere = inThere || api.listIn->getPortName(i) == inName_;
                }
                for (unsigned i = 0, n = api.listOut->getPortCount(); i < n; ++i) {
                    outThere = outThere || api.listOut->getPortName(i) == outName_;
                }
            } catch (const RtMidiError&) {
            }
        }
        if (!inThere || !outThere) {
            fail("The MIDI port \"" + (inThere ? outName_ : inName_) +
                 "\" has gone away. Is the MIDI interface still connected?");
        }
        lock.lock();
    }
}

StatusCode RtMidiPorts::sendSysEx(ByteView message) {
    if (failed_) return status::kPortFailure;
    if (!out_ || !sender_) {
        fail("No MIDI output port is open.");
        return status::kPortFailure;
    }
    if (message.size() > maxMessageSize()) {
        fail("The MIDI system (" + api_->name + ") cannot carry a message of " +
             std::to_string(message.size()) + " bytes; the largest is " +
             std::to_string(maxMessageSize()) + ". The Halden's block size is too large for it.");
        return status::kPortFailure;
    }
    if (!sender_->send(message)) {
        const std::string error = sender_->error();
        fail(error.empty() ? "The MIDI system did not take the message in time. Is the MIDI "
                             "server still running?"
                           : "Sending to the MIDI port \"" + outName_ + "\" failed: " + error);
        return status::kPortFailure;
    }
    // RtMidi reports a failed send through the error callback rather than throwing.
    return failed_ ? status::kPortFailure : status::kOk;
}

std::string RtMidiPorts::failureText() const {
    std::lock_guard lock(mutex_);
    return failureText_;
}

std::string RtMidiPorts::systemName() const {
    return api_ ? api_->name : std::string();
}

size_t RtMidiPorts::maxMessageSize() const {
    if (!api_) return kOtherMaxMessage;
    switch (api_->id) {
        case RtMidi::UNIX_JACK:
            return kJackMaxMessage;
        default:
            return kOtherMaxMessage;
    }
}

void RtMidiPorts::onError(RtMidiError::Type type, const std::string& text, void* user) {
    // Warnings are RtMidi talking to itself; anything else means the port is broken.
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
    auto* self = static_cast<RtMidiPorts*>(user);
    if (self->opened_) {
        self->fail("The MIDI system reported a failure: " + text);
    } else if (self->openError_.empty()) {
        self->openError_ = text;
    }
}

void RtMidiPorts::onInput(double, std::vector<unsigned char>* message, void* user) {
    auto* self = static_cast<RtMidiPorts*>(user);
    if (message && self->handoff_) self->handoff_->push(ByteView(message->data(), message->size()));
}

}  // namespace halden

#include "cli/scan.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "app/port_lock.h"
#include "cli/port_choice.h"
#include "engine/protocol.h"
#include "engine/quiet_host.h"
#include "engine/text.h"
#include "engine/update.h"
#include "transport/real_clock.h"
#include "transport/sysex_framer.h"
#include "transport/system_ports.h"

namespace halden::cli {

namespace {

constexpr unsigned kScanAttempts = 2;
constexpr unsigned kScanTenths = 10;

bool isDirectionWord(const std::string& word) {
    if (word == "in" || word == "out" || word == "input" || word == "output") return true;
    // Windows names a driver's ports "MIDIIN2 (UM-ONE)" and "MIDIOUT2 (UM-ONE)".
    for (const char* prefix : {"midiin", "midiout"}) {
        const std::string p = prefix;
        if (word.rfind(p, 0) == 0 &&
            std::all_of(word.begin() + static_cast<long>(p.size()), word.end(),
                        [](unsigned char c) { return std::isdigit(c); })) {
            return true;
        }
    }
    return false;
}

// One pair: its own MIDI client, receiver and clock, so that pairs do not wait for
// each other.
void probe(Found& found, const std::string& midiSystem, CancelFlag& stop) {
    RealClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver{clock, cancel};
    std::unique_lock lock(midiClientMutex());
    std::unique_ptr<MidiPorts> ports = makeSystemPorts(
        clock, [&](ByteView bytes) { receiver.feed(bytes); },
        [&](const std::string& why) { receiver.failPort(why); }, midiSystem);
    // Gone, as it came, alone.
    struct Closer {
        std::unique_lock<std::mutex>& lock;
        std::unique_ptr<MidiPorts>& ports;
        ~Closer() {
            if (!lock.owns_lock()) lock.lock();
            ports->closePorts();
            ports.reset();
        }
    } closer{lock, ports};
    PortNames names;
    if (Outcome listed = ports->enumeratePorts(names); !listed) {
        found.rc = status::kPortFailure;
        found.failure = listed.failure().text;
        return;
    }
    // A pair another halden program holds is not asked: our requests would reach a
    // Halden in the middle of its update.
    std::vector<std::unique_ptr<PortLock>> locks;
    for (const auto& [direction, name] :
         {std::pair{"output", found.pair.output}, std::pair{"input", found.pair.input}}) {
        Result<std::unique_ptr<PortLock>> taken =
            PortLock::take(ports->systemName(), direction, name);
        if (!taken) {
            found.rc = status::kPortBusy;
            found.failure = taken.failure().text;
            return;
        }
        locks.push_back(std::move(*taken));
    }
    const auto out = choosePort(portNames(names.outputs), found.pair.output, "output");
    const auto in = choosePort(portNames(names.inputs), found.pair.input, "input");
    if (!out || !in) {
        found.rc = status::kPortFailure;
        found.failure = !out ? out.failure().text : in.failure().text;
        return;
    }
    if (Outcome opened = ports->openPorts(names.inputs[*in], names.outputs[*out]); !opened) {
        found.rc = status::kPortFailure;
        found.failure = opened.failure().text;
        return;
    }
    lock.unlock();
    QuietProgress progress;
    NoBoxes boxes;
    EngineIo io{*ports, receiver, progress, boxes, cancel, clock};
    // Ctrl-C during the scan ends each probe at its next look (the handshake clears the
    // flag as it starts, so it is set for as long as the stop holds).
    std::atomic<bool> done{false};
    std::thread watch([&] {
        while (!done) {
            if (stop) cancel = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    found.rc = connectDevice(io, found.info, kScanAttempts, kScanTenths);
    done = true;
    watch.join();
    if (found.rc == status::kPortFailure) found.failure = ports->failureText();
}

}  // namespace

std::string pairingKey(const std::string& name) {
    std::string text = lowerAscii(name);
    // JACK: "Halden A-01:Halden A" is the second client called "Halden A".
    if (const size_t colon = text.find(':');
        colon != std::string::npos && colon >= 3 && text[colon - 3] == '-' &&
        std::isdigit(static_cast<unsigned char>(text[colon - 2])) &&
        std::isdigit(static_cast<unsigned char>(text[colon - 1]))) {
        text.erase(colon - 3, 3);
    }
    for (char& c : text) {
        if (c == '(' || c == ')' || c == '_' || c == '[' || c == ']') c = ' ';
    }
    std::istringstream words(text);
    std::string word, key;
    while (words >> word) {
        if (isDirectionWord(word)) continue;
        key += (key.empty() ? "" : " ") + word;
    }
    return key;
}

std::vector<PortPair> matchingPairs(const PortNames& names) {
    std::vector<PortPair> pairs;
    for (const Port& out : names.outputs) {
        const std::string key = pairingKey(out.name);
        if (key.empty()) continue;
        for (const Port& in : names.inputs) {
            if (pairingKey(in.name) == key) pairs.push_back({out.name, in.name});
        }
    }
    return pairs;
}

std::string choosePartner(const std::string& output, const std::vector<std::string>& answered) {
    if (answered.empty()) return {};
    const std::string key = pairingKey(output);
    for (const std::string& input : answered) {
        if (!key.empty() && pairingKey(input) == key) return input;
    }
    return answered.front();
}

namespace {

// Every input listens while one output at a time is asked: the input that carries the
// Halden's identity is that output's partner, whatever the two are called. Only whole
// Halden messages are passed on, one at a time, so that the inputs' streams cannot mix.
class Listeners {
public:
    // `system`: the MIDI system's name as the listing gave it, which names the locks.
    Listeners(const std::string& midiSystem, const std::string& system,
              const std::vector<Port>& inputs, Clock& clock, std::vector<Found>& found)
        : receiver_(clock, cancel_) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            auto l = std::make_unique<Listener>();
            l->framer = std::make_unique<SysExFramer>([this, i](ByteView m) { heard(i, m); });
            std::lock_guard lock(midiClientMutex());
            l->ports = makeSystemPorts(
                clock, [f = l->framer.get()](ByteView b) { f->feed(b); }, nullptr, midiSystem);
            Result<std::unique_ptr<PortLock>> taken =
                PortLock::take(system, "input", inputs[i].name);
            Found failed;
            failed.pair.input = inputs[i].name;
            if (!taken) {
                failed.rc = status::kPortBusy;
                failed.failure = taken.failure().text;
                found.push_back(failed);
            } else if (Outcome opened = l->ports->openInput(inputs[i]); !opened) {
                failed.rc = status::kPortFailure;
                failed.failure = opened.failure().text;
                found.push_back(failed);
            } else {
                l->lock = std::move(*taken);
                l->name = inputs[i].name;
            }
            listeners_.push_back(std::move(l));
        }
    }
    ~Listeners() {
        std::lock_guard lock(midiClientMutex());
        for (auto& l : listeners_) l->ports->closePorts();
    }
    SysExReceiver& receiver() { return receiver_; }
    CancelFlag& cancel() { return cancel_; }
    // A new question: what was heard before is forgotten.
    void startProbe() {
        std::lock_guard lock(mutex_);
        receiver_.reset();
        answered_.clear();
    }
    // The inputs that carried an identity since startProbe, in list order.
    std::vector<std::string> answered() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> names;
        for (size_t i = 0; i < listeners_.size(); ++i) {
            if (answered_.count(i)) names.push_back(listeners_[i]->name);
        }
        return names;
    }

private:
    struct Listener {
        std::unique_ptr<SysExFramer> framer;
        std::unique_ptr<MidiPorts> ports;
        std::unique_ptr<PortLock> lock;
        std::string name;
    };
    void heard(size_t input, ByteView m) {
        const std::optional<ByteView> body = protocol::unframe(m);
        if (!body) return;
        std::lock_guard lock(mutex_);
        receiver_.feed(m);
        if (!body->empty() && (*body)[0] == protocol::kIdentityReply) answered_.insert(input);
    }
    CancelFlag cancel_{false};
    SysExReceiver receiver_;
    std::mutex mutex_;
    std::set<size_t> answered_;
    std::vector<std::unique_ptr<Listener>> listeners_;
};

// Outputs whose names match an input's first: they are the likeliest Haldens.
std::vector<Port> probeOrder(const PortNames& names) {
    std::vector<Port> first, rest;
    for (const Port& out : names.outputs) {
        const std::string key = pairingKey(out.name);
        const bool matches =
            !key.empty() && std::any_of(names.inputs.begin(), names.inputs.end(),
                                        [&](const Port& in) { return pairingKey(in.name) == key; });
        (matches ? first : rest).push_back(out);
    }
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

std::vector<Found> scanByAnswers(const std::string& midiSystem, const std::string& system,
                                 const PortNames& names, CancelFlag& stop) {
    RealClock clock;
    std::vector<Found> found;
    Listeners listeners(midiSystem, system, names.inputs, clock, found);
    std::unique_ptr<MidiPorts> asker;
    {
        std::lock_guard lock(midiClientMutex());
        asker = makeSystemPorts(
            clock, [](ByteView) {}, nullptr, midiSystem);
    }
    QuietProgress progress;
    NoBoxes boxes;
    for (const Port& out : probeOrder(names)) {
        if (stop) break;
        Found f;
        f.pair.output = out.name;
        Result<std::unique_ptr<PortLock>> taken = PortLock::take(system, "output", out.name);
        if (!taken) {
            f.rc = status::kPortBusy;
            f.failure = taken.failure().text;
            found.push_back(f);
            continue;
        }
        Outcome opened;
        {
            std::lock_guard lock(midiClientMutex());
            opened = asker->openOutput(out);
        }
        if (!opened) {
            f.rc = status::kPortFailure;
            f.failure = opened.failure().text;
            found.push_back(f);
            continue;
        }
        listeners.startProbe();
        EngineIo io{*asker, listeners.receiver(), progress, boxes, listeners.cancel(), clock};
        std::atomic<bool> done{false};
        std::thread watch([&] {
            while (!done) {
                if (stop) listeners.cancel() = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        f.rc = connectDevice(io, f.info, kScanAttempts, kScanTenths);
        done = true;
        watch.join();
        if (f.rc == status::kPortFailure) f.failure = asker->failureText();
        {
            std::lock_guard lock(midiClientMutex());
            asker->closePorts();
        }
        if (f.rc == status::kOk) {
            f.pair.input = choosePartner(out.name, listeners.answered());
            if (f.pair.input.empty()) f.rc = status::kResponseUnknown;
        }
        found.push_back(f);
    }
    return found;
}

}  // namespace

Result<std::vector<Found>> scanForHaldens(const std::string& midiSystem, CancelFlag& cancel) {
    RealClock clock;
    PortNames names;
    bool oneDirection = false;
    std::string system;
    {
        std::lock_guard lock(midiClientMutex());
        const auto ports = makeSystemPorts(
            clock, [](ByteView) {}, nullptr, midiSystem);
        if (Outcome listed = ports->enumeratePorts(names); !listed) return listed.failure();
        oneDirection = ports->opensOneDirection();
        system = ports->systemName();
    }
    if (oneDirection) return scanByAnswers(midiSystem, system, names, cancel);
    // Where ports open only in pairs (Windows), the pairs whose names match are asked.
    std::vector<Found> found;
    for (const PortPair& pair : matchingPairs(names)) {
        Found f;
        f.pair = pair;
        found.push_back(std::move(f));
    }
    std::vector<std::thread> probes;
    for (Found& f : found)
        probes.emplace_back([&f, &midiSystem, &cancel] { probe(f, midiSystem, cancel); });
    for (std::thread& t : probes) t.join();
    return found;
}

}  // namespace halden::cli

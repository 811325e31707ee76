#include "cli/scan.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <sstream>
#include <thread>

#include "app/port_lock.h"
#include "cli/port_choice.h"
#include "engine/text.h"
#include "engine/update.h"
#include "transport/real_clock.h"
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

class QuietProgress : public Progress {
public:
    void open() override {}
    void set(std::string_view, int) override {}
    void close() override {}
};

class NoBoxes : public MessageBoxes {
public:
    void errorBox(std::string_view) override {}
    bool askYesNo(std::string_view) override { return false; }
    void noticeBox(std::string_view) override {}
    void fatalBox(std::string_view) override {}
};

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

Result<std::vector<Found>> scanForHaldens(const std::string& midiSystem, CancelFlag& cancel) {
    RealClock clock;
    PortNames names;
    {
        std::lock_guard lock(midiClientMutex());
        const auto ports = makeSystemPorts(
            clock, [](ByteView) {}, nullptr, midiSystem);
        if (Outcome listed = ports->enumeratePorts(names); !listed) return listed.failure();
    }
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

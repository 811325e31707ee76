#include "transport/midi_systems.h"

#include <cstdlib>
#include <mutex>

#include "engine/text.h"
#include "transport/system_ports.h"

namespace halden {

namespace {

// Stands in for the system the automatic choice could not make yet: every listing chooses
// again, and once a system is chosen its ports do the rest. (The window's thread may tell
// it to watch while a listing chooses on another.)
class UnchosenPorts : public MidiPorts {
public:
    UnchosenPorts(const std::vector<MidiSystem>& systems, std::string asked, std::string why,
                  Clock& clock, InputSink input, FailureSink failure)
        : systems_(systems),
          asked_(std::move(asked)),
          clock_(clock),
          input_(std::move(input)),
          failure_(std::move(failure)),
          why_(std::move(why)) {}

    Outcome enumeratePorts(PortNames& names) override {
        if (!chosen()) {
            const MidiSystemChoice choice = chooseMidiSystem(systems_, asked_);
            std::lock_guard lock(mutex_);
            if (!choice.system) {
                names = {};
                why_ = choice.why;
                return listedPorts(names, why_);
            }
            chosen_ = choice.system->open(clock_, input_, failure_);
            if (watch_) chosen_->watchPorts(std::move(watch_));
        }
        return chosen()->enumeratePorts(names);
    }
    Outcome openPorts(const Port& input, const Port& output) override {
        MidiPorts* ports = chosen();
        return ports ? ports->openPorts(input, output) : notListed();
    }
    bool opensOneDirection() const override {
        const MidiPorts* ports = chosen();
        return ports && ports->opensOneDirection();
    }
    Outcome openInput(const Port& input) override {
        MidiPorts* ports = chosen();
        return ports ? ports->openInput(input) : notListed();
    }
    Outcome openOutput(const Port& output) override {
        MidiPorts* ports = chosen();
        return ports ? ports->openOutput(output) : notListed();
    }
    void watchPorts(std::function<void()> changed) override {
        std::lock_guard lock(mutex_);
        if (chosen_) {
            chosen_->watchPorts(std::move(changed));
        } else {
            watch_ = std::move(changed);
        }
    }
    void closePorts() override {
        if (MidiPorts* ports = chosen()) ports->closePorts();
    }
    std::string systemName() const override {
        const MidiPorts* ports = chosen();
        return ports ? ports->systemName() : "";
    }
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override {
        MidiPorts* ports = chosen();
        return ports ? ports->sendSysEx(message) : status::kPortFailure;
    }
    std::string failureText() const override {
        const MidiPorts* ports = chosen();
        return ports ? ports->failureText() : "No MIDI output port is open.";
    }
    size_t maxMessageSize() const override {
        const MidiPorts* ports = chosen();
        return ports ? ports->maxMessageSize() : 0;
    }
    unsigned linkBaud() const override {
        const MidiPorts* ports = chosen();
        return ports ? ports->linkBaud() : 0;
    }
    unsigned missedCycles() const override {
        const MidiPorts* ports = chosen();
        return ports ? ports->missedCycles() : 0;
    }

private:
    MidiPorts* chosen() const {
        std::lock_guard lock(mutex_);
        return chosen_.get();
    }
    Outcome notListed() {
        std::lock_guard lock(mutex_);
        PortNames none;
        return listedPorts(none, why_);
    }

    const std::vector<MidiSystem>& systems_;
    const std::string asked_;
    Clock& clock_;
    InputSink input_;
    FailureSink failure_;
    mutable std::mutex mutex_;
    std::string why_;
    std::function<void()> watch_;  // asked for before a system was chosen
    std::unique_ptr<MidiPorts> chosen_;
};

}  // namespace

std::string askedMidiSystem(const std::string& given, const char* environment) {
    return lowerAscii(given.empty() && environment ? environment : given);
}

std::string askedMidiSystem(const std::string& given) {
    return askedMidiSystem(given, std::getenv("HALDEN_MIDI_SYSTEM"));
}

MidiSystemChoice chooseMidiSystem(const std::vector<MidiSystem>& systems,
                                  const std::string& asked) {
    std::string reasons;
    if (!asked.empty()) {
        for (const MidiSystem& system : systems) {
            if (system.name == asked) return {&system, {}};
            reasons += (reasons.empty() ? "" : ", ") + system.name;
        }
        return {nullptr,
                "no MIDI system called \"" + asked + "\" is available; this build has " + reasons};
    }
    for (const MidiSystem& system : systems) {
        const std::string why = system.unavailable();
        if (why.empty()) return {&system, {}};
        reasons += "; " + system.label + ": " + why;
    }
    return {nullptr, reasons.empty() ? "this build has no MIDI system" : reasons.substr(2)};
}

std::unique_ptr<MidiPorts> openMidiSystem(const std::vector<MidiSystem>& systems,
                                          const std::string& asked, Clock& clock,
                                          MidiPorts::InputSink input,
                                          MidiPorts::FailureSink failure) {
    MidiSystemChoice choice = chooseMidiSystem(systems, asked);
    if (choice.system) return choice.system->open(clock, std::move(input), std::move(failure));
    return std::make_unique<UnchosenPorts>(systems, asked, std::move(choice.why), clock,
                                           std::move(input), std::move(failure));
}

std::unique_ptr<MidiPorts> makeSystemPorts(Clock& clock, MidiPorts::InputSink input,
                                           MidiPorts::FailureSink failure,
                                           const std::string& system) {
    return openMidiSystem(midiSystems(), askedMidiSystem(system), clock, std::move(input),
                          std::move(failure));
}

std::vector<std::string> midiSystemNames() {
    std::vector<std::string> names;
    for (const MidiSystem& system : midiSystems()) names.push_back(system.name);
    return names;
}

}  // namespace halden

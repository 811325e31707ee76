// ports: the MIDI ports this system has.
#include <atomic>

#include "app/options.h"
#include "cli/platform.h"
#include "cli/verbs.h"
#include "transport/midi_systems.h"
#include "transport/real_clock.h"
#include "transport/system_ports.h"

namespace halden::cli {

namespace {

class PortsVerb : public Verb {
public:
    explicit PortsVerb(CLI::App& app) {
        command_ = app.add_subcommand("ports", "List the MIDI input and output ports");
        addMidiSystemOption(*command_, system_);
        addJsonOption();
        command_
            ->add_flag("--watch", watch_,
                       "list them again whenever ports come or go, until interrupted (Ctrl-C)")
            ->excludes("--json");
    }
    int run(Terminal& terminal) override {
        RealClock clock;
        const auto ports = makeSystemPorts(
            clock, [](ByteView) {}, nullptr, system_);
        int rc = list(terminal, *ports);
        if (!watch_) return rc;
        // The MIDI system tells of ports that come and go; a burst of them is one listing.
        std::atomic<bool> changed{false};
        ports->watchPorts([&] {
            changed = true;
            clock.notify();
        });
        CancelFlag stop{false};
        catchStopSignals(&stop);
        while (!stop) {
            if (!clock.waitFor(std::chrono::milliseconds(200), [&] { return changed.load(); })) {
                continue;
            }
            clock.sleepFor(std::chrono::milliseconds(100));
            changed = false;
            terminal.out("");
            rc = list(terminal, *ports);
        }
        ports->watchPorts(nullptr);
        catchStopSignals(nullptr);
        return rc;
    }

private:
    int list(Terminal& terminal, MidiPorts& ports) {
        PortNames names;
        const Outcome listed = ports.enumeratePorts(names);
        auto& report = terminal.report();
        report["system"] = ports.systemName();
        const auto list = [](const std::vector<Port>& found) {
            auto out = nlohmann::json::array();
            for (size_t i = 0; i < found.size(); ++i) {
                out.push_back({{"position", i + 1}, {"name", found[i].name}});
            }
            return out;
        };
        report["outputs"] = list(names.outputs);
        report["inputs"] = list(names.inputs);
        terminal.out("MIDI system: " + ports.systemName());
        terminal.out("Output ports (--out):");
        for (size_t i = 0; i < names.outputs.size(); ++i) {
            terminal.out("  " + std::to_string(i + 1) + ": " + names.outputs[i].name);
        }
        terminal.out("Input ports (--in):");
        for (size_t i = 0; i < names.inputs.size(); ++i) {
            terminal.out("  " + std::to_string(i + 1) + ": " + names.inputs[i].name);
        }
        if (!systemsListed_) listSystems(terminal);
        systemsListed_ = true;
        if (!listed) {
            terminal.failed(listed.failure());
            return exitStatus(listed.failure().code);
        }
        return 0;
    }

    // The MIDI systems this build has, and whether each can be opened here.
    static void listSystems(Terminal& terminal) {
        auto systems = nlohmann::json::array();
        terminal.out("MIDI systems (--midi-system):");
        for (const MidiSystem& system : midiSystems()) {
            const std::string why = system.unavailable();
            nlohmann::json entry = {
                {"name", system.name}, {"label", system.label}, {"available", why.empty()}};
            if (!why.empty()) entry["why"] = why;
            systems.push_back(std::move(entry));
            terminal.out("  " + system.name + ": " + system.label +
                         (why.empty() ? ", available here" : ", not available here: " + why));
        }
        terminal.report()["systems"] = std::move(systems);
    }

    std::string system_;
    bool watch_ = false;
    bool systemsListed_ = false;  // once, with the first listing
};

}  // namespace

std::unique_ptr<Verb> makePortsVerb(CLI::App& app) {
    return std::make_unique<PortsVerb>(app);
}

}  // namespace halden::cli

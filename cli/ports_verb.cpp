// ports: the MIDI ports this system has.
#include "app/options.h"
#include "cli/verbs.h"
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
    }
    int run(Terminal& terminal) override {
        RealClock clock;
        const auto ports = makeSystemPorts(
            clock, [](ByteView) {}, nullptr, system_);
        PortNames names;
        const Outcome listed = ports->enumeratePorts(names);
        auto& report = terminal.report();
        report["system"] = ports->systemName();
        const auto list = [](const std::vector<Port>& found) {
            auto out = nlohmann::json::array();
            for (size_t i = 0; i < found.size(); ++i) {
                out.push_back({{"position", i + 1}, {"name", found[i].name}});
            }
            return out;
        };
        report["outputs"] = list(names.outputs);
        report["inputs"] = list(names.inputs);
        terminal.out("MIDI system: " + ports->systemName());
        terminal.out("Output ports (--out):");
        for (size_t i = 0; i < names.outputs.size(); ++i) {
            terminal.out("  " + std::to_string(i + 1) + ": " + names.outputs[i].name);
        }
        terminal.out("Input ports (--in):");
        for (size_t i = 0; i < names.inputs.size(); ++i) {
            terminal.out("  " + std::to_string(i + 1) + ": " + names.inputs[i].name);
        }
        if (!listed) {
            terminal.failed(listed.failure());
            return exitStatus(listed.failure().code);
        }
        return 0;
    }

private:
    std::string system_;
};

}  // namespace

std::unique_ptr<Verb> makePortsVerb(CLI::App& app) {
    return std::make_unique<PortsVerb>(app);
}

}  // namespace halden::cli

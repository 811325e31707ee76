// ports: the MIDI ports this system has.
#include "cli/verbs.h"
#include "transport/system_ports.h"

namespace halden::cli {

namespace {

class PortsVerb : public Verb {
public:
    explicit PortsVerb(CLI::App& app) {
        command_ = app.add_subcommand("ports", "List the MIDI input and output ports");
        command_->add_option("--midi-system", system_, "MIDI system to use: alsa or jack");
    }
    int run(Terminal& terminal) override {
        const auto ports = makeSystemPorts([](ByteView) {}, nullptr, system_);
        PortNames names;
        const std::string error = ports->enumeratePorts(names);
        terminal.out("MIDI system: " + ports->systemName());
        terminal.out("Output ports (--out):");
        for (size_t i = 0; i < names.outputs.size(); ++i) {
            terminal.out("  " + std::to_string(i + 1) + ": " + names.outputs[i].name);
        }
        terminal.out("Input ports (--in):");
        for (size_t i = 0; i < names.inputs.size(); ++i) {
            terminal.out("  " + std::to_string(i + 1) + ": " + names.inputs[i].name);
        }
        if (!error.empty()) {
            terminal.err(error);
            return 1;
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

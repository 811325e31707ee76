// simulate on Windows: WinMM has no virtual ports, so the simulated Halden cannot be
// offered as a MIDI device. The built-in one (--simulate) works as everywhere.
#include "cli/verbs.h"
#include "sim/simulator_ports.h"

namespace halden::cli {

namespace {

class SimulateVerb : public Verb {
public:
    explicit SimulateVerb(CLI::App& app) {
        command_ = app.add_subcommand(
            "simulate", std::string("Run a simulated Halden on virtual MIDI ports named \"") +
                            kSimulatorPortName + "\" (not on Windows)");
        command_->allow_extras();
    }
    int run(Terminal& terminal) override {
        terminal.err(
            "halden simulate needs virtual MIDI ports, which the Windows MIDI system does not "
            "have. Use the built-in simulated Halden instead: halden update FILE --simulate");
        return 1;
    }
};

}  // namespace

std::unique_ptr<Verb> makeSimulateVerb(CLI::App& app) {
    return std::make_unique<SimulateVerb>(app);
}

}  // namespace halden::cli

// simulate: the simulated Halden as a MIDI device, on virtual ports of the MIDI system.
#include <csignal>
#include <cstdio>
#include <fstream>

#include "cli/sim_options.h"
#include "cli/verbs.h"
#include "sim/halden_sim.h"
#include "sim/real_scheduler.h"
#include "sim/simulator_ports.h"
#include "transport/raw_midi_device.h"
#include "transport/real_clock.h"
#include "transport/rtmidi_virtual.h"

namespace halden::cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void onStop(int) {
    g_stop = 1;
}

class SimulateVerb : public Verb {
public:
    explicit SimulateVerb(CLI::App& app) {
        command_ = app.add_subcommand(
            "simulate", std::string("Run a simulated Halden on virtual MIDI ports named \"") +
                            kSimulatorPortName + "\" until interrupted");
        command_->add_option("--midi-system", system_, "MIDI system to use: alsa or jack");
        command_->add_option("--raw-midi", rawDevice_,
                             "be the far end of a MIDI cable instead: read and write this raw "
                             "MIDI device (for example /dev/snd/midiC1D0)");
        command_->add_option("--save-memory", memoryFile_,
                             "on exit, write what the update left in the Halden's memory");
        command_->add_option("--save-received", receivedFile_,
                             "on exit, write every message received, one a line in hex");
        addSimOptions(*command_, options_);
        command_->footer(kSimulatorConvention);
    }

    int run(Terminal& terminal) override {
        RealClock clock;
        RealScheduler scheduler;
        RtMidiVirtualDevice ports;
        RawMidiDevice raw;
        const bool onRaw = !rawDevice_.empty();
        options_.recordReceived = !receivedFile_.empty();
        // The replies' wire time is modelled by the simulator; the MIDI system carries
        // them as whole messages.
        SimulatedHalden device(options_, clock, scheduler, [&](ByteView b) {
            if (onRaw) {
                raw.send(b);
            } else {
                ports.send(b);
            }
        });
        const auto receive = [&](ByteView message) {
            if (message.front() == 0xF0) device.receive(message);
        };
        const std::string error = onRaw ? raw.open(rawDevice_, receive)
                                        : ports.open(kSimulatorPortName, system_, receive);
        if (!error.empty()) {
            terminal.err(error);
            return 1;
        }
        std::signal(SIGINT, onStop);
        std::signal(SIGTERM, onStop);
        terminal.out(std::string("Halden Simulator ready on ") +
                     (onRaw ? rawDevice_ : ports.systemName()) + " (serial " +
                     hexBytes(options_.serial) + "); Ctrl-C ends it.");
        while (!g_stop && raw.failure().empty()) clock.sleepFor(std::chrono::milliseconds(50));
        scheduler.stop();
        if (const std::string why = raw.failure(); !why.empty()) {
            terminal.err("The raw MIDI device " + rawDevice_ + " failed: " + why);
        }

        const auto [major, minor] = device.version();
        char summary[160];
        std::snprintf(summary, sizeof summary,
                      "Halden Simulator stopped: %zu messages received, %zu bytes in memory, "
                      "image status %u, version %u.%u",
                      device.receivedCount(), device.memory().size(), device.imageStatus(), major,
                      minor);
        terminal.out(summary);
        bool saved = true;
        if (!memoryFile_.empty()) {
            const Bytes memory = device.memory();
            std::ofstream out(memoryFile_, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(memory.data()),
                      static_cast<std::streamsize>(memory.size()));
            saved = saved && static_cast<bool>(out);
        }
        if (!receivedFile_.empty()) {
            std::ofstream out(receivedFile_, std::ios::trunc);
            for (const Bytes& m : device.received()) out << hexBytes(m) << '\n';
            saved = saved && static_cast<bool>(out);
        }
        if (!saved) terminal.err("Can't write the files asked for.");
        return saved ? 0 : 1;
    }

private:
    SimOptions options_;
    std::string system_, rawDevice_, memoryFile_, receivedFile_;
};

}  // namespace

std::unique_ptr<Verb> makeSimulateVerb(CLI::App& app) {
    return std::make_unique<SimulateVerb>(app);
}

}  // namespace halden::cli

// simulate: the simulated Halden as a MIDI device, on virtual ports of the MIDI system.
#include <atomic>
#include <cstdio>
#include <sstream>

#include "app/atomic_file.h"
#include "app/options.h"
#include "cli/platform.h"
#include "cli/verbs.h"
#include "sim/halden_sim.h"
#include "sim/rawmidi/raw_midi_device.h"
#include "sim/real_scheduler.h"
#include "sim/sim_options.h"
#include "sim/simulator_ports.h"
#include "transport/real_clock.h"
#include "transport/rtmidi/rtmidi_virtual.h"

namespace halden::cli {

namespace {

class SimulateVerb : public Verb {
public:
    explicit SimulateVerb(CLI::App& app) {
        command_ = app.add_subcommand(
            "simulate",
            "Run a simulated Halden on virtual MIDI ports (\"Halden Simulator\" unless "
            "--sim-port-name gives another name) until interrupted");
        addMidiSystemOption(*command_, system_);
        command_->add_option("--raw-midi", rawDevice_,
                             "be the far end of a MIDI cable instead: read and write this raw "
                             "MIDI device (for example /dev/snd/midiC1D0)");
        command_->add_option("--save-memory", memoryFile_,
                             "on exit, write what the update left in the Halden's memory");
        command_->add_option("--save-received", receivedFile_,
                             "on exit, write every message received, one a line in hex");
        addSimOptions(*command_, options_);
        command_
            ->add_option("--sim-output-name", outputName_,
                         "name the simulator's output port (its answers) apart from its input")
            ->group("Simulated Halden");
        // Before the exit statuses, with which every verb's help ends.
        command_->footer(std::string(kSimulatorConvention) + "\n\n" + command_->get_footer());
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
        // --sim-port-fails-after: at the N-th message the ports go, as those of an
        // interface that was unplugged (closed from the main loop, not the MIDI thread).
        std::atomic<bool> unplugged{false};
        size_t messages = 0;
        SimulatedHalden device(options_, clock, scheduler, [&](ByteView b) {
            if (unplugged) return;
            if (onRaw) {
                raw.send(b);
            } else {
                ports.send(b);
            }
        });
        const auto receive = [&](ByteView message) {
            if (unplugged || message.front() != 0xF0) return;
            if (options_.portFailsAfter != 0 && ++messages >= options_.portFailsAfter) {
                unplugged = true;
                return;
            }
            device.receive(message);
        };
        const Outcome opened = onRaw ? raw.open(rawDevice_, receive)
                                     : ports.open(options_.portName, system_, receive, outputName_);
        if (!opened) {
            terminal.err(opened.failure().text);
            return exitStatus(opened.failure().code);
        }
        // Ctrl-C, SIGTERM or a closed terminal end it, as they cancel an update.
        CancelFlag stop{false};
        catchStopSignals(&stop);
        // Named as its ports are, with the serial number as --serial takes it.
        std::string serial;
        for (uint8_t b : options_.serial) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", b);
            serial += digits;
        }
        const std::string& name = options_.portName;
        terminal.out(name + " ready on " + (onRaw ? rawDevice_ : ports.systemName()) + " (serial " +
                     serial + "); Ctrl-C ends it.");
        bool closed = false;
        while (!stop && raw.failure().empty()) {
            clock.sleepFor(std::chrono::milliseconds(50));
            if (unplugged && !closed && !onRaw) {
                closed = true;
                ports.close();
                terminal.out(name + ": the ports are gone, as if unplugged.");
            }
        }
        catchStopSignals(nullptr);
        scheduler.stop();
        if (!onRaw) ports.close();  // nothing reaches the simulator while it is summed up
        if (const std::string why = raw.failure(); !why.empty()) {
            terminal.err("The raw MIDI device " + rawDevice_ + " failed: " + why);
        }

        const auto [major, minor] = device.version();
        char summary[160];
        std::snprintf(summary, sizeof summary,
                      " stopped: %zu messages received, %zu bytes in memory, image status %u, "
                      "version %u.%u",
                      device.receivedCount(), device.memory().size(), device.imageStatus(), major,
                      minor);
        terminal.out(name + summary);
        int rc = 0;
        const auto save = [&](const std::string& path, const auto& data) {
            if (path.empty()) return;
            if (const Outcome written = replaceFile(path, data); !written) {
                terminal.err(written.failure().text);
                rc = exitStatus(written.failure().code);
            }
        };
        save(memoryFile_, device.memory());
        std::ostringstream received;
        for (const Bytes& m : device.received()) received << hexBytes(m) << '\n';
        save(receivedFile_, received.str());
        return rc;
    }

private:
    SimOptions options_;
    std::string system_, rawDevice_, memoryFile_, receivedFile_, outputName_;
};

}  // namespace

std::unique_ptr<Verb> makeSimulateVerb(CLI::App& app) {
    return std::make_unique<SimulateVerb>(app);
}

}  // namespace halden::cli

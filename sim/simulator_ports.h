#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "sim/halden_sim.h"
#include "sim/real_scheduler.h"
#include "sim/sim_link.h"
#include "transport/midi_ports.h"

namespace halden {

// The built-in simulator as a pair of ports named "Halden Simulator", on the real clock.
// The device keeps its memory for the lifetime of this object, across opens.
class SimulatorPorts : public MidiPorts {
public:
    // The device's replies run on `scheduler`; by default on a thread of its own (a
    // browser page, which has no threads, brings its own).
    SimulatorPorts(const SimOptions& options, Clock& clock, InputSink input,
                   std::unique_ptr<Scheduler> scheduler = nullptr);
    ~SimulatorPorts() override;

    Outcome enumeratePorts(PortNames& names) override;
    Outcome openPorts(const Port& input, const Port& output) override;
    void closePorts() override;
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override;
    std::string failureText() const override;
    size_t maxMessageSize() const override;
    unsigned linkBaud() const override { return device_.options().baud; }
    std::string systemName() const override { return "built-in simulator"; }

    SimulatedHalden& device() { return device_; }

private:
    InputSink input_;
    std::unique_ptr<Scheduler> scheduler_;
    SimulatedHalden device_;
    SimLink link_;
    std::atomic<bool> open_{false};
    mutable std::mutex mutex_;
    unsigned sent_ = 0;
    bool failed_ = false;  // the port "was unplugged" (SimOptions::portFailsAfter)
};

// Makes the simulator's ports with these options, for a front end that offers them.
std::function<std::unique_ptr<MidiPorts>(Clock&, MidiPorts::InputSink)> simulatorFactory(
    SimOptions options);

}  // namespace halden

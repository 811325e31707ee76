#include "sim/simulator_ports.h"

namespace halden {

SimulatorPorts::SimulatorPorts(const SimOptions& options, Clock& clock, InputSink input,
                               std::unique_ptr<Scheduler> scheduler)
    : input_(std::move(input)),
      scheduler_(scheduler ? std::move(scheduler) : std::make_unique<RealScheduler>()),
      device_(options, clock, *scheduler_,
              [this](ByteView bytes) {
                  if (open_) input_(bytes);
              }),
      link_(clock, device_) {}

SimulatorPorts::~SimulatorPorts() {
    scheduler_->stop();
}

Outcome SimulatorPorts::enumeratePorts(PortNames& names) {
    names.inputs = {{device_.options().portName, 0}};
    names.outputs = {{device_.options().portName, 0}};
    return {};
}

Outcome SimulatorPorts::openPorts(const Port& input, const Port& output) {
    if (input.name != device_.options().portName) return portGone("input", input.name);
    if (output.name != device_.options().portName) return portGone("output", output.name);
    std::lock_guard lock(mutex_);
    sent_ = 0;
    failed_ = false;
    open_ = true;
    return {};
}

void SimulatorPorts::closePorts() {
    open_ = false;
}

StatusCode SimulatorPorts::sendSysEx(ByteView message) {
    {
        std::lock_guard lock(mutex_);
        const unsigned failsAfter = device_.options().portFailsAfter;
        if (open_ && failsAfter != 0 && ++sent_ >= failsAfter) failed_ = true;
        if (!open_ || failed_) return status::kPortFailure;
    }
    return link_.sendSysEx(message);
}

size_t SimulatorPorts::maxMessageSize() const {
    return link_.maxMessageSize();
}

std::string SimulatorPorts::failureText() const {
    std::lock_guard lock(mutex_);
    if (failed_) {
        return "The MIDI port \"" + device_.options().portName +
               "\" has gone away. Is the MIDI interface still connected?";
    }
    return "The simulator's port is not open.";
}

std::function<std::unique_ptr<MidiPorts>(Clock&, MidiPorts::InputSink)> simulatorFactory(
    SimOptions options) {
    return [options](Clock& clock, MidiPorts::InputSink input) {
        return std::make_unique<SimulatorPorts>(options, clock, std::move(input));
    };
}

}  // namespace halden

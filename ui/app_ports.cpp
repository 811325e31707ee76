#include "ui/app_ports.h"

namespace halden {

AppPorts::AppPorts(std::unique_ptr<MidiPorts> real, std::unique_ptr<SimulatorPorts> simulator)
    : real_(std::move(real)), simulator_(std::move(simulator)) {}

std::string AppPorts::enumeratePorts(PortNames& names) {
    names = {};
    std::string error = real_ ? real_->enumeratePorts(names)
                              : "No MIDI input buses available! Please connect your MIDI "
                                "interface or start a MIDI server";
    if (!simulator_) return error;
    // With the simulator there is always a port in each direction.
    PortNames simulated;
    simulator_->enumeratePorts(simulated);
    for (Port p : simulated.inputs) names.inputs.push_back({p.name, kSimulatorDevice + p.device});
    for (Port p : simulated.outputs) {
        names.outputs.push_back({p.name, kSimulatorDevice + p.device});
    }
    return {};
}

std::string AppPorts::openPorts(size_t inputDevice, size_t outputDevice) {
    closePorts();
    const bool simIn = inputDevice >= kSimulatorDevice;
    const bool simOut = outputDevice >= kSimulatorDevice;
    if (simIn != simOut) {
        return "The Halden Simulator answers only itself: choose it in both lists.";
    }
    MidiPorts* ports = simIn ? static_cast<MidiPorts*>(simulator_.get()) : real_.get();
    if (!ports) return "No such MIDI port.";
    const size_t offset = simIn ? kSimulatorDevice : 0;
    std::string error = ports->openPorts(inputDevice - offset, outputDevice - offset);
    if (error.empty()) open_ = ports;
    return error;
}

void AppPorts::closePorts() {
    if (real_) real_->closePorts();
    if (simulator_) simulator_->closePorts();
    open_ = nullptr;
}

StatusCode AppPorts::sendSysEx(ByteView message) {
    return open_ ? open_->sendSysEx(message) : status::kPortFailure;
}

size_t AppPorts::maxMessageSize() const {
    return open_ ? open_->maxMessageSize() : 0;
}

std::string AppPorts::failureText() const {
    return open_ ? open_->failureText() : "No MIDI port is open.";
}

}  // namespace halden

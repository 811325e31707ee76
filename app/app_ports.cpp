#include "app/app_ports.h"

namespace halden {

AppPorts::AppPorts(std::unique_ptr<MidiPorts> real, std::unique_ptr<MidiPorts> simulator)
    : real_(std::move(real)), simulator_(std::move(simulator)) {}

Outcome AppPorts::enumeratePorts(PortNames& names) {
    names = {};
    Outcome listed = real_ ? real_->enumeratePorts(names)
                           : portFailure(
                                 "No MIDI input buses available! Please connect your "
                                 "MIDI interface or start a MIDI server");
    if (!simulator_) return listed;
    // With the simulator there is always a port in each direction.
    PortNames simulated;
    (void)simulator_->enumeratePorts(simulated);
    for (Port p : simulated.inputs) names.inputs.push_back({p.name, kSimulatorDevice + p.device});
    for (Port p : simulated.outputs) {
        names.outputs.push_back({p.name, kSimulatorDevice + p.device});
    }
    return {};
}

Outcome AppPorts::openPorts(const Port& input, const Port& output) {
    closePorts();
    const bool simIn = input.device >= kSimulatorDevice;
    const bool simOut = output.device >= kSimulatorDevice;
    if (simIn != simOut) {
        return portFailure("The Halden Simulator answers only itself: choose it in both lists.");
    }
    MidiPorts* ports = simIn ? simulator_.get() : real_.get();
    if (!ports) return portFailure("No such MIDI port.");
    const size_t offset = simIn ? kSimulatorDevice : 0;
    // A real port is taken from other halden programs before anything is opened: a
    // request of theirs would reach a Halden in the middle of our update.
    if (!simIn) {
        const std::string system = ports->systemName();
        for (const auto& [direction, name] :
             {std::pair{"output", output.name}, std::pair{"input", input.name}}) {
            Result<std::unique_ptr<PortLock>> lock = PortLock::take(system, direction, name);
            if (!lock) {
                locks_.clear();
                return lock.failure();
            }
            locks_.push_back(std::move(*lock));
        }
    }
    Outcome opened = ports->openPorts({input.name, input.device - offset},
                                      {output.name, output.device - offset});
    if (opened) {
        open_ = ports;
    } else {
        locks_.clear();
    }
    return opened;
}

void AppPorts::closePorts() {
    if (real_) real_->closePorts();
    if (simulator_) simulator_->closePorts();
    open_ = nullptr;
    locks_.clear();
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

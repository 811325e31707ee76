#include "sim/simulator_ports.h"

namespace halden {

SimulatorPorts::SimulatorPorts(const SimOptions& options, Clock& clock, InputSink input)
    : input_(std::move(input)),
      device_(options, clock, scheduler_,
              [this](ByteView bytes) {
                  if (open_) input_(bytes);
              }),
      link_(clock, device_) {}

SimulatorPorts::~SimulatorPorts() {
    scheduler_.stop();
}

std::string SimulatorPorts::enumeratePorts(PortNames& names) {
    names.inputs = {{kSimulatorPortName, 0}};
    names.outputs = {{kSimulatorPortName, 0}};
    return {};
}

std::string SimulatorPorts::openPorts(size_t input, size_t output) {
    if (input != 0 || output != 0) return "No such MIDI port.";
    open_ = true;
    return {};
}

void SimulatorPorts::closePorts() {
    open_ = false;
}

StatusCode SimulatorPorts::sendSysEx(ByteView message) {
    if (!open_) return status::kPortFailure;
    return link_.sendSysEx(message);
}

size_t SimulatorPorts::maxMessageSize() const {
    return link_.maxMessageSize();
}

std::string SimulatorPorts::failureText() const {
    return "The simulator's port is not open.";
}

}  // namespace halden

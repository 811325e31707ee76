#pragma once

#include <memory>

#include "sim/simulator_ports.h"
#include "transport/midi_ports.h"

namespace halden {

// The desktop app's ports: the system's MIDI ports and, when asked for, the built-in
// simulated Halden as one more port at the end of both lists (so that stored positions
// of the real ports keep their meaning).
class AppPorts : public MidiPorts {
public:
    // `real` may be null (no MIDI backend on this platform); `simulator` may be null.
    AppPorts(std::unique_ptr<MidiPorts> real, std::unique_ptr<SimulatorPorts> simulator);

    [[nodiscard]] std::string enumeratePorts(PortNames& names) override;
    [[nodiscard]] std::string openPorts(size_t inputDevice, size_t outputDevice) override;
    void closePorts() override;
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override;
    std::string failureText() const override;
    size_t maxMessageSize() const override;

    // The device number under which the simulator is listed.
    static constexpr size_t kSimulatorDevice = static_cast<size_t>(1) << 30;

private:
    std::unique_ptr<MidiPorts> real_;
    std::unique_ptr<SimulatorPorts> simulator_;
    MidiPorts* open_ = nullptr;
};

}  // namespace halden

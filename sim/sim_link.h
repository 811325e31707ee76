#pragma once

#include <cstdint>

#include "engine/host.h"
#include "sim/halden_sim.h"

namespace halden {

// The host's end of the wire to a simulated Halden: a send takes the message's
// transmission time, then the device has it.
class SimLink : public SysExSender {
public:
    SimLink(Clock& clock, SimulatedHalden& device) : clock_(clock), device_(device) {}

    [[nodiscard]] StatusCode sendSysEx(ByteView message) override {
        clock_.sleepFor(device_.wireTime(message.size()));
        device_.receive(message);
        return status::kOk;
    }
    std::string failureText() const override { return {}; }
    size_t maxMessageSize() const override { return SIZE_MAX; }

private:
    Clock& clock_;
    SimulatedHalden& device_;
};

}  // namespace halden

#pragma once

#include <memory>
#include <vector>

#include "app/port_lock.h"
#include "transport/midi_ports.h"

namespace halden {

// The ports a front end offers: the system's MIDI ports and, when asked for, the
// simulated Halden as one more port at the end of both lists (so that stored positions
// of the real ports keep their meaning). The one place that chooses between them.
class AppPorts : public MidiPorts {
public:
    // Either may be null: no MIDI system (a command line run on the simulator alone), or
    // no simulator.
    AppPorts(std::unique_ptr<MidiPorts> real, std::unique_ptr<MidiPorts> simulator);

    Outcome enumeratePorts(PortNames& names) override;
    Outcome openPorts(const Port& input, const Port& output) override;
    void watchPorts(std::function<void()> changed) override {
        if (real_) real_->watchPorts(std::move(changed));
    }
    void closePorts() override;
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override;
    std::string failureText() const override;
    size_t maxMessageSize() const override;
    unsigned linkBaud() const override { return open_ ? open_->linkBaud() : 0; }
    unsigned missedCycles() const override { return open_ ? open_->missedCycles() : 0; }
    // The open port's system; before one is open, the system's.
    std::string systemName() const override {
        if (open_) return open_->systemName();
        return real_ ? real_->systemName() : simulator_ ? simulator_->systemName() : "";
    }

    // The device number under which the simulator is listed.
    static constexpr size_t kSimulatorDevice = static_cast<size_t>(1) << 30;

private:
    std::unique_ptr<MidiPorts> real_;
    std::unique_ptr<MidiPorts> simulator_;
    MidiPorts* open_ = nullptr;
    std::vector<std::unique_ptr<PortLock>> locks_;  // the real ports open
};

}  // namespace halden

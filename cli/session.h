// Everything identify and update need: the clock, the receiver, the ports, the
// terminal's progress and questions, and Ctrl-C as Cancel.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/app_ports.h"
#include "cli/terminal.h"
#include "cli/trace.h"
#include "cli/transfer_meter.h"
#include "engine/device.h"
#include "sim/halden_sim.h"
#include "transport/real_clock.h"

namespace halden::cli {

struct SessionOptions {
    bool simulate = false;
    SimOptions sim;
    std::string out;  // port position (1 = first) or part of its name
    std::string in;
    std::string midiSystem;  // forces ALSA, JACK, ...
    bool trace = false;
    std::optional<bool> answer;  // --yes / --no
    std::string historyPath;     // empty: the usual place
    // Off when several sessions run at once: their runner catches Ctrl-C and cancels
    // each one.
    bool catchSignals = true;
};

class Session {
public:
    Session(Terminal& terminal, const SessionOptions& options);
    ~Session();

    // Lists and opens the ports.
    Outcome open();

    EngineIo& io() { return io_; }
    DeviceInfo& info() { return info_; }
    // The MIDI system and the two ports open, for the history.
    std::string systemName() const { return ports_ ? ports_->systemName() : std::string(); }
    const std::string& outputName() const { return outputName_; }
    const std::string& inputName() const { return inputName_; }
    const Clock& clock() const { return clock_; }
    // As Ctrl-C: the operation stops after the message in flight.
    void cancel() { cancel_ = true; }

    // Shows the outcome of an engine operation and returns the exit status.
    // Reports a failure (none for kOk) and gives the exit status.
    int finish(const Failure& failure);

private:
    const SessionOptions& options_;
    Terminal& terminal_;
    RealClock clock_;
    CancelFlag cancel_{false};
    SysExReceiver receiver_{clock_, cancel_};
    Tracer tracer_;
    std::unique_ptr<AppPorts> ports_;
    // Sends through ports_ once it exists.
    class PortsSender : public SysExSender {
    public:
        explicit PortsSender(std::unique_ptr<AppPorts>& ports) : ports_(ports) {}
        [[nodiscard]] StatusCode sendSysEx(ByteView message) override {
            return ports_ ? ports_->sendSysEx(message) : status::kPortFailure;
        }
        std::string failureText() const override {
            return ports_ ? ports_->failureText() : "No MIDI port is open.";
        }
        size_t maxMessageSize() const override { return ports_ ? ports_->maxMessageSize() : 0; }
        unsigned linkBaud() const override { return ports_ ? ports_->linkBaud() : 0; }
        unsigned missedCycles() const override { return ports_ ? ports_->missedCycles() : 0; }

    private:
        std::unique_ptr<AppPorts>& ports_;
    } portsSender_{ports_};
    TransferMeter meter_;
    // Every message goes out through the meter and the tracer.
    ForwardingSender meteredSender_{portsSender_, [this](ByteView m) { meter_.sent(m); }};
    ForwardingSender sender_{meteredSender_, [this](ByteView m) { tracer_.sent(m); }};
    TerminalProgress progress_;
    TerminalBoxes boxes_;
    EngineIo io_;
    DeviceInfo info_;
    std::string outputName_, inputName_;
    int exit_ = 0;  // as finish() gave it
};

}  // namespace halden::cli

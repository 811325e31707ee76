// MIDI ports on a JACK server (jackd, or PipeWire's JACK service), through libjack
// itself: the ports as JACK names them ("client:port"), our own clients left out.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "transport/jack/jack_client.h"
#include "transport/midi_ports.h"
#include "transport/port_watch.h"
#include "transport/sysex_filter.h"

namespace halden {

class JackPorts : public MidiPorts {
public:
    // `noServer` is what the failure to list says when no server runs.
    JackPorts(Clock& clock, InputSink input, FailureSink failure,
              std::string noServer = "JACK: no server is running");
    ~JackPorts() override;

    Outcome enumeratePorts(PortNames& names) override;
    Outcome openPorts(const Port& input, const Port& output) override {
        return open(&input, &output);
    }
    bool opensOneDirection() const override { return true; }
    Outcome openInput(const Port& input) override { return open(&input, nullptr); }
    Outcome openOutput(const Port& output) override { return open(nullptr, &output); }
    void closePorts() override;
    void watchPorts(std::function<void()> changed) override;
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override;
    std::string failureText() const override;
    std::string systemName() const override { return "JACK"; }
    size_t maxMessageSize() const override;
    unsigned long missedCycles() const override;

    struct Lister;  // the listing's own client
    struct Listing;

private:
    Outcome open(const Port* input, const Port* output);
    void fail(const std::string& why);
    void watch();

    Clock& clock_;
    InputSink input_;
    FailureSink failure_;
    std::string noServer_;
    std::shared_ptr<Lister> lister_;
    // A listing that outlived its deadline, still inside libjack: until it ends,
    // listings fail at once.
    std::shared_ptr<Listing> stuck_;
    std::unique_ptr<JackMidiClient> client_;
    std::string inName_, outName_;  // the peers' ports, as listed
    SysExFilter filter_;
    std::unique_ptr<PortWatch> portWatch_;

    mutable std::mutex mutex_;
    std::string failureText_;
    std::atomic<bool> failed_{false};

    // Watches that the peers' ports still exist.
    std::thread watcher_;
    std::condition_variable watchWake_;
    bool watching_ = false;
};

}  // namespace halden

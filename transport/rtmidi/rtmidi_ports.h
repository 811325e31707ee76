// MIDI ports through RtMidi: JACK on Linux, CoreMIDI on macOS.
#pragma once

#include <RtMidi.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "transport/input_handoff.h"
#include "transport/midi_ports.h"
#include "transport/port_watch.h"
#include "transport/rtmidi/jack_probe.h"
#include "transport/send_thread.h"
#include "transport/sysex_filter.h"

namespace halden {

class RtMidiPorts : public MidiPorts {
public:
    struct Api;  // the chosen system and its listing objects
    // `system` names the MIDI system ("jack", "coremidi"); empty picks the first that can
    // be opened.
    RtMidiPorts(Clock& clock, InputSink input, FailureSink failure, std::string system = {});
    ~RtMidiPorts() override;

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

    // Empty before the first listing.
    std::string systemName() const override;

    // JACK drops longer SysEx messages without a word.
    size_t maxMessageSize() const override;
    unsigned missedCycles() const override { return cycles_ ? cycles_->missed() : 0; }

private:
    // Either may be null: that direction stays closed.
    Outcome open(const Port* input, const Port* output);
    [[nodiscard]] std::string selectSystem();
    void fail(const std::string& why);
    void watch(Api& api);
    void stopWatching();
    static void onInput(double, std::vector<unsigned char>* message, void* self);
    static void onError(RtMidiError::Type type, const std::string& text, void* self);

    InputSink input_;
    FailureSink failure_;
    std::string requested_;
    // The chosen system, with its listing objects; shared with a listing that may still
    // be stuck in the library after its deadline.
    std::shared_ptr<Api> api_;
    // A listing that outlived its deadline, still using the listing objects (which are
    // not safe for two threads): until it ends, listings fail at once.
    struct Listing;
    std::shared_ptr<Listing> stuck_;
    std::unique_ptr<RtMidiIn> in_;
    std::shared_ptr<RtMidiOut> out_;
    std::string inName_, outName_;
    SysExFilter filter_;  // on the handoff's thread
    // Input is taken from the MIDI system's real-time thread through this, while open.
    std::unique_ptr<InputHandoff> handoff_;
    // Until the ports are open, RtMidi's errors are collected here (with an error
    // callback set it throws no more); afterwards they fail the ports.
    std::atomic<bool> opened_{false};
    std::string openError_;

    mutable std::mutex mutex_;
    std::string failureText_;
    std::atomic<bool> failed_{false};

    // Sending: RtMidi may block without end (a JACK server that stopped processing),
    // so messages are handed over on a thread of its own, with a deadline.
    Clock& clock_;
    std::unique_ptr<SendThread> sender_;

    std::unique_ptr<PortWatch> portWatch_;
    std::unique_ptr<jack::CycleWatch> cycles_;  // JACK's, while the ports are open

    // Watches that the open ports still exist.
    std::thread watcher_;
    std::condition_variable watchWake_;
    bool watching_ = false;
};

}  // namespace halden

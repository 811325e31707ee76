// MIDI ports on the ALSA sequencer, through the ALSA library itself: programs' ports and
// cards' ports (through the kernel's MIDI bridge) alike, SysEx of any length.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "transport/alsa/wire_pacer.h"
#include "transport/midi_ports.h"
#include "transport/port_watch.h"
#include "transport/sysex_filter.h"

typedef struct _snd_seq snd_seq_t;

namespace halden {

class AlsaSeqPorts : public MidiPorts {
public:
    AlsaSeqPorts(Clock& clock, InputSink input, FailureSink failure);
    ~AlsaSeqPorts() override;

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
    std::string systemName() const override { return "ALSA"; }
    size_t maxMessageSize() const override;

private:
    struct Peer {
        int client = -1, port = -1;
        std::string name;
    };
    Outcome open(const Port* input, const Port* output);
    void receive();
    void fail(const std::string& why);

    Clock& clock_;
    InputSink input_;
    FailureSink failure_;
    snd_seq_t* list_ = nullptr;  // the listing's own client
    // One client a direction, as every program's: the input one also hears the
    // sequencer's announcements, which tell when a peer goes away.
    snd_seq_t* in_ = nullptr;
    snd_seq_t* out_ = nullptr;
    int inPort_ = -1, outPort_ = -1;
    Peer inPeer_, outPeer_;
    WirePacer pacer_;
    std::mutex pacerMutex_;
    SysExFilter filter_;
    int wake_[2] = {-1, -1};
    std::thread receiver_;
    std::unique_ptr<PortWatch> portWatch_;

    mutable std::mutex mutex_;
    std::string failureText_;
    std::atomic<bool> failed_{false};
};

}  // namespace halden

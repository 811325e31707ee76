// The browser's MIDI ports (Web MIDI), for the page built with emscripten. The page's
// script (webmidi.js) holds the MIDIAccess object; this side lists what it has, opens
// and sends through it. Everything runs on the page's one thread.
#pragma once

#include <string>

#include "transport/midi_ports.h"

namespace halden {

class WebMidiPorts : public MidiPorts {
public:
    // Before the user has been asked for MIDI access the lists are empty, and that is no
    // failure: the page asks when a control first needs the ports.
    Outcome enumeratePorts(PortNames& names) override;
    Outcome openPorts(const Port& input, const Port& output) override;
    void closePorts() override;
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override;
    std::string failureText() const override { return failure_; }
    // Web MIDI takes a whole message in one send() and states no limit.
    size_t maxMessageSize() const override { return SIZE_MAX; }
    std::string systemName() const override { return "Web MIDI"; }

private:
    std::string failure_;
};

}  // namespace halden

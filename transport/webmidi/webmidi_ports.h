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
    // Web MIDI takes a whole message in one send() and states no limit, but the browser
    // hands it to the MIDI system at once, unpaced, and loses what does not fit. Measured
    // with Chromium 156 on the kernel's ALSA sequencer (bench/webmidi_sizes.sh), one
    // send() each of 4096, 4097, 5600, 8192 and 16396 bytes, 4 s apart, in two runs:
    // - to a program's port (`halden simulate`): 4096 and 4097 arrived whole, the longer
    //   ones not at all; in the other run all but 16396 arrived whole;
    // - to a card's port (the virtual raw MIDI device, read on its raw side): 4096 and
    //   5600 arrived whole, 4097, 8192 and 16396 not at all; in the other run 4096 and
    //   4097 arrived whole, the longer ones not at all.
    // Only 4096 arrived every time, on both: a block of 4083 bytes. Longer blocks are
    // refused before the erase.
    static constexpr size_t kMaxMessage = 4096;
    size_t maxMessageSize() const override { return kMaxMessage; }
    std::string systemName() const override { return "Web MIDI"; }

private:
    std::string failure_;
};

}  // namespace halden

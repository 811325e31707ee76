// The platform's own MIDI ports: WinMM on Windows, RtMidi (ALSA, JACK, CoreMIDI)
// elsewhere. Chosen by the build.
#pragma once

#include <memory>
#include <string>

#include "engine/clock.h"
#include "transport/midi_ports.h"

namespace halden {

// `system` forces a MIDI system where there is a choice ("alsa", "jack"); empty picks the
// first that opens. Sends wait on `clock`, which must outlive the ports. The failure
// sink is told once when a port fails, with the text failureText() gives from then on.
std::unique_ptr<MidiPorts> makeSystemPorts(Clock& clock, MidiPorts::InputSink input,
                                           MidiPorts::FailureSink failure,
                                           const std::string& system);

}  // namespace halden

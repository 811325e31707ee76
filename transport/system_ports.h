// The platform's own MIDI ports: WinMM on Windows, RtMidi (ALSA, JACK, CoreMIDI)
// elsewhere. Chosen by the build.
#pragma once

#include <memory>
#include <string>

#include "transport/midi_ports.h"

namespace halden {

// `system` forces a MIDI system where there is a choice ("alsa", "jack"); empty picks the
// first that opens.
std::unique_ptr<MidiPorts> makeSystemPorts(MidiPorts::InputSink input,
                                           MidiPorts::FailureSink failure,
                                           const std::string& system);

}  // namespace halden

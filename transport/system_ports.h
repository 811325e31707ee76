// The platform's own MIDI ports, from the MIDI systems this build holds (midi_systems.h):
// the ALSA sequencer and JACK on Linux, CoreMIDI and JACK on macOS, WinMM on Windows.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "transport/midi_ports.h"

namespace halden {

// `system` forces a MIDI system ("alsa", "jack"), as does the HALDEN_MIDI_SYSTEM
// environment variable when it is empty; else the first available here is taken. Sends wait on
// `clock`, which must outlive the ports. The failure sink is told once when a port fails, with the
// text failureText() gives from then on.
std::unique_ptr<MidiPorts> makeSystemPorts(Clock& clock, MidiPorts::InputSink input,
                                           MidiPorts::FailureSink failure,
                                           const std::string& system);

// The MIDI systems this build holds, by the names `system` above takes ("alsa", "jack",
// "winmm"), whether or not they can be opened here, in the order they are tried.
std::vector<std::string> midiSystemNames();

// Held while a MIDI client is made, opens or closes its ports, or goes, where several
// run in one program: PipeWire's JACK crashed (measured: 1 scan in 5 of three pairs)
// when threads of one process did that at once. Messages go without it.
inline std::mutex& midiClientMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace halden

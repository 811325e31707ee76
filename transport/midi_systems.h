// The MIDI systems a build holds, side by side, and the choice among them. Each backend
// defines its own entry; the platform's midi_systems_*.cpp lists them in the order the
// automatic choice tries them (a list rather than entries that add themselves: a static
// library leaves out objects nothing refers to). The built-in simulator is no entry: it
// is a Halden offered beside the chosen system's ports (app_ports.h), always there, with
// options of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "transport/midi_ports.h"

namespace halden {

struct MidiSystem {
    std::string name;   // as users type it: "alsa"
    std::string label;  // as users read it: "ALSA"
    // Why it cannot be opened here ("no server is running"); empty when it can.
    std::function<std::string()> unavailable;
    // Its ports, unopened. Sends wait on the clock, which must outlive them.
    std::function<std::unique_ptr<MidiPorts>(Clock&, MidiPorts::InputSink, MidiPorts::FailureSink)>
        open;
};

// This build's, in the order of the automatic choice.
const std::vector<MidiSystem>& midiSystems();

// The backends' entries, each defined in its backend's folder; a platform's list names
// those it has.
MidiSystem alsaMidiSystem();
MidiSystem jackMidiSystem();
MidiSystem coreMidiSystem();
MidiSystem winmmMidiSystem();

// The name asked for, lower-cased: `given` (a command line's) unless empty, else
// `environment` (HALDEN_MIDI_SYSTEM's value; may be null).
std::string askedMidiSystem(const std::string& given, const char* environment);
// ... with the HALDEN_MIDI_SYSTEM environment variable.
std::string askedMidiSystem(const std::string& given);

// `asked` as askedMidiSystem() gives it: empty takes the first of `systems` that is
// available here; a name takes that one, available or not (its ports then say why they
// fail). Null when there is none, with `why` saying so.
struct MidiSystemChoice {
    const MidiSystem* system = nullptr;
    std::string why;
};
MidiSystemChoice chooseMidiSystem(const std::vector<MidiSystem>& systems, const std::string& asked);

// The chosen system's ports. When none is chosen, ports whose listing fails with the
// reason, and that choose again at every listing (a MIDI server started after the app)
// until one can be opened. `systems` must outlive them.
std::unique_ptr<MidiPorts> openMidiSystem(const std::vector<MidiSystem>& systems,
                                          const std::string& asked, Clock& clock,
                                          MidiPorts::InputSink input,
                                          MidiPorts::FailureSink failure);

}  // namespace halden

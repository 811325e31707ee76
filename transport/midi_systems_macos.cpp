// macOS: the system's own CoreMIDI, else JACK.
#include "transport/midi_systems.h"

namespace halden {

const std::vector<MidiSystem>& midiSystems() {
    static const std::vector<MidiSystem> systems{coreMidiSystem(), jackMidiSystem()};
    return systems;
}

}  // namespace halden

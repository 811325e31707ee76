// Windows: the multimedia MIDI calls.
#include "transport/midi_systems.h"

namespace halden {

const std::vector<MidiSystem>& midiSystems() {
    static const std::vector<MidiSystem> systems{winmmMidiSystem()};
    return systems;
}

}  // namespace halden

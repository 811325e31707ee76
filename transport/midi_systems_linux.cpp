// Linux: the kernel's ALSA sequencer where the machine has one, else JACK.
#include "transport/midi_systems.h"

namespace halden {

const std::vector<MidiSystem>& midiSystems() {
    static const std::vector<MidiSystem> systems{alsaMidiSystem(), jackMidiSystem()};
    return systems;
}

}  // namespace halden

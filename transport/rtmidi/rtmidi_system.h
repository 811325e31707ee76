// Chooses the MIDI system RtMidi runs on.
#pragma once

#include <RtMidi.h>

#include <optional>
#include <string>

namespace halden {

// The first compiled MIDI system that can be opened (or the one named by `requested`,
// or else by the HALDEN_MIDI_SYSTEM environment variable). Empty when none can be;
// `reasons` then says why.
// The system's name as users know it: RtMidi calls JACK "Jack".
inline std::string systemDisplayName(RtMidi::Api id) {
    return id == RtMidi::UNIX_JACK ? "JACK" : RtMidi::getApiDisplayName(id);
}

[[nodiscard]] std::optional<RtMidi::Api> chooseMidiSystem(std::string requested,
                                                          std::string& reasons);

// Swallows RtMidi's warnings, which it would otherwise print to stderr.
void ignoreRtMidiWarning(RtMidiError::Type, const std::string&, void*);

}  // namespace halden

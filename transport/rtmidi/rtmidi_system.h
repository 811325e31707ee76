// Chooses the MIDI system RtMidi runs on.
#pragma once

#include <RtMidi.h>

#include <optional>
#include <string>

namespace halden {

// The system's name as users know it: RtMidi calls JACK "Jack".
inline std::string systemDisplayName(RtMidi::Api id) {
    return id == RtMidi::UNIX_JACK ? "JACK" : RtMidi::getApiDisplayName(id);
}

// Why RtMidi cannot open `id` here ("no server is running"); empty when it can.
[[nodiscard]] std::string rtMidiUnavailable(RtMidi::Api id);

// The first compiled MIDI system that can be opened, or the one named by `requested`.
// Empty when none can be; `reasons` then says why.
[[nodiscard]] std::optional<RtMidi::Api> chooseRtMidiApi(std::string requested,
                                                         std::string& reasons);

// Swallows RtMidi's warnings, which it would otherwise print to stderr.
void ignoreRtMidiWarning(RtMidiError::Type, const std::string&, void*);

}  // namespace halden

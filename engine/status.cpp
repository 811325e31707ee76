#include "engine/status.h"

#include <array>

namespace halden {

std::string_view statusMessage(StatusCode code) {
    static constexpr std::array<std::string_view, 22> kMessages = {
        "No error",
        "Cannot open file",
        "Update file CRC error",
        "Update file image corrupt",
        "Unknown update file version",
        "Operation canceled",
        "MIDI Response too long",
        "MIDI Response timeout",
        "MIDI Response unknown",
        "Region erase failure",
        "Out of memory",
        "MIDI Reports bad checksum",
        "MIDI Reports bad length",
        "MIDI Reports bad checkcode",
        "MIDI Reports chip programming fault",
        "MIDI Reports device fault (result 5)",
        "MIDI port failure",
        "The Halden's blocks are too long for this MIDI port; nothing was erased",
        "The Halden's block size is too small for an area of this image; nothing was erased",
        "The Halden does not report the new firmware as good",
        "The Halden reports another version after the update than the image holds",
        "The MIDI port is in use by another halden program",
    };
    if (code < kMessages.size()) return kMessages[code];
    return "Unknown error";
}

}  // namespace halden

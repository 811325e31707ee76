// The fixed messages of the status codes, typed here as the user reads them, for tests
// to compare with: a typo in the program's own texts must fail a test.
#pragma once

#include <map>
#include <string>

#include "engine/status.h"

namespace halden::test {

inline const std::map<StatusCode, std::string>& expectedMessages() {
    static const std::map<StatusCode, std::string> messages = {
        {0, "No error"},
        {1, "Cannot open file"},
        {2, "Update file CRC error"},
        {3, "Update file image corrupt"},
        {4, "Unknown update file version"},
        {5, "Operation canceled"},
        {6, "MIDI Response too long"},
        {7, "MIDI Response timeout"},
        {8, "MIDI Response unknown"},
        {9, "Region erase failure"},
        {10, "Out of memory"},
        {11, "MIDI Reports bad checksum"},
        {12, "MIDI Reports bad length"},
        {13, "MIDI Reports bad checkcode"},
        {14, "MIDI Reports chip programming fault"},
        {15, "MIDI Reports device fault (result 5)"},
        {17, "The Halden's blocks are too long for this MIDI port; nothing was erased"},
        {18,
         "The Halden's block size is too small for an area of this image; nothing was "
         "erased"},
        {19, "The Halden does not report the new firmware as good"},
        {20, "The Halden reports another version after the update than the image holds"},
        {21, "The MIDI port is in use by another halden program"},
    };
    return messages;
}

// What follows a failure's own text, after an empty line.
inline const std::string kErased =
    "The Halden's firmware area is now erased and not completely written, so the instrument "
    "needs this update to complete before it works again.";
inline const std::string kErasedByCancel =
    kErased + " Update again with this image to complete it.";
// After a port that went away: the app then closes.
inline const std::string kErasedPortGone =
    kErased +
    " Reconnect the MIDI interface, then update again with this image.\n\nThe program will now "
    "close.";
inline const std::string kNothingChanged =
    "Nothing was changed: the Halden's firmware is as it was.";
inline const std::string kCheckConnection =
    "Check that the two ports chosen are the ones the Halden is connected to, that the MIDI "
    "cables run both ways between the interface and the instrument, and that the instrument "
    "is switched on.";
inline const std::string kNotConfirmed =
    "The whole image was written, but the Halden does not confirm it. Update again with this "
    "image; if this comes back, the image may not be meant for this Halden.";
inline std::string then(const std::string& first, const std::string& next) {
    return first + "\n\n" + next;
}

}  // namespace halden::test

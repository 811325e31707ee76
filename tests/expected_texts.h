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
    };
    return messages;
}

}  // namespace halden::test

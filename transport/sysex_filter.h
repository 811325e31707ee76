// Lets only SysEx through from what a MIDI system delivers a message at a time.
#pragma once

#include "engine/image.h"

namespace halden {

class SysExFilter {
public:
    // The part of `message` that goes on to the receiver (possibly nothing): a message
    // that starts with 0xF0, or the rest of one that the system delivered in pieces.
    // When another message cuts a SysEx off, only its status byte goes on, so that the
    // receiver drops the unfinished body.
    ByteView pass(ByteView message) {
        if (message.empty()) return {};
        const uint8_t first = message.front();
        if (first != 0xF0 && !inSysEx_) return {};
        if (first != 0xF0 && first >= 0x80) {
            inSysEx_ = false;
            return message.first(1);
        }
        inSysEx_ = message.back() != 0xF7;
        return message;
    }
    void reset() { inSysEx_ = false; }

private:
    bool inSysEx_ = false;
};

}  // namespace halden

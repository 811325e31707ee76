// Lets only SysEx through from what a MIDI system delivers a message at a time.
#pragma once

#include <algorithm>

#include "engine/bytes.h"
#include "engine/sysex_decoder.h"

namespace halden {

class SysExFilter {
public:
    // The part of `message` that goes on to the receiver (possibly nothing): a SysEx
    // message, or the rest of one that the system delivered in pieces. When another
    // message cuts a SysEx off, only its status byte goes on, so that the receiver drops
    // the unfinished body.
    ByteView pass(ByteView message) {
        size_t first = message.size();
        size_t last = 0;
        for (size_t i = 0; i < message.size(); ++i) {
            const SysExDecoder::Step step = decoder_.feed(message[i]);
            if (step == SysExDecoder::Step::kOutside) continue;
            first = std::min(first, i);
            last = i + 1;
        }
        return first < last ? message.subspan(first, last - first) : ByteView{};
    }
    void reset() { decoder_.reset(); }

private:
    SysExDecoder decoder_;
};

}  // namespace halden

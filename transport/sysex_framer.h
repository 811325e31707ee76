// Cuts whole SysEx messages out of a raw MIDI byte stream, as a device reading a MIDI
// cable does: real-time bytes inside a message are skipped, any other status byte ends
// an unfinished message, and everything outside SysEx is dropped.
#pragma once

#include <functional>

#include "engine/bytes.h"

namespace halden {

class SysExFramer {
public:
    using OnMessage = std::function<void(ByteView)>;
    explicit SysExFramer(OnMessage onMessage) : onMessage_(std::move(onMessage)) {}

    void feed(ByteView bytes) {
        for (const uint8_t b : bytes) {
            if (b >= 0xF8) continue;  // real time: belongs to no message
            if (b == 0xF0) {
                message_.assign(1, b);
            } else if (message_.empty()) {
                continue;
            } else if (b == 0xF7) {
                message_.push_back(b);
                onMessage_(message_);
                message_.clear();
            } else if (b >= 0x80) {
                message_.clear();
            } else {
                message_.push_back(b);
            }
        }
    }

private:
    OnMessage onMessage_;
    Bytes message_;
};

}  // namespace halden

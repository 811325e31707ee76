// Cuts whole SysEx messages out of a raw MIDI byte stream, as a device reading a MIDI
// cable does: everything outside SysEx is dropped, and so is an unfinished message,
// unless the one who asked wants to see those too.
#pragma once

#include <functional>

#include "engine/bytes.h"
#include "engine/sysex_decoder.h"

namespace halden {

class SysExFramer {
public:
    using OnMessage = std::function<void(ByteView)>;
    explicit SysExFramer(OnMessage onMessage, OnMessage onCutOff = {})
        : onMessage_(std::move(onMessage)), onCutOff_(std::move(onCutOff)) {}

    void feed(ByteView bytes) {
        using Step = SysExDecoder::Step;
        for (const uint8_t b : bytes) {
            const Step step = decoder_.feed(b);
            if ((step == Step::kStart || step == Step::kCutOff) && !message_.empty()) {
                if (onCutOff_) onCutOff_(message_);
                message_.clear();
            }
            if (step == Step::kOutside || step == Step::kCutOff) continue;
            message_.push_back(b);
            if (step == Step::kEnd) {
                onMessage_(message_);
                message_.clear();
            }
        }
    }

private:
    OnMessage onMessage_;
    OnMessage onCutOff_;
    SysExDecoder decoder_;
    Bytes message_;
};

}  // namespace halden

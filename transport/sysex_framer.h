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
        for (const uint8_t b : bytes) {
            switch (decoder_.feed(b)) {
                case SysExDecoder::Step::kOutside:
                    break;
                case SysExDecoder::Step::kStart:
                    cutOff();
                    message_.assign(1, b);
                    break;
                case SysExDecoder::Step::kData:
                    message_.push_back(b);
                    break;
                case SysExDecoder::Step::kEnd:
                    message_.push_back(b);
                    onMessage_(message_);
                    message_.clear();
                    break;
                case SysExDecoder::Step::kCutOff:
                    cutOff();
                    break;
            }
        }
    }

private:
    void cutOff() {
        if (!message_.empty() && onCutOff_) onCutOff_(message_);
        message_.clear();
    }

    OnMessage onMessage_;
    OnMessage onCutOff_;
    SysExDecoder decoder_;
    Bytes message_;
};

}  // namespace halden

// Finds SysEx messages (0xF0 ... 0xF7) in a MIDI byte stream that may come in any
// pieces, one byte at a time. Real-time bytes (0xF8 and up) may stand anywhere, even
// inside a message, and belong to none; any other status byte ends an unfinished
// message, and a new 0xF0 abandons it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halden {

class SysExDecoder {
public:
    enum class Step : uint8_t {
        kOutside,  // the byte belongs to no message
        kStart,    // 0xF0 began a message (one still open was abandoned)
        kData,     // a byte inside the message
        kEnd,      // 0xF7 closed the message
        kCutOff,   // a status byte ended the open message unfinished
    };
    static constexpr size_t kNever = SIZE_MAX;
    // Where 0xF0 and 0xF7 count as data bytes instead (positions count from the 0xF0,
    // which is position 0): the Halden's replies carry any byte as their device number
    // and take 0xF0 as data in their body.
    struct Rules {
        size_t framingIsDataAt = kNever;
        size_t startIsDataFrom = kNever;
    };

    SysExDecoder() = default;
    explicit SysExDecoder(Rules rules) : rules_(rules) {}

    Step feed(uint8_t b) {
        if (b >= 0xF8) return Step::kOutside;
        const bool open = length_ > 0;
        const bool asData =
            open && (b == 0xF0 || b == 0xF7) &&
            (length_ == rules_.framingIsDataAt || (b == 0xF0 && length_ >= rules_.startIsDataFrom));
        if (b < 0x80 || asData) {
            if (!open) return Step::kOutside;
            ++length_;
            return Step::kData;
        }
        if (b == 0xF0) {
            length_ = 1;
            return Step::kStart;
        }
        length_ = 0;
        if (!open) return Step::kOutside;
        return b == 0xF7 ? Step::kEnd : Step::kCutOff;
    }
    // The bytes of the open message so far, its 0xF0 included; 0 outside a message.
    size_t length() const { return length_; }
    void reset() { length_ = 0; }

private:
    Rules rules_;
    size_t length_ = 0;
};

}  // namespace halden

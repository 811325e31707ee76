// Any byte stream into the SysEx receiver, in pieces of any size, while a reader takes
// bodies with any capacity and budget. Every body handed out whole came from one complete
// message with the Halden's header (what the reader was handed can be a message's end
// when the queue overflowed, never bytes of two messages or of a cut-off one), bodies
// come in order, and none is handed out twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

#include "engine/bytes.h"
#include "engine/receiver.h"
#include "fuzz/require.h"
#include "sim/virtual_clock.h"

using namespace halden;

namespace {

// The bodies of the complete messages with the Halden's header in `stream`, in order,
// by the receiver's rules: real-time bytes are not there at all; any other status byte
// but F0 and F7 ends an unfinished message, which is then dropped; F0 and F7 in the
// header start the match again; F0 inside a body is a data byte.
std::vector<Bytes> completeBodies(const Bytes& stream) {
    std::vector<Bytes> bodies;
    int state = 0;
    Bytes body;
    for (uint8_t b : stream) {
        if (b >= 0xF8) continue;
        if (b >= 0x80 && b != 0xF0 && b != 0xF7) {
            state = 0;
            continue;
        }
        bool again = true;
        while (again) {
            again = false;
            switch (state) {
                case 0:
                    if (b == 0xF0) state = 1;
                    break;
                case 1:
                    state = b == 0x41 ? 2 : 0;
                    again = state == 0;
                    break;
                case 2:
                    state = 3;
                    break;
                case 3:
                    state = b == 0x4B ? 4 : 0;
                    again = state == 0;
                    break;
                case 4:
                    state = b == 0x39 ? 5 : 0;
                    again = state == 0;
                    body.clear();
                    break;
                case 5:
                    if (b == 0xF7) {
                        bodies.push_back(body);
                        state = 0;
                    } else {
                        body.push_back(b);
                    }
                    break;
            }
        }
    }
    return bodies;
}

bool endsWith(const Bytes& whole, const Bytes& part) {
    return part.size() <= whole.size() && std::equal(part.rbegin(), part.rend(), whole.rbegin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver(clock, cancel);
    Bytes stream;
    std::vector<Bytes> handedOut;  // whole bodies (result 0), in order
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0: {  // raw bytes
                const Bytes piece =
                    in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 80));
                receiver.feed(piece);
                stream.insert(stream.end(), piece.begin(), piece.end());
                break;
            }
            case 1: {  // a Halden message, with any body and any device number
                Bytes m{0xF0, 0x41, in.ConsumeIntegral<uint8_t>(), 0x4B, 0x39};
                const Bytes body =
                    in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 70));
                for (uint8_t b : body) m.push_back(b & 0x7F);
                if (in.ConsumeBool()) m.push_back(0xF7);
                // fed in pieces
                size_t at = 0;
                while (at < m.size()) {
                    const size_t n =
                        std::min(m.size() - at, in.ConsumeIntegralInRange<size_t>(1, 16));
                    receiver.feed(ByteView(m.data() + at, n));
                    at += n;
                }
                stream.insert(stream.end(), m.begin(), m.end());
                break;
            }
            default: {  // the reader
                const size_t capacity = in.ConsumeIntegralInRange<size_t>(1, 80);
                const unsigned polls = in.ConsumeIntegralInRange<unsigned>(1, 120);
                std::vector<uint8_t> buffer(capacity);
                size_t count = 0;
                const StatusCode rc = receiver.readResponse(buffer.data(), capacity, &count, polls);
                HALDEN_REQUIRE(rc == 0 || rc == 6 || rc == 7);
                HALDEN_REQUIRE(count <= capacity);
                if (rc == 6) HALDEN_REQUIRE(count == capacity);
                if (rc == 0) {
                    HALDEN_REQUIRE(count < capacity);
                    handedOut.emplace_back(buffer.begin(),
                                           buffer.begin() + static_cast<long>(count));
                }
                break;
            }
        }
    }
    // Match every whole body handed out to a complete message, in order, each message
    // at most once.
    const std::vector<Bytes> complete = completeBodies(stream);
    size_t next = 0;
    for (const Bytes& body : handedOut) {
        while (next < complete.size() && !endsWith(complete[next], body)) ++next;
        HALDEN_REQUIRE(next < complete.size());
        ++next;
    }
    return 0;
}

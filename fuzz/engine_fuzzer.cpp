// A whole update of a fixed image against a Halden whose every reply (whether it comes,
// when, and its bytes) is drawn from the fuzz input, on virtual time. The engine must end
// with a code of the status table; must send nothing after a Cancel or a failed send; must
// send an area's blocks only after that area's erase was answered with success, in
// order, each with its own data and checksum, the closing block last; and a result of 0
// means all of it went out and the identity was read back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "engine/protocol.h"
#include "engine/update.h"
#include "fuzz/require.h"
#include "sim/virtual_clock.h"

using namespace halden;

namespace {

// The progress window: one at a time, and none left open. (Closing one that is not open
// does nothing, as the progress window's close does.)
class QuietProgress : public Progress {
public:
    void open() override {
        HALDEN_REQUIRE(!isOpen);
        isOpen = true;
    }
    void set(std::string_view, int) override {}
    void close() override { isOpen = false; }
    bool isOpen = false;
};

class FuzzedBoxes : public MessageBoxes {
public:
    explicit FuzzedBoxes(FuzzedDataProvider& in) : in_(in) {}
    void errorBox(std::string_view) override {}
    bool askYesNo(std::string_view) override {
        return in_.remaining_bytes() == 0 || in_.ConsumeBool();
    }
    void noticeBox(std::string_view) override {}
    void fatalBox(std::string_view) override {}

private:
    FuzzedDataProvider& in_;
};

Bytes theArea() {
    Bytes data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7 + 3) & 0x7F);
    return data;
}

Bytes theImage() {
    ImageBuilder builder;
    HALDEN_REQUIRE(builder.addControl(1).ok());
    HALDEN_REQUIRE(builder.addDelay(1).ok());
    HALDEN_REQUIRE(builder.addArea(theArea(), 1, 4).ok());  // the version the Halden reports
    return builder.finish();
}

// The device: for every request, the fuzz input says whether the send fails, whether
// Cancel comes with it, and what comes back and when. Once the input is used up it
// answers as a good Halden would.
class FuzzedHalden : public SysExSender {
public:
    FuzzedHalden(FuzzedDataProvider& in, VirtualClock& clock, SysExReceiver& receiver,
                 CancelFlag& cancel)
        : in_(in), clock_(clock), receiver_(receiver), cancel_(cancel) {}

    StatusCode sendSysEx(ByteView message) override {
        HALDEN_REQUIRE(!stopped);  // nothing after a Cancel or a failed send
        const Bytes m(message.begin(), message.end());
        HALDEN_REQUIRE(m.size() >= 7 && m[0] == 0xF0 && m.back() == 0xF7);
        if (draw(0, 63) == 0) {
            stopped = true;
            return status::kPortFailure;
        }
        if (draw(0, 63) == 0) {
            cancel_ = true;
            stopped = true;
        }
        sent.push_back(m);
        const Clock::Duration delay = std::chrono::milliseconds(10 * draw(0, 255));
        Bytes reply;
        switch (draw(0, 7)) {
            case 0:  // silence
                return status::kOk;
            case 1: {  // anything at all
                reply = in_.ConsumeBytes<uint8_t>(draw(0, 40));
                break;
            }
            case 2:  // a Halden reply of any command and result
                reply = protocol::frame(Bytes{static_cast<uint8_t>(0x10 + draw(0, 7)),
                                              static_cast<uint8_t>(draw(0, 9))});
                break;
            default:
                reply = goodReply(m);
                if (draw(0, 3) == 0 && !reply.empty())
                    reply.insert(reply.begin() + draw(1, 6), 0xF8);
                break;
        }
        clock_.at(clock_.now() + delay, [this, reply] {
            delivered.push_back({sent.size(), reply});
            receiver_.feed(reply);
        });
        return status::kOk;
    }
    std::string failureText() const override { return "fuzzed failure"; }
    size_t maxMessageSize() const override { return SIZE_MAX; }

    std::vector<Bytes> sent;
    bool stopped = false;
    // What reached the host, and how many requests had been sent by then.
    struct Delivery {
        size_t sentBefore;
        Bytes bytes;
    };
    std::vector<Delivery> delivered;

private:
    unsigned draw(unsigned low, unsigned high) {
        return in_.remaining_bytes() == 0 ? low : in_.ConsumeIntegralInRange(low, high);
    }

    Bytes goodReply(const Bytes& m) {
        using namespace protocol;
        const std::optional<ByteView> body = unframe(m);
        if (!body || body->empty()) return {};
        switch ((*body)[0]) {
            case kControlRequest:
                return requestArgument(*body) == kHandshakeCode
                           ? frame(controlReply(kHandshakeCode))
                           : Bytes{};
            case kIdentityRequest: {
                IdentityReply identity;
                identity.imageStatus = draw(0, 1) == 0 ? 0 : draw(0, 127);
                identity.versionMajor = 1, identity.versionMinor = 4;
                identity.blockSize = static_cast<uint16_t>(draw(0, 15) == 0 ? draw(0, 400) : 128);
                return frame(identityReply(identity));
            }
            case kEraseRequest:
                return frame(eraseReply(static_cast<uint8_t>(draw(0, 7) == 0 ? draw(0, 3) : 0)));
            case kBlockWrite:
                return frame(blockReply(static_cast<uint8_t>(draw(0, 7) == 0 ? draw(0, 9) : 0)));
            default:
                return {};
        }
    }

    FuzzedDataProvider& in_;
    VirtualClock& clock_;
    SysExReceiver& receiver_;
    CancelFlag& cancel_;
};

// Whether `bytes` hold an erase reply with result 0 (d1 0, or no d1), real-time bytes
// left out as the receiver leaves them out.
bool holdsEraseSuccess(const Bytes& bytes) {
    Bytes b;
    for (uint8_t x : bytes)
        if (x < 0xF8) b.push_back(x);
    for (size_t i = 0; i + 6 < b.size() + 1; ++i) {
        if (b[i] == 0xF0 && i + 6 < b.size() && b[i + 1] == 0x41 && b[i + 3] == 0x4B &&
            b[i + 4] == 0x39 && b[i + 5] == 0x14 &&
            (b[i + 6] == 0xF7 || (b[i + 6] == 0x00 && i + 7 < b.size()))) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    VirtualClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver(clock, cancel);
    FuzzedHalden halden(in, clock, receiver, cancel);
    QuietProgress progress;
    FuzzedBoxes boxes(in);
    EngineIo io{halden, receiver, progress, boxes, cancel, clock};
    DeviceInfo info;
    const Bytes image = theImage();
    const StatusCode rc = runUpdate(io, image, info);

    // Every status an update can end in; 16 is a port that failed, 17 and 18 refusals.
    HALDEN_REQUIRE(rc <= 20 && rc != 1 && rc != 2 && rc != 3 && rc != 4 && rc != 10);
    HALDEN_REQUIRE(!progress.isOpen);
    if (cancel) HALDEN_REQUIRE(rc == 5 || rc == 16);

    // The blocks: only after an erase that was answered with success, then in order,
    // each with its data and checksum, the closing block last.
    const Bytes area = theArea();
    size_t written = 0;
    unsigned expectedNumber = 0;
    bool inArea = false, closed = false;
    for (size_t i = 0; i < halden.sent.size(); ++i) {
        const Bytes& m = halden.sent[i];
        if (m[5] == 0x13) {
            inArea = false;
            continue;
        }
        if (m[5] != 0x15) continue;
        if (!inArea) {
            // An erase reply with success reached the host after the last erase request
            // and before this block.
            size_t erase = i;
            while (erase > 0 && halden.sent[erase - 1][5] != 0x13) --erase;
            HALDEN_REQUIRE(erase > 0);
            Bytes between;
            for (const auto& d : halden.delivered) {
                if (d.sentBefore >= erase && d.sentBefore <= i) {
                    between.insert(between.end(), d.bytes.begin(), d.bytes.end());
                }
            }
            HALDEN_REQUIRE(holdsEraseSuccess(between));
            inArea = true;
            written = 0;
            expectedNumber = 0;
            closed = false;
        }
        HALDEN_REQUIRE(!closed);
        HALDEN_REQUIRE(static_cast<unsigned>((m[6] << 7) | m[7]) == expectedNumber);
        const size_t n = (m[8] << 7) | m[9];
        HALDEN_REQUIRE(m.size() == 13 + n);
        HALDEN_REQUIRE(written + n <= area.size());
        HALDEN_REQUIRE(std::equal(m.begin() + 10, m.begin() + 10 + static_cast<long>(n),
                                  area.begin() + static_cast<long>(written)));
        HALDEN_REQUIRE(blockWrite(static_cast<uint16_t>(expectedNumber),
                                  ByteView(area.data() + written, n)) == m);
        closed = n == 0;
        if (closed) HALDEN_REQUIRE(written == area.size());
        written += n;
        ++expectedNumber;
    }
    // Success, and an update the Halden did not prove (19, 20): only once the area was
    // written and closed and the identity was read back after it.
    if (rc == 0 || isUnproven(rc)) {
        HALDEN_REQUIRE(closed);
        HALDEN_REQUIRE(halden.sent.back()[5] == 0x11);
    }
    return 0;
}

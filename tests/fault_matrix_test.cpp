// Every step of an update against every fault a cable or a Halden can bring, on virtual
// time: the status code, nothing sent after the failure, the progress
// window closed, whether an erase was tried, and what the simulated Halden holds at the end.
#include <gtest/gtest.h>

#include <sstream>

#include "rig.h"

namespace halden {
namespace {

// The columns of the rows below. "result N": the reply carries device result N in d1.
const std::string kFaults[] = {"silence",  "wrong kind", "result 1", "result 2",  "result 3",
                               "result 4", "result 5",   "result 6", "result 9",  "flood",
                               "realtime", "cut off",    "cancel",   "port fails"};

// The update: a control record, a delay, a skip and a 300-byte area for version 2.3
// (blocks 0, 1 and 2 of 128, 128 and 44 bytes, then the closing block 3).
Bytes theImage() {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addControl(1).ok());
    EXPECT_TRUE(builder.addDelay(2).ok());
    builder.addSkip();
    EXPECT_TRUE(builder.addArea(test::ascending(300, 2)).ok());
    return builder.finish();
}

bool isBlock(const Bytes& m, unsigned number, bool closing) {
    const auto block = protocol::decodeBlockWrite(test::bodyOf(m));
    return block && block->number == number && block->payload.empty() == closing;
}
bool isRequest(const Bytes& m, uint8_t command, std::optional<uint8_t> argument = {}) {
    const ByteView body = test::bodyOf(m);
    return body[0] == command && (!argument || protocol::requestArgument(body) == argument);
}

struct Step {
    const char* name;
    // Whether a message is this step's request, given the identity requests sent before it;
    // empty for the delay, which sends none.
    std::function<bool(const Bytes& message, size_t identityRequestsBefore)> matches;
    // The outcome of each fault, in the order of kFaults: the status code, and what the
    // Halden holds: N untouched, E erased and not closed, U updated; "-" where the fault
    // cannot happen at this step.
    const char* codes;
    const char* holds;
};

const Step kSteps[] = {
    {"handshake", [](const Bytes& m, size_t) { return isRequest(m, 0x10, 2); },
     //  sil wrong r1 r2 r3 r4 r5 r6 r9 flood rt cut cancel port
     "     0  0   0  0  0  0  0  0  0  0    0  0   5      16",
     "     U  U   U  U  U  U  U  U  U  U    U  U   N      N"},
    {"identity", [](const Bytes& m, size_t ids) { return isRequest(m, 0x11) && ids == 0; },
     "     7  7   0  0  0  0  0  0  0  0    0  7   5      16",
     "     N  N   U  U  U  U  U  U  U  U    U  N   N      N"},
    {"control record", [](const Bytes& m, size_t) { return isRequest(m, 0x10, 1); },
     "     -  -   -  -  -  -  -  -  -  -    -  -   5      16",
     "     -  -   -  -  -  -  -  -  -  -    -  -   N      N"},
    {"delay record", nullptr, "     -  -   -  -  -  -  -  -  -  -    -  -   5      -",
     "     -  -   -  -  -  -  -  -  -  -    -  -   N      -"},
    {"erase", [](const Bytes& m, size_t) { return isRequest(m, 0x13); },
     "     7  7   9  8  8  8  8  8  8  0    0  7   5      16",
     "     E  E   E  E  E  E  E  E  E  U    U  E   E      N"},
    {"first block", [](const Bytes& m, size_t) { return isBlock(m, 0, false); },
     "     7  8  11 12 13  8 15 14  8  0    0  7   5      16",
     "     E  E   E  E  E  E  E  E  E  U    U  E   E      E"},
    {"middle block", [](const Bytes& m, size_t) { return isBlock(m, 1, false); },
     "     7  8  11 12 13  8 15 14  8  0    0  7   5      16",
     "     E  E   E  E  E  E  E  E  E  U    U  E   E      E"},
    {"closing block", [](const Bytes& m, size_t) { return isBlock(m, 3, true); },
     "     7  8  11 12 13  8 15 14  8  0    0  7   5      16",
     "     U  U   U  U  U  U  U  U  U  U    U  U   U      E"},
    {"read-back", [](const Bytes& m, size_t ids) { return isRequest(m, 0x11) && ids == 1; },
     "     0  0  19 19 19 19 19 19 19  0    0  0   5      16",
     "     U  U   U  U  U  U  U  U  U  U    U  U   U      U"},
};

void PrintTo(const Step& step, std::ostream* out) {
    *out << step.name;
}

std::vector<std::string> columns(const char* row) {
    std::istringstream in(row);
    std::vector<std::string> cells;
    for (std::string cell; in >> cell;) cells.push_back(cell);
    return cells;
}

// The engine and the simulated Halden with a fault between them, at one request.
struct FaultRig : test::Rig {
    FaultRig(const Step& step, const std::string& fault) : step_(step), fault_(fault) {
        info.serialText = "before";
        cancel = true;  // left from before: connecting clears it
        link.onSend = [this](ByteView m) { return atSend(Bytes(m.begin(), m.end())); };
        toHost = [this](ByteView b) { deliver(b); };
    }

    StatusCode run() { return runUpdate(io, theImage(), info, done); }

    StatusCode atSend(const Bytes& m) {
        ++attempts;
        eraseTried = eraseTried || isRequest(m, 0x13);
        if (!faultedAt && step_.matches && step_.matches(m, countSent(0x11))) {
            faultedAt = attempts;
            if (fault_ == "port fails") return status::kPortFailure;
            cancel = cancel || fault_ == "cancel";
            armed_ = !cancel;  // the reply to this request
        }
        return status::kOk;
    }

    // Bytes from the Halden to the host.
    void deliver(ByteView bytes) {
        Bytes reply(bytes.begin(), bytes.end());
        if (std::exchange(armed_, false)) {
            if (fault_ == "silence") return;
            if (fault_ == "wrong kind") reply[5] = reply[5] == 0x16 ? 0x14 : 0x16;
            if (fault_ == "flood") {
                for (int i = 0; i < 60; ++i) {
                    receiver.feed(Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x01, 0xF7});
                    receiver.feed(Bytes{0x90, 0x3C, 0x40});
                }
            }
            if (fault_ == "realtime") {
                reply.clear();
                for (uint8_t b : bytes) reply.insert(reply.end(), {b, 0xF8});
            }
            if (fault_ == "cut off") {
                reply.resize(reply.size() / 2);
                reply.push_back(0x90);  // a note-on cuts it off; the rest never comes
            }
            if (fault_.starts_with("result ")) {
                if (reply.size() < 8) reply.insert(reply.end() - 1, 0);
                reply[6] = static_cast<uint8_t>(std::stoi(fault_.substr(7)));
            }
        }
        receiver.feed(reply);
    }

    const Step& step_;
    std::string fault_;
    bool armed_ = false;
    size_t attempts = 0;              // sends the engine made (link.sent: those that went)
    std::optional<size_t> faultedAt;  // the attempt at which the fault came
    bool eraseTried = false;
    UpdateProgress done;
};

class FaultMatrix : public testing::TestWithParam<Step> {};

TEST_P(FaultMatrix, EveryFaultAtThisStep) {
    const Step& step = GetParam();
    const auto codes = columns(step.codes), holds = columns(step.holds);
    ASSERT_EQ(codes.size(), std::size(kFaults));
    ASSERT_EQ(holds.size(), std::size(kFaults));
    for (size_t f = 0; f < std::size(kFaults); ++f) {
        if (codes[f] == "-") continue;
        SCOPED_TRACE(std::string(step.name) + ", " + kFaults[f]);
        FaultRig rig(step, kFaults[f]);
        if (!step.matches) {  // the delay: Cancel while it runs
            rig.progress.onSet = [&](std::string_view caption, int percent) {
                if (caption == "Delaying..." && percent == 50) rig.cancel = true;
            };
        }
        const StatusCode expected = static_cast<StatusCode>(std::stoul(codes[f]));
        const StatusCode rc = rig.run();
        EXPECT_EQ(rc, expected);
        // The fault came, and after a failure nothing more was sent.
        EXPECT_EQ(rig.faultedAt.has_value(), step.matches != nullptr);
        if (expected != 0 && rig.faultedAt) {
            EXPECT_EQ(rig.attempts, *rig.faultedAt);
        }
        if (!step.matches) {  // the delay: the control record was last, the bar full
            EXPECT_EQ(rig.link.sent.back(), controlRequest(1));
            EXPECT_EQ(rig.progress.percents("Delaying...").back(), 100);
        }
        EXPECT_EQ(rig.done.erased, rig.eraseTried);
        if (rc == 0 || step.name == std::string("handshake")) {  // a failed handshake keeps it
            EXPECT_EQ(rig.info.serialText, rc == 0 ? "000a7f100102" : "before");
        }
        // The progress window is closed.
        const auto& ev = rig.progress.events;
        EXPECT_EQ(std::count(ev.begin(), ev.end(), test::ProgressEvent{"open"}),
                  std::count(ev.begin(), ev.end(), test::ProgressEvent{"close"}));
        ASSERT_FALSE(ev.empty());
        EXPECT_EQ(ev.back(), test::ProgressEvent{"close"});
        // What the Halden holds.
        const auto held =
            std::tuple(rig.halden.imageStatus(), rig.halden.version(), rig.halden.memory());
        if (holds[f] == "E") {
            EXPECT_NE(rig.halden.imageStatus(), 0);
        } else if (holds[f] == "N") {
            EXPECT_EQ(held, std::tuple(0, Version{1, 4}, Bytes{}));
        } else {
            EXPECT_EQ(holds[f], "U");
            EXPECT_EQ(held, std::tuple(0, Version{2, 3}, test::ascending(300, 2)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, FaultMatrix, testing::ValuesIn(kSteps), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

}  // namespace
}  // namespace halden

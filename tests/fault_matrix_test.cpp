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

// Every message of the update, in order, when nothing goes wrong.
std::vector<Bytes> theMessages() {
    const Bytes data = test::ascending(300, 2);
    const ByteView d(data);
    return {controlRequest(2),
            identityRequest(),
            controlRequest(1),
            eraseRequest(0),
            blockWrite(0, d.first(128)),
            blockWrite(1, d.subspan(128, 128)),
            blockWrite(2, d.subspan(256)),
            blockWrite(3, {}),
            identityRequest()};
}

// A step, its message's place in theMessages() (-1: the delay, which sends none), and
// the outcome of each fault, in the order of kFaults: the status code and what the Halden
// holds: N untouched, E erased and not closed, U updated; "-" where the fault cannot
// happen at this step.
const char* const kSteps[] = {
    //             at sil wrong r1  r2  r3  r4  r5  r6  r9 flood rt cut cancel port
    "handshake      0  0U  0U  0U  0U  0U  0U  0U  0U  0U  0U  0U  0U  5N 16N",
    "identity       1  7N  7N  0U  0U  0U  0U  0U  0U  0U  0U  0U  7N  5N 16N",
    "controlRecord  2   -   -   -   -   -   -   -   -   -   -   -   -  5N 16N",
    "delayRecord   -1   -   -   -   -   -   -   -   -   -   -   -   -  5N   -",
    "erase          3  7E  7E  9E  8E  8E  8E  8E  8E  8E  0U  0U  7E  5E 16N",
    "firstBlock     4  7E  8E 11E 12E 13E  8E 15E 14E  8E  0U  0U  7E  5E 16E",
    "middleBlock    5  7E  8E 11E 12E 13E  8E 15E 14E  8E  0U  0U  7E  5E 16E",
    "closingBlock   7  7U  8U 11U 12U 13U  8U 15U 14U  8U  0U  0U  7U  5U 16E",
    "readBack       8  0U  0U 19U 19U 19U 19U 19U 19U 19U  0U  0U  0U  5U 16U",
};

std::vector<std::string> columns(const char* row) {
    std::istringstream in(row);
    std::vector<std::string> cells;
    for (std::string cell; in >> cell;) cells.push_back(cell);
    return cells;
}

// The engine and the simulated Halden with a fault between them, at one request.
struct FaultRig : test::Rig {
    FaultRig(int at, const std::string& fault) : at_(at), fault_(fault) {
        info.serialText = "before";
        cancel = true;  // left from before: connecting clears it
        link.onSend = [this](ByteView m) { return atSend(Bytes(m.begin(), m.end())); };
        toHost = [this](ByteView b) { deliver(b); };
    }

    StatusCode run() { return runUpdate(io, theImage(), info, done); }

    StatusCode atSend(const Bytes& m) {
        ++attempts;
        eraseTried = eraseTried || test::bodyOf(m)[0] == 0x13;
        if (!faultedAt && attempts == static_cast<size_t>(at_ + 1)) {
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

    int at_;
    std::string fault_;
    bool armed_ = false;
    size_t attempts = 0;              // sends the engine made (link.sent: those that went)
    std::optional<size_t> faultedAt;  // the attempt at which the fault came
    bool eraseTried = false;
    UpdateProgress done;
};

class FaultMatrix : public testing::TestWithParam<const char*> {};

TEST_P(FaultMatrix, EveryFaultAtThisStep) {
    const auto row = columns(GetParam());
    ASSERT_EQ(row.size(), 2 + std::size(kFaults));
    const std::string& step = row[0];
    const int at = std::stoi(row[1]);
    FaultRig clean(at, "none");  // the messages the faults below come at
    ASSERT_EQ(clean.run(), 0u);
    ASSERT_EQ(clean.link.sent, theMessages());
    for (size_t f = 0; f < std::size(kFaults); ++f) {
        const std::string& cell = row[2 + f];
        if (cell == "-") continue;
        SCOPED_TRACE(step + ", " + kFaults[f]);
        FaultRig rig(at, kFaults[f]);
        if (at < 0) {  // the delay: Cancel while it runs
            rig.progress.onSet = [&](std::string_view caption, int percent) {
                if (caption == "Delaying..." && percent == 50) rig.cancel = true;
            };
        }
        const StatusCode expected = static_cast<StatusCode>(std::stoul(cell));
        const char holds = cell.back();
        const StatusCode rc = rig.run();
        EXPECT_EQ(rc, expected);
        // The fault came, and after a failure nothing more was sent.
        EXPECT_EQ(rig.faultedAt.has_value(), at >= 0);
        if (expected != 0 && rig.faultedAt) {
            EXPECT_EQ(rig.attempts, *rig.faultedAt);
        }
        if (at < 0) {  // the delay: the control record was last, the bar full
            EXPECT_EQ(rig.link.sent.back(), controlRequest(1));
            EXPECT_EQ(rig.progress.percents("Delaying...").back(), 100);
        }
        EXPECT_EQ(rig.done.erased, rig.eraseTried);
        if (rc == 0 || step == "handshake") {  // a failed handshake keeps it
            EXPECT_EQ(rig.info.serialText, rc == 0 ? "000a7f100102" : "before");
        }
        EXPECT_GT(rig.progress.openings(), 0);  // and the progress window is closed
        // What the Halden holds.
        const auto held =
            std::tuple(rig.halden.imageStatus(), rig.halden.version(), rig.halden.memory());
        if (holds == 'E') {
            EXPECT_NE(rig.halden.imageStatus(), 0);
        } else if (holds == 'N') {
            EXPECT_EQ(held, std::tuple(0, Version{1, 4}, Bytes{}));
        } else {
            EXPECT_EQ(holds, 'U');
            EXPECT_EQ(held, std::tuple(0, Version{2, 3}, test::ascending(300, 2)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, FaultMatrix, testing::ValuesIn(kSteps),
                         [](const auto& info) { return columns(info.param)[0]; });

}  // namespace
}  // namespace halden

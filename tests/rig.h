// A simulated Halden wired to the engine on virtual time, with recording stand-ins
// for the progress window and the message boxes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/device.h"
#include "engine/estimate.h"
#include "engine/update.h"
#include "sim/halden_sim.h"
#include "sim/sim_link.h"
#include "sim/virtual_clock.h"

namespace halden::test {

struct ProgressEvent {
    std::string what;  // "open", "close" or the caption
    int percent = -1;
    bool operator==(const ProgressEvent&) const = default;
};

class RecordingProgress : public Progress {
public:
    void open() override { events.push_back({"open"}); }
    void set(std::string_view caption, int percent) override {
        events.push_back({std::string(caption), percent});
        if (onSet) onSet(caption, percent);
    }
    void close() override { events.push_back({"close"}); }
    void planned(const UpdatePlan& p) override {
        events.push_back({"planned"});
        plans.push_back(p);
        if (onPlanned) onPlanned();
    }

    // Percentages set with this caption, in order.
    std::vector<int> percents(std::string_view caption) const {
        std::vector<int> out;
        for (const auto& e : events)
            if (e.what == caption) out.push_back(e.percent);
        return out;
    }

    // How often the window was opened, when it ends closed, once for each opening (else -1).
    std::ptrdiff_t openings() const {
        const auto opened = std::ranges::count(events, ProgressEvent{"open"});
        const bool closed = !events.empty() && events.back() == ProgressEvent{"close"};
        return closed && std::ranges::count(events, ProgressEvent{"close"}) == opened ? opened : -1;
    }

    std::vector<ProgressEvent> events;
    std::vector<UpdatePlan> plans;
    std::function<void(std::string_view, int)> onSet;
    std::function<void()> onPlanned;
};

class ScriptedBoxes : public MessageBoxes {
public:
    void errorBox(std::string_view text) override { errors.emplace_back(text); }
    bool askYesNo(std::string_view text) override {
        questions.emplace_back(text);
        return answer;
    }
    void noticeBox(std::string_view text) override { notices.emplace_back(text); }
    void fatalBox(std::string_view text) override { fatals.emplace_back(text); }

    bool answer = false;
    std::vector<std::string> errors, questions, notices, fatals;
};

// Records what was sent and when; can be told to fail from the N-th send on.
class RecordingLink : public ForwardingSender {
public:
    RecordingLink(Clock& clock, SysExSender& inner) : ForwardingSender(inner), clock_(clock) {}
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override {
        if (failFrom && sent.size() + 1 >= failFrom) return status::kPortFailure;
        if (StatusCode rc = onSend ? onSend(message) : status::kOk) return rc;
        sent.emplace_back(message.begin(), message.end());
        times.push_back(clock_.now());
        missed += missing;
        return ForwardingSender::sendSysEx(message);
    }
    std::string failureText() const override { return "link unplugged"; }
    size_t maxMessageSize() const override { return maxMessage; }
    unsigned missedCycles() const override { return missed; }

    std::vector<Bytes> sent;
    unsigned missed = 0;  // grows by one at every send when `missing`
    bool missing = false;
    size_t maxMessage = SIZE_MAX;
    std::vector<Clock::Duration> times;
    size_t failFrom = 0;                         // 0: never
    std::function<StatusCode(ByteView)> onSend;  // sees each message first; a failure stops it

private:
    Clock& clock_;
};

// The body of a message sent (command first).
inline ByteView bodyOf(const Bytes& message) {
    return protocol::unframe(message).value();
}

struct Rig {
    explicit Rig(SimOptions options = {})
        : halden(options, clock, clock,
                 [this](ByteView b) { toHost ? toHost(b) : receiver.feed(b); }),
          simLink(clock, halden),
          link(clock, simLink) {}
    // The simulated Halden's options: the defaults, as `set` changes them.
    explicit Rig(const std::function<void(SimOptions&)>& set) : Rig(with(set)) {}

    static SimOptions with(const std::function<void(SimOptions&)>& set) {
        SimOptions options;
        set(options);
        return options;
    }

    // Commands of the messages sent so far, in order.
    std::vector<uint8_t> sentCommands() const {
        std::vector<uint8_t> out;
        for (const auto& m : link.sent) out.push_back(bodyOf(m)[0]);
        return out;
    }
    size_t countSent(uint8_t command) const { return std::ranges::count(sentCommands(), command); }

    VirtualClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver{clock, cancel};
    std::function<void(ByteView)> toHost;  // when set, the Halden's bytes go there instead
    SimulatedHalden halden;
    SimLink simLink;
    RecordingLink link;
    RecordingProgress progress;
    ScriptedBoxes boxes;
    EngineIo io{link, receiver, progress, boxes, cancel, clock};
    DeviceInfo info;
};

// Waits for another thread to get somewhere; a deadline only so that a fault fails the
// test instead of hanging it.
inline bool eventually(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < giveUp) std::this_thread::yield();
    return done();
}

inline Bytes ascending(size_t n, uint8_t first = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((first + i) & 0x7F);
    return b;
}

inline Bytes imageWithArea(const Bytes& data, uint8_t major = kNeverAskVersion,
                           uint8_t minor = kNeverAskVersion) {
    ImageBuilder builder;
    EXPECT_TRUE(builder.addArea(data, major, minor).ok());
    return builder.finish();
}

}  // namespace halden::test

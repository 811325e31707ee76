// What the engine needs from the world, each behind a small interface that the front
// end (or a test) supplies.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/clock.h"
#include "engine/image.h"
#include "engine/receiver.h"
#include "engine/status.h"

namespace halden {

struct UpdatePlan;

// Sends one complete SysEx message (0xF0 ... 0xF7). Returns 0, or kPortFailure when
// the port failed; failureText() then says why.
class SysExSender {
public:
    virtual ~SysExSender() = default;
    [[nodiscard]] virtual StatusCode sendSysEx(ByteView message) = 0;
    virtual std::string failureText() const = 0;
    // The longest message, in bytes, that this port carries whole. An update whose
    // blocks would need longer messages is refused before anything is erased.
    virtual size_t maxMessageSize() const = 0;
    // The link's speed in baud where the port knows it (a MIDI cable: 31250), else 0.
    virtual unsigned linkBaud() const { return 0; }
    // How many processing cycles a MIDI server that works in cycles (JACK) has missed
    // since the port opened, a count that only grows; 0 where there are none or no one
    // can tell. A message may be lost in a missed cycle.
    virtual unsigned missedCycles() const { return 0; }
};

// Hands every message on to another sender once `onSend` has seen it; all the rest is
// the other's.
class ForwardingSender : public SysExSender {
public:
    using OnSend = std::function<void(ByteView)>;
    explicit ForwardingSender(SysExSender& inner, OnSend onSend = {})
        : inner_(inner), onSend_(std::move(onSend)) {}
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override {
        if (onSend_) onSend_(message);
        return inner_.sendSysEx(message);
    }
    std::string failureText() const override { return inner_.failureText(); }
    size_t maxMessageSize() const override { return inner_.maxMessageSize(); }
    unsigned linkBaud() const override { return inner_.linkBaud(); }
    unsigned missedCycles() const override { return inner_.missedCycles(); }

private:
    SysExSender& inner_;
    OnSend onSend_;
};

// The progress window: a caption, a bar from 0 to 100 and a Cancel button (which sets
// the cancel flag).
class Progress {
public:
    virtual ~Progress() = default;
    virtual void open() = 0;
    virtual void set(std::string_view caption, int percent) = 0;
    virtual void close() = 0;
    // What an update will write, told once before its first record runs.
    virtual void planned(const UpdatePlan&) {}
};

// The four kinds of message box.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void errorBox(std::string_view text) = 0;
    // True only when the user chose Yes; No is the default.
    virtual bool askYesNo(std::string_view text) = 0;
    // Whether to install an image older than the Halden's firmware: a question as any
    // other in a window; a front end may hold it to a stricter rule.
    virtual bool askOlderImage(std::string_view text) { return askYesNo(text); }
    virtual void noticeBox(std::string_view text) = 0;
    // Shown before the program ends with exit code 1; the caller does the exit.
    virtual void fatalBox(std::string_view text) = 0;
};

// Everything one engine operation talks to.
struct EngineIo {
    SysExSender& port;
    SysExReceiver& receiver;
    Progress& progress;
    MessageBoxes& boxes;
    CancelFlag& cancel;
    Clock& clock;
};

}  // namespace halden

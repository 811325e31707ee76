// Filters incoming MIDI bytes down to the bodies of the Halden's SysEx messages, queues
// them in a small ring, and hands them out one body at a time within a poll budget.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

#include "engine/cancel_flag.h"
#include "engine/clock.h"
#include "engine/status.h"
#include "engine/sysex_decoder.h"

namespace halden {

inline constexpr unsigned kPollMillis = 100;

class SysExReceiver {
public:
    static constexpr size_t kSlots = 50;  // holds at most 49 bytes

    SysExReceiver(Clock& clock, const CancelFlag& cancel);

    // Processes received bytes in arrival order. Safe to call from the MIDI thread.
    void feed(uint8_t byte);
    void feed(std::span<const uint8_t> bytes);

    // Back to idle with an empty queue.
    void reset();

    // Reads one body (command byte first, closing 0xF7 removed) into buffer[0..capacity).
    // Every poll either takes one queued item or waits up to 100 ms for one; a wait ends
    // early when a byte arrives. Returns 0, 5 (canceled), 6 (too long), 7 (timeout) or
    // 16 when the input port has failed.
    [[nodiscard]] StatusCode readResponse(uint8_t* buffer, size_t capacity, size_t* count,
                                          unsigned polls);

    // The input port has failed; every read from now on returns kPortFailure at once.
    void failPort(std::string why);
    bool portFailed() const;
    std::string portFailure() const;

    // Number of items queued (for tests and diagnostics).
    size_t queued() const;

private:
    // A queued item is a byte, or kDropBody: "the body being read was cut off, forget
    // what you have taken of it".
    static constexpr uint16_t kDropBody = 0x100;

    void append(uint16_t item);  // lock held
    void handle(uint8_t byte);   // lock held
    void dropBody();             // lock held
    bool take(uint16_t& item);

    Clock& clock_;
    const CancelFlag& cancel_;

    mutable std::mutex mutex_;
    SysExDecoder decoder_;
    std::array<uint16_t, kSlots> slots_{};
    // Running counts of items ever written and read; slot = count % kSlots.
    uint64_t written_ = 0;
    uint64_t read_ = 0;
    uint64_t bodyStart_ = 0;  // written_ when the current body began
    bool failed_ = false;
    std::string failure_;
};

}  // namespace halden

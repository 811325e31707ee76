// A simulated Halden that honours the device message set. It keeps the memory an
// update wrote and every message it received, and can misbehave on request.
//
// Its firmware convention: after an area has been erased, written and closed (an empty
// block) without fault, it reports image status 0 and takes its version from the
// area's first two data bytes. An erased area that was not closed leaves image status
// non-zero.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/image.h"
#include "sim/scheduler.h"

namespace halden {

// The name of the simulator's ports unless it is given another.
inline constexpr const char* kSimulatorPortName = "Halden Simulator";

struct SimOptions {
    std::string portName = kSimulatorPortName;  // both ways
    std::array<uint8_t, 6> serial{0x00, 0x0a, 0x7f, 0x10, 0x01, 0x02};
    Version version{1, 4};
    uint8_t imageStatus = 0;
    uint16_t blockSize = 128;
    size_t memorySize = 65535;  // largest area it takes

    unsigned baud = 31250;  // 0: no transmission time
    Clock::Duration latency{0};
    Clock::Duration eraseTime{0};
    Clock::Duration writeTime{0};

    bool silent = false;      // never answers
    unsigned answerFrom = 1;  // ignores requests before the N-th
    // block number -> device result; 0 and 7 still take the block, others do not
    std::map<unsigned, uint8_t> blockResults;
    std::optional<uint8_t> eraseResult;  // answer every erase with this result
    size_t identityBodyLength = 20;      // wrong values test the length check
    bool foreignMessages = false;        // another maker's SysEx and a channel message first
    bool realtimeBytes = false;          // clock bytes inside every reply
    bool cutOffMessages = false;         // a reply cut off by a status byte before each reply
    unsigned portFailsAfter = 0;         // the port fails at the N-th message sent to it
    unsigned loseReplyTo = 0;            // the reply to the N-th message is lost on the way
    // A Halden that does not take what it was sent: the image status, or the version,
    // it reports once an area was closed (instead of 0 and the area's first two bytes).
    std::optional<uint8_t> statusAfterUpdate;
    std::optional<Version> versionAfterUpdate;
    // Keep every message received (for tests and --save-received); without it a long run
    // of the built-in simulator would grow by every message.
    bool recordReceived = false;
};

class SimulatedHalden {
public:
    // `deliver` carries bytes from the device to the host; it is called at the time
    // the last of them has crossed the wire.
    using Deliver = std::function<void(ByteView)>;

    SimulatedHalden(SimOptions options, Clock& clock, Scheduler& scheduler, Deliver deliver);

    // A whole message has just arrived at the device.
    void receive(ByteView message);

    // Time a message of `bytes` bytes takes on the wire (10 bits a byte).
    Clock::Duration wireTime(size_t bytes) const;

    Bytes memory() const;                 // what area 0 holds
    std::vector<Bytes> received() const;  // every message, in order (recordReceived)
    size_t receivedCount() const;
    uint8_t imageStatus() const;
    Version version() const;
    const SimOptions& options() const { return options_; }

private:
    void handle(ByteView message);  // lock held
    void reply(Bytes body, Clock::Duration deviceTime);
    void send(Bytes bytes, Clock::Duration ready);
    Bytes identityBody() const;
    uint8_t writeBlock(ByteView body);  // the device result
    uint8_t store(ByteView payload, unsigned blockNumber);

    SimOptions options_;
    Clock& clock_;
    Scheduler& scheduler_;
    Deliver deliver_;

    mutable std::mutex mutex_;
    std::vector<Bytes> received_;
    size_t receivedCount_ = 0;
    unsigned requests_ = 0;
    Clock::Duration busyUntil_{0};
    Clock::Duration wireFreeAt_{0};
    uint8_t status_;
    Version version_;
    Bytes memory_;
    bool losing_ = false;  // the request being handled has its reply lost
    bool erased_ = false;  // erased and not yet closed
    unsigned nextBlock_ = 0;
};

}  // namespace halden

// How much an update writes and how long it will take, known once the handshake gave
// the block size.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/device.h"
#include "engine/image.h"

namespace halden {

// The pause after a control request, for the Halden to act on it.
inline constexpr unsigned kControlPauseTenths = 10;

struct UpdatePlan {
    size_t bytes = 0;   // the areas' data
    size_t blocks = 0;  // data blocks and each area's closing block
    // Every erase, block and reply on the wire, in bytes.
    size_t wireBytes = 0;
    // Delay records and the pause after each control request.
    unsigned pauseTenths = 0;
};

UpdatePlan planUpdate(const std::vector<Record>& records, const DeviceInfo& info);

// The time on a link of `baud` (10 bits a byte, both ways) and the pauses; none when
// the link speed is not known (0). The Halden's own time is not in it.
std::optional<Clock::Duration> linkEstimate(const UpdatePlan& plan, unsigned baud);

// The whole update's time from its first blocks: `sent` blocks have gone in `elapsed`,
// counted from when the first one went.
Clock::Duration measuredEstimate(const UpdatePlan& plan, size_t sent, Clock::Duration elapsed);

// "about 25 s for 64.0 KiB in 513 blocks"
std::string estimateText(const UpdatePlan& plan, Clock::Duration time);

}  // namespace halden

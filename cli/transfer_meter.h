// How far the data of an update has gone: the bytes of the areas written so far, of all
// of them, the rate, and the time left, as download and flashing tools show it; and,
// once, how long the whole update will take.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "engine/bytes.h"
#include "engine/clock.h"
#include "engine/estimate.h"

namespace halden::cli {

// "8.0 of 16.0 KiB, 2.0 KiB/s, 0:04 left"; the rate and time left only once some time
// has passed.
std::string transferText(size_t done, size_t total, Clock::Duration elapsed);

class TransferMeter {
public:
    // Told the estimate's text, the time, and whether it came from the link's speed
    // (else from the first blocks).
    using Tell = std::function<void(const std::string& text, Clock::Duration, bool fromLink)>;
    // Blocks measured before the time is told, when the link's speed is not known; or
    // fewer, when they already took kMeasureTime.
    static constexpr size_t kMeasuredBlocks = 8;
    static constexpr Clock::Duration kMeasureTime = std::chrono::seconds(2);

    TransferMeter(const Clock& clock, Tell tell) : clock_(clock), tell_(std::move(tell)) {}
    // The update about to run. Its time is told now where the link's speed (baud) is
    // known, else after its first blocks.
    void plan(const UpdatePlan& plan, unsigned baud);
    // A message on its way to the Halden: a block's data counts.
    void sent(ByteView message);
    // Empty until the first block has gone.
    std::string text() const;

private:
    const Clock& clock_;
    Tell tell_;
    mutable std::mutex mutex_;
    UpdatePlan plan_;
    bool told_ = true;
    size_t blocks_ = 0;
    size_t done_ = 0;
    Clock::Duration start_{0};
};

}  // namespace halden::cli

// How far the data of an update has gone: the bytes of the areas written so far, of all
// of them, the rate, and the time left, as download and flashing tools show it.
#pragma once

#include <mutex>
#include <string>

#include "engine/bytes.h"
#include "engine/clock.h"

namespace halden::cli {

// "8.0 of 16.0 KiB, 2.0 KiB/s, 0:04 left"; the rate and time left only once some time
// has passed.
std::string transferText(size_t done, size_t total, Clock::Duration elapsed);

class TransferMeter {
public:
    explicit TransferMeter(const Clock& clock) : clock_(clock) {}
    // The area bytes of the image about to be written.
    void expect(size_t total);
    // A message on its way to the Halden: a block's data counts.
    void sent(ByteView message);
    // Empty until the first block has gone.
    std::string text() const;

private:
    const Clock& clock_;
    mutable std::mutex mutex_;
    size_t total_ = 0;
    size_t done_ = 0;
    Clock::Duration start_{0};
};

}  // namespace halden::cli

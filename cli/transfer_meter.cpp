#include "cli/transfer_meter.h"

#include <cstdio>

#include "engine/protocol.h"

namespace halden::cli {

namespace {

std::string duration(long long seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    }
    return text;
}

}  // namespace

std::string transferText(size_t done, size_t total, Clock::Duration elapsed) {
    char text[96];
    std::snprintf(text, sizeof text, "%.1f of %.1f KiB", done / 1024.0, total / 1024.0);
    std::string line = text;
    if (total > 0 && done >= total) return line + " written";
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (seconds <= 0 || done == 0) return line;
    const double rate = done / seconds;  // bytes a second
    std::snprintf(text, sizeof text, ", %.1f KiB/s", rate / 1024.0);
    line += text;
    const size_t left = total > done ? total - done : 0;
    return line + ", " + duration(static_cast<long long>(left / rate + 0.5)) + " left";
}

void TransferMeter::plan(const UpdatePlan& plan, unsigned baud) {
    const std::optional<Clock::Duration> time = linkEstimate(plan, baud);
    {
        std::lock_guard lock(mutex_);
        plan_ = plan;
        told_ = time.has_value() || plan.blocks == 0;
        blocks_ = 0;
        done_ = 0;
    }
    if (time && tell_) tell_(estimateText(plan, *time), *time, true);
}

void TransferMeter::sent(ByteView message) {
    using namespace protocol;
    const std::optional<ByteView> body = unframe(message);
    const std::optional<BlockWrite> write = body ? decodeBlockWrite(*body) : std::nullopt;
    if (!write) return;
    Clock::Duration time{0};
    std::string text;
    {
        std::lock_guard lock(mutex_);
        const Clock::Duration now = clock_.now();
        if (blocks_ == 0) start_ = now;
        ++blocks_;
        done_ += write->payload.size();
        if (told_ || blocks_ < 2) return;
        if (blocks_ < kMeasuredBlocks && now - start_ < kMeasureTime) return;
        told_ = true;
        time = measuredEstimate(plan_, blocks_, now - start_);
        text = estimateText(plan_, time);
    }
    if (tell_) tell_(text, time, false);
}

std::string TransferMeter::text() const {
    std::lock_guard lock(mutex_);
    if (plan_.bytes == 0 || done_ == 0) return {};
    return transferText(done_, plan_.bytes, clock_.now() - start_);
}

}  // namespace halden::cli

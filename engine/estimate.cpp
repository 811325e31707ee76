#include "engine/estimate.h"

#include <algorithm>
#include <cstdio>

#include "engine/protocol.h"

namespace halden {

namespace {
// An erase or control request, and every reply: header, command, one or two bytes, F7.
constexpr size_t kShortMessageBytes = protocol::kHeaderSize + 3;
}  // namespace

UpdatePlan planUpdate(const std::vector<Record>& records, const DeviceInfo& info) {
    UpdatePlan plan;
    for (const Record& rec : records) {
        switch (rec.type) {
            case RecordType::Delay:
                plan.pauseTenths += rec.operand;
                break;
            case RecordType::Control:
                plan.pauseTenths += kControlPauseTenths;
                plan.wireBytes += kShortMessageBytes;
                break;
            case RecordType::Area: {
                if (info.blockSize == 0) break;
                const size_t blocks =
                    rec.data.size() / info.blockSize + (rec.data.size() % info.blockSize != 0) + 1;
                plan.bytes += rec.data.size();
                plan.blocks += blocks;
                plan.wireBytes += 2 * kShortMessageBytes + rec.data.size() +
                                  blocks * (protocol::kBlockWriteOverhead + kShortMessageBytes);
                break;
            }
            case RecordType::Skip:
            case RecordType::End:
                break;
        }
    }
    return plan;
}

std::optional<Clock::Duration> linkEstimate(const UpdatePlan& plan, unsigned baud) {
    if (baud == 0) return std::nullopt;
    const auto wire = std::chrono::microseconds(static_cast<int64_t>(plan.wireBytes) * 10 *
                                                1'000'000 / static_cast<int64_t>(baud));
    return wire + std::chrono::milliseconds(100) * plan.pauseTenths;
}

Clock::Duration measuredEstimate(const UpdatePlan& plan, size_t sent, Clock::Duration elapsed) {
    // `elapsed` runs from the first block's start to the last one's, so it holds
    // sent - 1 whole exchanges.
    const auto pauses = std::chrono::milliseconds(100) * plan.pauseTenths;
    if (sent < 2) return pauses;
    return elapsed * static_cast<int64_t>(plan.blocks) / static_cast<int64_t>(sent - 1) + pauses;
}

std::string estimateText(const UpdatePlan& plan, Clock::Duration time) {
    // Never "about 0 s": something is always sent.
    const long long seconds = std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(time).count() / 1000.0 + 0.5);
    char text[96];
    if (seconds < 100) {
        std::snprintf(text, sizeof text, "about %lld s", seconds);
    } else {
        std::snprintf(text, sizeof text, "about %lld min", (seconds + 30) / 60);
    }
    std::string line = text;
    std::snprintf(text, sizeof text, " for %.1f KiB in %zu %s", plan.bytes / 1024.0, plan.blocks,
                  plan.blocks == 1 ? "block" : "blocks");
    return line + text;
}

}  // namespace halden

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
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (seconds <= 0 || done == 0) return line;
    const double rate = done / seconds;  // bytes a second
    std::snprintf(text, sizeof text, ", %.1f KiB/s", rate / 1024.0);
    line += text;
    const size_t left = total > done ? total - done : 0;
    return line + ", " + duration(static_cast<long long>(left / rate + 0.5)) + " left";
}

void TransferMeter::expect(size_t total) {
    std::lock_guard lock(mutex_);
    total_ = total;
    done_ = 0;
}

void TransferMeter::sent(ByteView message) {
    using namespace protocol;
    if (message.size() < kBlockWriteOverhead || message[kCommandOffset] != kBlockWrite) return;
    std::lock_guard lock(mutex_);
    if (done_ == 0) start_ = clock_.now();
    done_ += message.size() - kBlockWriteOverhead;
}

std::string TransferMeter::text() const {
    std::lock_guard lock(mutex_);
    if (total_ == 0 || done_ == 0) return {};
    return transferText(done_, total_, clock_.now() - start_);
}

}  // namespace halden::cli

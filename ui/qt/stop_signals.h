// SIGTERM, SIGHUP (a logout, a closed terminal) and SIGINT as the user's Cancel and
// close: an update stops at its next step and writes its history line, as on the
// command line, rather than the process ending between two messages.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace halden::qt {

class StopSignals {
public:
    // `stop` runs on the Qt thread, once for each signal. One at a time per process.
    explicit StopSignals(std::function<void()> stop);
    ~StopSignals();  // the signals' earlier handling comes back

    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> stop_;
};

}  // namespace halden::qt

#include "cli/trace.h"

#include <cstdio>

namespace halden::cli {

Tracer::Tracer(Terminal& terminal, Clock& clock, bool enabled)
    : terminal_(terminal), clock_(clock), enabled_(enabled), start_(clock.now()) {}

void Tracer::sent(ByteView message) {
    if (enabled_) print('>', message);
}

void Tracer::received(ByteView bytes) {
    if (!enabled_) return;
    std::lock_guard lock(mutex_);
    for (uint8_t b : bytes) {
        if (b >= 0xF8) continue;
        if (b == 0xF0 || (b >= 0x80 && b != 0xF7)) {
            if (!partial_.empty()) print('<', partial_);  // cut off: show what came
            partial_.clear();
            if (b != 0xF0) continue;
        }
        if (partial_.empty() && b != 0xF0) continue;  // not inside a SysEx message
        partial_.push_back(b);
        if (b == 0xF7) {
            print('<', partial_);
            partial_.clear();
        }
    }
}

void Tracer::print(char arrow, ByteView message) {
    const double seconds = std::chrono::duration<double>(clock_.now() - start_).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%9.3f %c ", seconds, arrow);
    terminal_.out(stamp + hexBytes(message));
}

}  // namespace halden::cli

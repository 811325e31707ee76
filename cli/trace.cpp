#include "cli/trace.h"

#include <cstdio>

namespace halden::cli {

Tracer::Tracer(Terminal& terminal, Clock& clock, bool enabled)
    : terminal_(terminal),
      clock_(clock),
      enabled_(enabled),
      start_(clock.now()),
      // A message cut off is shown with what came of it.
      framer_([this](ByteView m) { print('<', m); }, [this](ByteView m) { print('<', m); }) {}

void Tracer::sent(ByteView message) {
    if (enabled_) print('>', message);
}

void Tracer::received(ByteView bytes) {
    if (!enabled_) return;
    std::lock_guard lock(mutex_);
    framer_.feed(bytes);
}

void Tracer::print(char arrow, ByteView message) {
    const double seconds = std::chrono::duration<double>(clock_.now() - start_).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%9.3f %c ", seconds, arrow);
    terminal_.out(stamp + hexBytes(message));
}

}  // namespace halden::cli

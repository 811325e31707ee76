// The command line's session (its ports, terminal, clock and engine) through 200 Connect
// and Update cycles on the built-in simulator with no link time, in one process:
// good updates, Cancel and a device fault in turn. Prints memory and threads.
#include <cstdio>

#include "bench/soak.h"
#include "cli/session.h"
#include "engine/update.h"

using namespace halden;

namespace {

// The session's progress, and Cancel as soon as a pause begins.
class CancelingProgress : public Progress {
public:
    CancelingProgress(Progress& inner, CancelFlag& cancel) : inner_(inner), cancel_(cancel) {}
    void open() override { inner_.open(); }
    void set(std::string_view caption, int percent) override {
        if (cancelOnPause && caption == "Delaying...") cancel_ = true;
        inner_.set(caption, percent);
    }
    void close() override { inner_.close(); }
    bool cancelOnPause = false;

private:
    Progress& inner_;
    CancelFlag& cancel_;
};

}  // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 200;
    cli::SessionOptions options;
    options.simulate = true;
    options.sim.baud = 0;
    options.sim.blockResults[soak::kFaultyBlock] = 6;
    options.answer = true;
    cli::Terminal terminal;
    cli::Session session(terminal, options);
    if (const Outcome opened = session.open(); !opened) {
        std::fprintf(stderr, "%s\n", opened.failure().text.c_str());
        return 1;
    }
    EngineIo& base = session.io();
    CancelingProgress progress(base.progress, base.cancel);
    EngineIo io{base.port, base.receiver, progress, base.boxes, base.cancel, base.clock};
    const Bytes images[] = {soak::goodImage(), soak::pausedImage(), soak::faultyImage()};
    const StatusCode expected[] = {0, 5, 14};
    int counts[3] = {};
    soak::Usage start;
    for (int i = 0; i < cycles; ++i) {
        if (i == 3) start = soak::usage();  // after one cycle of each kind
        const int kind = i % 3;
        DeviceInfo info;
        if (StatusCode rc = connectDevice(io, info)) {
            std::fprintf(stderr, "cycle %d: connect gave %u\n", i, rc);
            return 1;
        }
        progress.cancelOnPause = kind == 1;
        const StatusCode rc = runUpdate(io, images[kind], info);
        progress.cancelOnPause = false;
        if (rc != expected[kind]) {
            std::fprintf(stderr, "cycle %d: update gave %u, not %u\n", i, rc, expected[kind]);
            return 1;
        }
        ++counts[kind];
    }
    soak::report("command line", start, soak::usage(), cycles, counts[0], counts[1], counts[2]);
    return 0;
}

#pragma once

#include <mutex>

#include "cli/terminal.h"
#include "engine/host.h"
#include "transport/sysex_framer.h"

namespace halden::cli {

// Prints SysEx traffic, one message a line: seconds since the start, '>' for sent or
// '<' for received, and the bytes in hex. Received bytes may come in any chunks; real-
// time bytes are not part of a message and are left out.
class Tracer {
public:
    Tracer(Terminal& terminal, Clock& clock, bool enabled);
    void sent(ByteView message);
    void received(ByteView bytes);

private:
    void print(char arrow, ByteView message);

    Terminal& terminal_;
    Clock& clock_;
    bool enabled_;
    Clock::Duration start_;
    std::mutex mutex_;
    SysExFramer framer_;  // received messages
};

}  // namespace halden::cli

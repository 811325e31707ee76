// The few JACK calls RtMidi does not make for us: whether a server runs, quiet JACK
// library messages, and whether a connection really exists.
#pragma once

#include <memory>
#include <string>

namespace halden::jack {

// Keeps libjack from printing to stderr; what matters is reported by the caller.
void silenceLibrary();

// True when a JACK server answers (none is started).
bool serverRunning();

// True when the port named `portName` is connected to a port whose name ends in
// ":" + `peerShortName`.
bool connected(const std::string& portName, const std::string& peerShortName);

// Counts the cycles the JACK server misses while it lives: the xruns the server reports,
// and the cycles in which it did not run this client (PipeWire's JACK reports no xruns).
class CycleWatch {
public:
    virtual ~CycleWatch() = default;
    virtual unsigned missed() const = 0;
};

// Null when no server answers.
std::unique_ptr<CycleWatch> watchCycles();

}  // namespace halden::jack

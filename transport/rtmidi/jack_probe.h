// The few JACK calls RtMidi does not make for us: whether a server runs, quiet JACK
// library messages, and whether a connection really exists.
#pragma once

#include <string>

namespace halden::jack {

// Keeps libjack from printing to stderr; what matters is reported by the caller.
void silenceLibrary();

// True when a JACK server answers (none is started).
bool serverRunning();

// True when the port named `portName` is connected to a port whose name ends in
// ":" + `peerShortName`.
bool connected(const std::string& portName, const std::string& peerShortName);

}  // namespace halden::jack

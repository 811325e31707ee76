// The program's two MIDI connections: one output port for requests, one input port
// whose SysEx bytes go to the receiver. One backend a platform, chosen by the build.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/host.h"
#include "engine/result.h"

namespace halden {

// A port as listed: its name as the system gives it, and the device number that opens
// it. A port whose name cannot be read is left out of the list, so positions in the
// list and device numbers need not match.
struct Port {
    std::string name;
    size_t device = 0;
};

struct PortNames {
    std::vector<Port> inputs;
    std::vector<Port> outputs;
};

// The names alone, in list order.
std::vector<std::string> portNames(const std::vector<Port>& ports);

class MidiPorts : public SysExSender {
public:
    // Receives every SysEx byte that arrives on the open input port, in order, on the
    // MIDI system's thread.
    using InputSink = std::function<void(ByteView)>;
    // Told once when the open input port fails (for instance, it was unplugged).
    using FailureSink = std::function<void(const std::string&)>;

    // Lists the ports in a stable order. Fails when there is no input or no output port
    // at all; `names` then holds what there is.
    virtual Outcome enumeratePorts(PortNames& names) = 0;

    // Opens the input and output port with these device numbers; on failure nothing
    // stays open.
    virtual Outcome openPorts(size_t inputDevice, size_t outputDevice) = 0;

    // Closes whatever is open; harmless when nothing is.
    virtual void closePorts() = 0;

    // The MIDI system in use ("ALSA", "JACK", ...), for the user; may be empty.
    virtual std::string systemName() const { return {}; }
};

// A failure to list or open ports, or of a port in use.
inline Failure portFailure(std::string text) {
    return {status::kPortFailure, std::move(text)};
}

inline std::vector<std::string> portNames(const std::vector<Port>& ports) {
    std::vector<std::string> names;
    for (const Port& p : ports) names.push_back(p.name);
    return names;
}

}  // namespace halden

// The program's two MIDI connections: one output port for requests, one input port
// whose SysEx bytes go to the receiver. One backend a platform, chosen by the build.
#pragma once

#include <functional>
#include <optional>
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

    // Opens the input and output port shown under these names, wherever they are listed
    // now: a list shown a while ago may have shifted since (an interface unplugged, another
    // plugged in), and a port is opened only when it is the one the user saw. When a port
    // of that name is gone the failure names it. On failure nothing stays open.
    virtual Outcome openPorts(const Port& input, const Port& output) = 0;

    // One direction alone, where the backend can (opensOneDirection): a scan listens on
    // every input while it asks one output at a time. Else they refuse.
    virtual bool opensOneDirection() const { return false; }
    virtual Outcome openInput(const Port& input) {
        (void)input;
        return Failure{status::kPortFailure, "This MIDI system opens its ports in pairs only."};
    }
    virtual Outcome openOutput(const Port& output) {
        (void)output;
        return Failure{status::kPortFailure, "This MIDI system opens its ports in pairs only."};
    }
    // Tells `changed` (on a thread of the MIDI system's) whenever ports come or go, where
    // the MIDI system says so; null stops telling.
    virtual void watchPorts(std::function<void()> changed) { (void)changed; }

    // Closes whatever is open; harmless when nothing is.
    virtual void closePorts() = 0;

    // The MIDI system in use ("ALSA", "JACK", ...), for the user; may be empty.
    virtual std::string systemName() const { return {}; }
};

// A failure to list or open ports, or of a port in use.
inline Failure portFailure(std::string text) {
    return {status::kPortFailure, std::move(text)};
}

// A listing with no port in a direction fails with these words; `why` (may be empty) is
// what the MIDI system said about itself.
inline Outcome listedPorts(const PortNames& names, const std::string& why = {}) {
    if (names.inputs.empty()) {
        return portFailure(
            "No MIDI input buses available! Please connect your MIDI interface or start a MIDI "
            "server" +
            (why.empty() ? std::string() : "\n(" + why + ")"));
    }
    if (names.outputs.empty()) {
        return portFailure(
            "No MIDI output buses available! Please connect your MIDI card or start a MIDI "
            "server");
    }
    return {};
}

// Where the port `wanted` is in `now`: at its device number when the name there is still
// its name, else the one port of that name. None when it is gone, or when several ports
// now have its name and none is at its device number.
inline std::optional<size_t> findPort(const std::vector<Port>& now, const Port& wanted) {
    std::optional<size_t> found;
    for (size_t i = 0; i < now.size(); ++i) {
        if (now[i].name != wanted.name) continue;
        if (now[i].device == wanted.device) return i;
        if (found) return std::nullopt;  // two of that name, neither where it was
        found = i;
    }
    return found;
}

// A port that was shown and is not there now.
inline Failure portGone(const char* direction, const std::string& name) {
    return portFailure(std::string("The MIDI ") + direction + " port \"" + name +
                       "\" is no longer there. Is the MIDI interface still connected?");
}

inline std::vector<std::string> portNames(const std::vector<Port>& ports) {
    std::vector<std::string> names;
    for (const Port& p : ports) names.push_back(p.name);
    return names;
}

}  // namespace halden

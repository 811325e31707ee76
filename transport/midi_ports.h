// The program's two MIDI connections: one output port for requests, one input port
// whose SysEx bytes go to the receiver. One backend a platform, chosen by the build.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/host.h"

namespace halden {

struct PortNames {
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
};

class MidiPorts : public SysExSender {
public:
    // Receives every SysEx byte that arrives on the open input port, in order, on the
    // MIDI system's thread.
    using InputSink = std::function<void(ByteView)>;
    // Told once when the open input port fails (for instance, it was unplugged).
    using FailureSink = std::function<void(const std::string&)>;

    // Lists the ports, positions counted from 0 in each direction. Returns an empty
    // string, or the text to show when there is no input or no output port at all.
    virtual std::string enumeratePorts(PortNames& names) = 0;

    // Opens the input and output port at these positions of the last listing. Returns
    // an empty string, or the text to show; on failure nothing stays open.
    virtual std::string openPorts(size_t input, size_t output) = 0;

    // Closes whatever is open; harmless when nothing is.
    virtual void closePorts() = 0;
};

}  // namespace halden

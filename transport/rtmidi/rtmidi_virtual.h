#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/image.h"
#include "transport/input_handoff.h"
#include "transport/midi_ports.h"

class RtMidiIn;
class RtMidiOut;

namespace halden {

// A virtual MIDI device: an input and an output port that other programs connect to,
// as a piece of hardware would offer them.
class RtMidiVirtualDevice {
public:
    using OnMessage = std::function<void(ByteView)>;

    RtMidiVirtualDevice();
    ~RtMidiVirtualDevice();

    // Opens both ports under `portName` on `system` (empty: the one HALDEN_MIDI_SYSTEM
    // names, else the first MIDI system that can be opened). Incoming messages go to
    // `onMessage` on a thread of the device's own, never on the MIDI system's. `outputName`, when
    // given, names the output port (and its client) apart from the input, as some devices and
    // bridges do.
    Outcome open(const std::string& portName, const std::string& system, OnMessage onMessage,
                 const std::string& outputName = {});
    // The ports go away, as those of an interface that was unplugged. Not from within
    // `onMessage`.
    void close();

    // Sends raw bytes (one message or several) on the output port.
    void send(ByteView bytes);

    std::string systemName() const { return systemName_; }

private:
    static void onInput(double, std::vector<unsigned char>* message, void* self);

    std::unique_ptr<InputHandoff> handoff_;
    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<RtMidiOut> out_;
    std::string systemName_;
};

}  // namespace halden

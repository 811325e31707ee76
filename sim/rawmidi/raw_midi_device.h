// A raw MIDI device (/dev/snd/midiC*D*) as the far end of a MIDI cable: whole SysEx
// messages in, bytes out. With the kernel's virtual raw MIDI driver, the device's other
// end is a sequencer port, the same path a USB-MIDI interface takes.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "transport/midi_ports.h"
#include "transport/sysex_framer.h"

namespace halden {

class RawMidiDevice {
public:
    RawMidiDevice() = default;
    ~RawMidiDevice();
    RawMidiDevice(const RawMidiDevice&) = delete;
    RawMidiDevice& operator=(const RawMidiDevice&) = delete;

    // Opens the device for reading and writing; whole SysEx messages go to `onMessage`
    // on a thread of the device's own. Returns an empty string or why it failed.
    Outcome open(const std::string& path, SysExFramer::OnMessage onMessage);

    // Writes the bytes whole, waiting while the device's buffer is full.
    void send(ByteView bytes);

    // Set once reading has failed (the device went away); then it says why.
    std::string failure() const;

private:
    void read();

    int fd_ = -1;
    int wake_[2] = {-1, -1};  // closes the reader
    SysExFramer::OnMessage onMessage_;
    std::thread reader_;
    std::atomic<bool> failed_{false};
    std::string failure_;
};

}  // namespace halden

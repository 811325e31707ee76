// Tells when the MIDI system's ports come or go, as the system announces it: the ALSA
// sequencer's announce port, JACK's registration callbacks.
#pragma once

#include <functional>
#include <memory>

namespace halden {

class PortWatch {
public:
    virtual ~PortWatch() = default;  // when it returns, `changed` is called no more
};

// `changed` runs on a thread of the watch's own (never JACK's process thread). None
// where the system cannot be watched.
std::unique_ptr<PortWatch> watchAlsaPorts(std::function<void()> changed);
std::unique_ptr<PortWatch> watchJackPorts(std::function<void()> changed);

}  // namespace halden

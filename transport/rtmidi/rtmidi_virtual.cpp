#include "transport/rtmidi/rtmidi_virtual.h"

#include <atomic>

#include "transport/midi_systems.h"
#include "transport/rtmidi/rtmidi_system.h"
#include "transport/sysex_framer.h"
#ifdef HALDEN_HAVE_JACK
#include "transport/jack/jack_client.h"
#endif

namespace halden {

struct RtMidiVirtualDevice::Jack {
#ifdef HALDEN_HAVE_JACK
    // Events may come as parts of a message: whole SysEx messages go on.
    std::unique_ptr<SysExFramer> framer;
    // A client a port, each named as its port, as RtMidi names them. The input goes
    // first, as its events may be answered through the output.
    std::unique_ptr<JackMidiClient> out, in;
    // Until both are open nothing is answered.
    std::atomic<bool> ready{false};
#endif
};

RtMidiVirtualDevice::RtMidiVirtualDevice() = default;
RtMidiVirtualDevice::~RtMidiVirtualDevice() {
    if (in_) in_->cancelCallback();
    close();
}

Outcome RtMidiVirtualDevice::open(const std::string& portName, const std::string& system,
                                  OnMessage onMessage, const std::string& outputName) {
    std::string reasons;
    const auto id = chooseRtMidiApi(askedMidiSystem(system), reasons);
    if (!id) return portFailure("No MIDI system can be opened (" + reasons + ")");
    onMessage_ = std::move(onMessage);
#ifdef HALDEN_HAVE_JACK
    if (*id == RtMidi::UNIX_JACK) {
        // Set before its clients' threads start, which read it.
        jack_ = std::make_unique<Jack>();
        Jack* jack = jack_.get();
        jack->framer = std::make_unique<SysExFramer>([this](ByteView m) { onMessage_(m); });
        const std::string& outName = outputName.empty() ? portName : outputName;
        std::string why;
        // The input first: it takes the name, the output's client is "<name>-01" when
        // the names are the same, as with RtMidi.
        jack->in = JackMidiClient::open(
            portName, portName, "", [framer = jack->framer.get()](ByteView b) { framer->feed(b); },
            {}, why);
        if (jack->in) jack->out = JackMidiClient::open(outName, "", outName, {}, {}, why);
        if (!jack->out) {
            jack_.reset();
            return portFailure("Can't open the virtual MIDI ports: " + why);
        }
        jack->ready = true;
        systemName_ = systemDisplayName(*id);
        return {};
    }
#endif
    try {
        in_ = std::make_unique<RtMidiIn>(*id, portName);
        in_->setErrorCallback(ignoreRtMidiWarning, nullptr);
        in_->ignoreTypes(false, true, true);
        in_->setCallback(&RtMidiVirtualDevice::onInput, this);
        in_->openVirtualPort(portName);
        const std::string& outName = outputName.empty() ? portName : outputName;
        out_ = std::make_unique<RtMidiOut>(*id, outName);
        out_->setErrorCallback(ignoreRtMidiWarning, nullptr);
        out_->openVirtualPort(outName);
    } catch (const RtMidiError& e) {
        return portFailure("Can't open the virtual MIDI ports: " + e.getMessage());
    }
    systemName_ = systemDisplayName(*id);
    return {};
}

void RtMidiVirtualDevice::close() {
    jack_.reset();
    try {
        if (in_) {
            in_->cancelCallback();
            in_->closePort();
        }
        if (out_) out_->closePort();
    } catch (const RtMidiError&) {
    }
    in_.reset();
    out_.reset();
}

void RtMidiVirtualDevice::send(ByteView bytes) {
#ifdef HALDEN_HAVE_JACK
    if (jack_) {
        // A device does not wait for the cable either: what finds no room is lost, as
        // on a wire nobody reads.
        if (jack_->ready) (void)jack_->out->send(bytes);
        return;
    }
#endif
    if (!out_) return;
    try {
        out_->sendMessage(bytes.data(), bytes.size());
    } catch (const RtMidiError&) {
        // Nobody may be listening; a device does not care.
    }
}

void RtMidiVirtualDevice::onInput(double, std::vector<unsigned char>* message, void* self) {
    if (message && !message->empty()) {
        static_cast<RtMidiVirtualDevice*>(self)->onMessage_(
            ByteView(message->data(), message->size()));
    }
}

}  // namespace halden

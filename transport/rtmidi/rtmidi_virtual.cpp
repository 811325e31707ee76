#include "transport/rtmidi/rtmidi_virtual.h"

#include "transport/midi_systems.h"
#include "transport/rtmidi/rtmidi_system.h"

namespace halden {

RtMidiVirtualDevice::RtMidiVirtualDevice() = default;
RtMidiVirtualDevice::~RtMidiVirtualDevice() {
    close();
}

Outcome RtMidiVirtualDevice::open(const std::string& portName, const std::string& system,
                                  OnMessage onMessage, const std::string& outputName) {
    std::string reasons;
    const auto id = chooseRtMidiApi(askedMidiSystem(system), reasons);
    if (!id) return portFailure("No MIDI system can be opened (" + reasons + ")");
    close();  // ports opened before must stop pushing before their handoff goes
    handoff_ = std::make_unique<InputHandoff>([onMessage = std::move(onMessage)](ByteView m) {
        if (!m.empty()) onMessage(m);
    });
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
    handoff_.reset();  // once nothing pushes any more
}

void RtMidiVirtualDevice::send(ByteView bytes) {
    if (!out_) return;
    try {
        out_->sendMessage(bytes.data(), bytes.size());
    } catch (const RtMidiError&) {
        // Nobody may be listening; a device does not care.
    }
}

void RtMidiVirtualDevice::onInput(double, std::vector<unsigned char>* message, void* self) {
    auto* device = static_cast<RtMidiVirtualDevice*>(self);
    if (message && device->handoff_) {
        device->handoff_->push(ByteView(message->data(), message->size()));
    }
}

}  // namespace halden

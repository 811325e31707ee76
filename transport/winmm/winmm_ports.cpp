#include "transport/winmm/winmm_ports.h"

#include <cstdio>
#include <cstring>

#include "transport/midi_systems.h"
#include "transport/real_clock.h"

namespace halden {

namespace {

std::string withCode(const char* format, MMRESULT code) {
    char text[160];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(code));
    return text;
}

// A product name is at most 31 characters, and may fill its field without an end.
std::string productName(const char (&name)[MAXPNAMELEN]) {
    return std::string(name, strnlen(name, MAXPNAMELEN - 1));
}

// An undefined status byte: it tells the receiver to drop what it has of a message
// that WinMM reported as broken, so that it is never joined to the next one.
constexpr uint8_t kDropUnfinished = 0xF4;

}  // namespace

MidiSystem winmmMidiSystem() {
    // Every Windows has it; a machine without MIDI devices lists no ports.
    return {"winmm", "Windows MIDI (WinMM)", [] { return std::string(); },
            [](Clock& clock, MidiPorts::InputSink input, MidiPorts::FailureSink failure) {
                return std::make_unique<WinmmPorts>(systemWinmm(), clock, std::move(input),
                                                    std::move(failure));
            }};
}

WinmmPorts::WinmmPorts(WinmmApi& api, Clock& clock, InputSink input, FailureSink failure)
    : api_(api), clock_(clock), input_(std::move(input)), failure_(std::move(failure)) {}

WinmmPorts::~WinmmPorts() {
    closePorts();
}

Clock::Duration WinmmPorts::sendDeadline(size_t bytes) {
    // 3125 bytes a second on a MIDI cable.
    return std::chrono::seconds(1) + std::chrono::microseconds(bytes * 4 * 320);
}

Outcome WinmmPorts::enumeratePorts(PortNames& names) {
    names = {};
    const UINT inputs = api_.inGetNumDevs();
    if (inputs == 0) {
        return portFailure(
            "No MIDI input buses available! Please install your MIDI interface's Windows "
            "driver");
    }
    for (UINT i = 0; i < inputs; ++i) {
        MIDIINCAPSA caps{};
        // A device whose capabilities cannot be read is left out; the others keep their
        // own device numbers.
        if (api_.inGetDevCaps(i, caps) == MMSYSERR_NOERROR) {
            names.inputs.push_back({productName(caps.szPname), i});
        }
    }
    const UINT outputs = api_.outGetNumDevs();
    if (outputs == 0) {
        return portFailure(
            "No MIDI output buses available! Please install your MIDI card's Windows driver");
    }
    for (UINT i = 0; i < outputs; ++i) {
        MIDIOUTCAPSA caps{};
        if (api_.outGetDevCaps(i, caps) == MMSYSERR_NOERROR) {
            names.outputs.push_back({productName(caps.szPname), i});
        }
    }
    return {};
}

Outcome WinmmPorts::openPorts(const Port& input, const Port& output) {
    closePorts();
    // Device numbers move when an interface is unplugged or another plugged in: the
    // ones to open are those that carry the names shown now.
    PortNames now;
    if (Outcome listed = enumeratePorts(now); !listed) return listed;
    const std::optional<size_t> in = findPort(now.inputs, input);
    if (!in) return portGone("input", input.name);
    const std::optional<size_t> out = findPort(now.outputs, output);
    if (!out) return portGone("output", output.name);
    const size_t inputDevice = now.inputs[*in].device;
    const size_t outputDevice = now.outputs[*out].device;
    MMRESULT rc = api_.inOpen(in_, static_cast<UINT>(inputDevice), &WinmmPorts::onInput,
                              reinterpret_cast<DWORD_PTR>(this));
    if (rc != MMSYSERR_NOERROR) {
        in_ = nullptr;
        return portFailure(
            withCode("midiInOpen returned %.8lx. Is the MIDI port currently in use?\n", rc));
    }
    for (InputBuffer& buffer : buffers_) {
        buffer.header = MIDIHDR{};
        buffer.header.lpData = buffer.data.data();
        buffer.header.dwBufferLength = kInputBufferSize;
        rc = api_.inPrepareHeader(in_, buffer.header);
        if (rc != MMSYSERR_NOERROR) {
            closeInput();
            return portFailure(withCode("midiInPrepareHeader returned %.8lx\n", rc));
        }
        ++prepared_;
    }
    for (InputBuffer& buffer : buffers_) {
        rc = api_.inAddBuffer(in_, buffer.header);
        if (rc != MMSYSERR_NOERROR) {
            closeInput();
            return portFailure(withCode("midiInAddBuffer returned %.8lx\n", rc));
        }
    }
    {
        std::lock_guard lock(failMutex_);
        failureText_.clear();
        failed_ = false;
    }
    handing_ = true;
    handThread_ = std::thread([this] { handBackFilledBuffers(); });
    (void)api_.inStart(in_);  // its result tells nothing the first message would not
    rc = api_.outOpen(out_, static_cast<UINT>(outputDevice), &WinmmPorts::onOutput,
                      reinterpret_cast<DWORD_PTR>(this));
    if (rc != MMSYSERR_NOERROR) {
        out_ = nullptr;
        stopHandingBack();
        closeInput();
        return portFailure(
            withCode("midiOutOpen returned %.8lx. Is the MIDI port currently in use?\n", rc));
    }
    MIDIOUTCAPSA caps{};
    cable_ = api_.outGetDevCaps(static_cast<UINT>(outputDevice), caps) == MMSYSERR_NOERROR &&
             caps.wTechnology == MOD_MIDIPORT;
    return {};
}

void WinmmPorts::stopHandingBack() {
    {
        std::lock_guard lock(handMutex_);
        handing_ = false;
        filled_.clear();
    }
    handWake_.notify_all();
    if (handThread_.joinable()) handThread_.join();
}

void WinmmPorts::closeInput() {
    if (!in_) return;
    (void)api_.inStop(in_);
    (void)api_.inReset(in_);  // hands every queued buffer back, empty
    for (size_t i = 0; i < prepared_; ++i) (void)api_.inUnprepareHeader(in_, buffers_[i].header);
    prepared_ = 0;
    (void)api_.inClose(in_);
    in_ = nullptr;
}

void WinmmPorts::closePorts() {
    // Nothing is handed back once the input is being reset.
    stopHandingBack();
    std::lock_guard sendLock(sendMutex_);
    if (out_) (void)api_.outClose(out_);
    out_ = nullptr;
    closeInput();
}

void CALLBACK WinmmPorts::onInput(HANDLE, UINT message, DWORD_PTR self, DWORD_PTR param1,
                                  DWORD_PTR) {
    if (message != MIM_LONGDATA && message != MIM_LONGERROR) return;
    auto* ports = reinterpret_cast<WinmmPorts*>(self);
    auto* header = reinterpret_cast<MIDIHDR*>(param1);
    // A buffer that comes back empty was returned by a reset (closing): it stays with us.
    if (header->dwBytesRecorded == 0) return;
    if (message == MIM_LONGDATA) {
        ports->input_(
            ByteView(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBytesRecorded));
    } else {
        // A broken message: its bytes are not passed on, and what came of it before is
        // dropped. The buffer still goes back, or input would run dry.
        const uint8_t drop = kDropUnfinished;
        ports->input_(ByteView(&drop, 1));
    }
    {
        std::lock_guard lock(ports->handMutex_);
        if (!ports->handing_) return;
        ports->filled_.push_back(header);
    }
    ports->handWake_.notify_one();
}

void WinmmPorts::handBackFilledBuffers() {
    std::unique_lock lock(handMutex_);
    while (true) {
        handWake_.wait(lock, [this] { return !handing_ || !filled_.empty(); });
        if (!handing_) return;
        MIDIHDR* header = filled_.front();
        filled_.pop_front();
        lock.unlock();
        std::memset(header->lpData, 0, kInputBufferSize);
        header->dwBufferLength = kInputBufferSize;
        header->dwBytesRecorded = 0;
        const MMRESULT rc = api_.inAddBuffer(in_, *header);
        if (rc != MMSYSERR_NOERROR) {
            (void)fail(withCode("midiInAddBuffer returned %.8lx\n", rc));
        }
        lock.lock();
    }
}

void CALLBACK WinmmPorts::onOutput(HANDLE, UINT message, DWORD_PTR self, DWORD_PTR, DWORD_PTR) {
    if (message != MOM_DONE) return;
    auto* ports = reinterpret_cast<WinmmPorts*>(self);
    ports->sent_ = true;
    ports->clock_.notify();
}

StatusCode WinmmPorts::sendSysEx(ByteView message) {
    std::lock_guard sendLock(sendMutex_);
    if (failed_) return status::kPortFailure;
    if (!out_) return fail("No MIDI output port is open.");
    outData_.assign(message.begin(), message.end());
    outHeader_ = MIDIHDR{};
    outHeader_.lpData = outData_.data();
    outHeader_.dwBufferLength = static_cast<DWORD>(outData_.size());
    outHeader_.dwBytesRecorded = static_cast<DWORD>(outData_.size());
    sent_ = false;
    MMRESULT rc = api_.outPrepareHeader(out_, outHeader_);
    if (rc != MMSYSERR_NOERROR) {
        return fail(withCode("midiOutPrepareHeader call failed - code %.8lx\n", rc));
    }
    rc = api_.outLongMsg(out_, outHeader_);
    if (rc != MMSYSERR_NOERROR) {
        (void)api_.outUnprepareHeader(out_, outHeader_);
        return fail(withCode("midiOutLongMsg call failed - code %.8lx\n", rc));
    }
    // Returns when WinMM says it has finished with the message (MOM_DONE), not after
    // fixed pauses: a block goes out at the cable's pace.
    const bool done = clock_.waitFor(sendDeadline(message.size()), [this] { return sent_.load(); });
    if (!done) {
        // Take the message back from the driver before its buffer may go.
        (void)api_.outReset(out_);
        (void)api_.outUnprepareHeader(out_, outHeader_);
        return fail(
            "The MIDI interface did not finish sending a message in time. Is it still "
            "connected?");
    }
    rc = api_.outUnprepareHeader(out_, outHeader_);
    if (rc != MMSYSERR_NOERROR) {
        return fail(withCode("midiOutUnprepareHeader call failed - code %.8lx\n", rc));
    }
    return status::kOk;
}

StatusCode WinmmPorts::fail(std::string why) {
    {
        std::lock_guard lock(failMutex_);
        if (failed_) return status::kPortFailure;
        failureText_ = why;
        failed_ = true;
    }
    if (failure_) failure_(why);
    return status::kPortFailure;
}

std::string WinmmPorts::failureText() const {
    std::lock_guard lock(failMutex_);
    return failureText_;
}

}  // namespace halden

// MIDI ports through the Windows multimedia MIDI calls (WinMM).
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/clock.h"
#include "transport/midi_ports.h"
#include "transport/winmm/winmm_api.h"

namespace halden {

class WinmmPorts : public MidiPorts {
public:
    // Input buffers handed to the input port: several, so that bytes arriving while one
    // is being handed back land in the next one.
    static constexpr size_t kInputBuffers = 4;
    static constexpr size_t kInputBufferSize = 1000;
    // One long message (MIDIHDR) carries at most 64 KiB.
    static constexpr size_t kMaxMessage = 65535;

    // `clock` times the wait for a sent message to be finished with.
    WinmmPorts(WinmmApi& api, Clock& clock, InputSink input, FailureSink failure);
    ~WinmmPorts() override;
    WinmmPorts(const WinmmPorts&) = delete;
    WinmmPorts& operator=(const WinmmPorts&) = delete;

    Outcome enumeratePorts(PortNames& names) override;
    Outcome openPorts(const Port& input, const Port& output) override;
    void closePorts() override;
    [[nodiscard]] StatusCode sendSysEx(ByteView message) override;
    std::string failureText() const override;
    size_t maxMessageSize() const override { return kMaxMessage; }
    // A hardware MIDI port is a MIDI cable: 31250 baud.
    unsigned linkBaud() const override { return cable_ ? 31250 : 0; }
    std::string systemName() const override { return "Windows MIDI (WinMM)"; }

    // How long a send may take before the port counts as failed: four times the
    // message's time on a MIDI cable, and a second more.
    static Clock::Duration sendDeadline(size_t bytes);

private:
    struct InputBuffer {
        MIDIHDR header{};
        std::array<char, kInputBufferSize> data{};
    };

    static void CALLBACK onInput(HANDLE, UINT message, DWORD_PTR self, DWORD_PTR param1, DWORD_PTR);
    static void CALLBACK onOutput(HANDLE, UINT message, DWORD_PTR self, DWORD_PTR, DWORD_PTR);
    void handBackFilledBuffers();  // the hand-back thread
    void stopHandingBack();
    void closeInput();
    StatusCode fail(std::string why);

    WinmmApi& api_;
    bool cable_ = false;
    Clock& clock_;
    InputSink input_;
    FailureSink failure_;
    HMIDIIN in_ = nullptr;
    HMIDIOUT out_ = nullptr;

    std::array<InputBuffer, kInputBuffers> buffers_;
    size_t prepared_ = 0;

    // Filled buffers go back to the port from a thread of its own: no multimedia call
    // may be made from inside the MIDI callback.
    std::mutex handMutex_;
    std::condition_variable handWake_;
    std::deque<MIDIHDR*> filled_;
    bool handing_ = false;
    std::thread handThread_;

    // One message at a time; its header stays here until WinMM has let go of it.
    std::mutex sendMutex_;
    MIDIHDR outHeader_{};
    std::vector<char> outData_;
    std::atomic<bool> sent_{false};

    mutable std::mutex failMutex_;
    std::string failureText_;
    std::atomic<bool> failed_{false};
};

}  // namespace halden

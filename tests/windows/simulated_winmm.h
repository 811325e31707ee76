// A stand-in for winmm.dll: MIDI interfaces whose cable plays at a set pace on a given
// clock, with every call's failure to order. What is sent goes to `onSent` (a simulated
// Halden, say); what `deliver` is given arrives in the input buffers as a driver fills
// them. Windows only, like the calls it stands in for.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/bytes.h"
#include "engine/clock.h"
#include "sim/scheduler.h"
#include "transport/winmm/winmm_api.h"

namespace halden {

class SimulatedWinmm : public WinmmApi {
public:
    struct Device {
        std::string name;
        bool capsFail = false;  // its capabilities cannot be read
        bool cable = false;     // a hardware MIDI port (MOD_MIDIPORT)
    };

    SimulatedWinmm(Clock& clock, Scheduler& scheduler) : clock_(clock), scheduler_(scheduler) {}

    // --- set up by the test ---
    std::vector<Device> inputs{{"USB MIDI In"}};
    std::vector<Device> outputs{{"USB MIDI Out"}};
    unsigned bytesPerSecond = 3125;            // the cable's pace; 0: at once
    std::map<std::string, MMRESULT> failures;  // call name -> result, e.g. "inOpen"
    bool neverFinishes = false;                // a sent message never comes back done
    // Bytes wait (up to a second of real time) for a buffer instead of being lost, as in
    // a driver with a FIFO of its own: for runs where the host's hand-back thread races
    // a virtual clock.
    bool holdBytesForBuffers = false;
    std::function<void(ByteView)> onSent;  // called when a message has been played

    // Bytes arriving on the input cable: they fill the queued buffers in order, a buffer
    // going back when it is full or a SysEx message ends in it; `broken`: the driver
    // reports the message as broken (MIM_LONGERROR). Gives how many bytes found no
    // buffer (and were lost).
    size_t deliver(ByteView bytes, bool broken = false);

    // --- what happened ---
    std::vector<std::string> calls() const;
    size_t queuedBuffers() const;
    bool anythingOpen() const;

    // --- WinmmApi ---
    UINT inGetNumDevs() override { return count("inGetNumDevs", inputs); }
    MMRESULT inGetDevCaps(UINT device, MIDIINCAPSA& caps) override;
    MMRESULT inOpen(HMIDIIN& handle, UINT device, MidiCallback callback,
                    DWORD_PTR instance) override;
    MMRESULT inPrepareHeader(HMIDIIN, MIDIHDR& h) override { return prepare("inPrepareHeader", h); }
    MMRESULT inAddBuffer(HMIDIIN handle, MIDIHDR& header) override;
    MMRESULT inStart(HMIDIIN) override { return setStarted("inStart", true); }
    MMRESULT inStop(HMIDIIN) override { return setStarted("inStop", false); }
    MMRESULT inReset(HMIDIIN handle) override;
    MMRESULT inUnprepareHeader(HMIDIIN, MIDIHDR&) override { return succeed("inUnprepareHeader"); }
    MMRESULT inClose(HMIDIIN handle) override;
    UINT outGetNumDevs() override { return count("outGetNumDevs", outputs); }
    MMRESULT outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override;
    MMRESULT outOpen(HMIDIOUT& handle, UINT device, MidiCallback callback,
                     DWORD_PTR instance) override;
    MMRESULT outPrepareHeader(HMIDIOUT, MIDIHDR& h) override {
        return prepare("outPrepareHeader", h);
    }
    MMRESULT outLongMsg(HMIDIOUT handle, MIDIHDR& header) override;
    MMRESULT outUnprepareHeader(HMIDIOUT, MIDIHDR&) override {
        return succeed("outUnprepareHeader");
    }
    // Nothing to take back: a message that never comes back done was never played.
    MMRESULT outReset(HMIDIOUT) override { return succeed("outReset"); }
    MMRESULT outClose(HMIDIOUT handle) override;

private:
    struct End {
        bool open = false;
        MidiCallback callback = nullptr;
        DWORD_PTR instance = 0;
    };
    // Logs the call and gives its failure if one is set, else runs `body` (with the lock).
    template <class Body>
    MMRESULT step(const char* name, Body body);
    UINT count(const char* name, const std::vector<Device>& devices);
    MMRESULT prepare(const char* name, MIDIHDR& header);
    MMRESULT succeed(const char* name);  // only logged
    MMRESULT setStarted(const char* name, bool started);
    void giveBack(MIDIHDR* header, UINT message);  // lock not held

    Clock& clock_;
    Scheduler& scheduler_;
    mutable std::mutex mutex_;
    std::condition_variable bufferQueued_;
    std::vector<std::string> calls_;
    End in_, out_;
    bool started_ = false;
    std::deque<MIDIHDR*> queued_;
    Clock::Duration cableFreeAt_{0};
};

}  // namespace halden

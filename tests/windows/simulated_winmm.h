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
    unsigned addBufferFailsFrom = 0;           // the N-th midiInAddBuffer fails; 0: never
    bool neverFinishes = false;                // a sent message never comes back done
    // Bytes wait (up to a second of real time) for a buffer instead of being lost, as in
    // a driver with a FIFO of its own: for runs where the host's hand-back thread races
    // a virtual clock.
    bool holdBytesForBuffers = false;
    std::function<void(ByteView)> onSent;  // called when a message has been played

    // Bytes arriving on the input cable: they fill the queued buffers in order, a buffer
    // going back when it is full or a SysEx message ends in it. Returns how many bytes
    // found no buffer (and were lost).
    size_t deliver(ByteView bytes);
    // The same, but the driver reports the message as broken (MIM_LONGERROR).
    size_t deliverBroken(ByteView bytes);

    // --- what happened ---
    std::vector<std::string> calls() const;
    size_t queuedBuffers() const;
    size_t addBufferCalls() const;
    bool anythingOpen() const;

    // --- WinmmApi ---
    UINT inGetNumDevs() override;
    MMRESULT inGetDevCaps(UINT device, MIDIINCAPSA& caps) override;
    MMRESULT inOpen(HMIDIIN& handle, UINT device, MidiCallback callback,
                    DWORD_PTR instance) override;
    MMRESULT inPrepareHeader(HMIDIIN handle, MIDIHDR& header) override;
    MMRESULT inAddBuffer(HMIDIIN handle, MIDIHDR& header) override;
    MMRESULT inStart(HMIDIIN handle) override;
    MMRESULT inStop(HMIDIIN handle) override;
    MMRESULT inReset(HMIDIIN handle) override;
    MMRESULT inUnprepareHeader(HMIDIIN handle, MIDIHDR& header) override;
    MMRESULT inClose(HMIDIIN handle) override;
    UINT outGetNumDevs() override;
    MMRESULT outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override;
    MMRESULT outOpen(HMIDIOUT& handle, UINT device, MidiCallback callback,
                     DWORD_PTR instance) override;
    MMRESULT outPrepareHeader(HMIDIOUT handle, MIDIHDR& header) override;
    MMRESULT outLongMsg(HMIDIOUT handle, MIDIHDR& header) override;
    MMRESULT outUnprepareHeader(HMIDIOUT handle, MIDIHDR& header) override;
    MMRESULT outReset(HMIDIOUT handle) override;
    MMRESULT outClose(HMIDIOUT handle) override;

private:
    MMRESULT call(const char* name);  // lock held: logs it, gives its failure if set
    MMRESULT open(const char* name, size_t devices, UINT device, bool& isOpen,
                  MidiCallback& callback, DWORD_PTR& instance, MidiCallback givenCallback,
                  DWORD_PTR givenInstance);        // lock held
    void giveBack(MIDIHDR* header, UINT message);  // lock not held
    size_t fill(ByteView bytes, UINT message);
    std::condition_variable bufferQueued_;

    Clock& clock_;
    Scheduler& scheduler_;
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    bool inOpen_ = false, outOpen_ = false, started_ = false;
    MidiCallback inCallback_ = nullptr, outCallback_ = nullptr;
    DWORD_PTR inInstance_ = 0, outInstance_ = 0;
    std::deque<MIDIHDR*> queued_;
    size_t addBufferCalls_ = 0;
    Clock::Duration cableFreeAt_{0};
    MIDIHDR* inFlight_ = nullptr;
};

}  // namespace halden

// A stand-in for winmm.dll: MIDI interfaces whose cable plays at a set pace on a given
// clock, with every call's failure to order. What is sent goes to `onSent` (a simulated
// Halden, say); what `deliver` is given arrives in the input buffers as a driver fills
// them. Windows only, like the calls it stands in for.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstring>
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
    size_t deliver(ByteView bytes, bool broken = false) {
        size_t lost = 0;
        std::unique_lock lock(mutex_);
        if (!in_.open || !started_) return bytes.size();
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (queued_.empty() && holdBytesForBuffers) {
                bufferQueued_.wait_for(lock, std::chrono::seconds(1),
                                       [&] { return !queued_.empty(); });
            }
            if (queued_.empty()) {
                ++lost;
                continue;
            }
            // A buffer that is not yet full and whose message has not ended stays first in
            // the queue: the rest of the message goes on into it.
            MIDIHDR* filling = queued_.front();
            filling->lpData[filling->dwBytesRecorded++] = static_cast<char>(bytes[i]);
            if (filling->dwBytesRecorded == filling->dwBufferLength || bytes[i] == 0xF7 ||
                (broken && i + 1 == bytes.size())) {
                queued_.pop_front();
                lock.unlock();
                giveBack(filling, broken ? MIM_LONGERROR : MIM_LONGDATA);
                lock.lock();
            }
        }
        return lost;
    }

    // --- what happened ---
    std::vector<std::string> calls() const { return locked(calls_); }
    size_t queuedBuffers() const { return locked(queued_).size(); }
    bool anythingOpen() const { return locked(in_.open) || locked(out_.open); }

    // --- WinmmApi (every call logged, and failing as set) ---
    UINT inGetNumDevs() override { return count("inGetNumDevs", inputs); }
    MMRESULT inGetDevCaps(UINT device, MIDIINCAPSA& caps) override {
        return step("inGetDevCaps", [&] { return capsOf(inputs, device, caps); });
    }
    MMRESULT inOpen(HMIDIIN& h, UINT device, MidiCallback c, DWORD_PTR i) override {
        return open("inOpen", h, in_, inputs, device, {true, c, i});
    }
    MMRESULT inPrepareHeader(HMIDIIN, MIDIHDR& h) override { return prep("inPrepareHeader", h); }
    MMRESULT inAddBuffer(HMIDIIN, MIDIHDR& header) override {
        return step("inAddBuffer", [&]() -> MMRESULT {
            if (!in_.open) return MMSYSERR_INVALHANDLE;
            if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
            header.dwBytesRecorded = 0;
            queued_.push_back(&header);
            bufferQueued_.notify_all();
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT inStart(HMIDIIN) override { return set("inStart", started_, true); }
    MMRESULT inStop(HMIDIIN) override { return set("inStop", started_, false); }
    // Every queued buffer comes back, empty.
    MMRESULT inReset(HMIDIIN) override {
        std::deque<MIDIHDR*> back;
        const MMRESULT result = step("inReset", [&] {
            started_ = false;
            back.swap(queued_);
            return MMRESULT{MMSYSERR_NOERROR};
        });
        for (MIDIHDR* header : back) {
            header->dwBytesRecorded = 0;
            giveBack(header, MIM_LONGDATA);
        }
        return result;
    }
    MMRESULT inUnprepareHeader(HMIDIIN, MIDIHDR&) override { return log("inUnprepareHeader"); }
    MMRESULT inClose(HMIDIIN) override { return set("inClose", in_.open, false); }
    UINT outGetNumDevs() override { return count("outGetNumDevs", outputs); }
    MMRESULT outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override {
        return step("outGetDevCaps", [&] { return capsOf(outputs, device, caps); });
    }
    MMRESULT outOpen(HMIDIOUT& h, UINT device, MidiCallback c, DWORD_PTR i) override {
        return open("outOpen", h, out_, outputs, device, {true, c, i});
    }
    MMRESULT outPrepareHeader(HMIDIOUT, MIDIHDR& h) override { return prep("outPrepareHeader", h); }
    MMRESULT outLongMsg(HMIDIOUT, MIDIHDR& header) override {
        return step("outLongMsg", [&]() -> MMRESULT {
            if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
            if (neverFinishes) return MMSYSERR_NOERROR;
            // The cable plays one message after another at its pace.
            const int64_t length = header.dwBufferLength;
            cableFreeAt_ =
                std::max(cableFreeAt_, clock_.now()) +
                Clock::Duration(bytesPerSecond ? length * 1'000'000 / bytesPerSecond : 0);
            scheduler_.at(cableFreeAt_, [this, playing = &header,
                                         played = Bytes(header.lpData, header.lpData + length)] {
                if (onSent) onSent(played);
                out_.callback(nullptr, MOM_DONE, out_.instance,
                              reinterpret_cast<DWORD_PTR>(playing), 0);
            });
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT outUnprepareHeader(HMIDIOUT, MIDIHDR&) override { return log("outUnprepareHeader"); }
    // Nothing to take back: a message that never comes back done was never played.
    MMRESULT outReset(HMIDIOUT) override { return log("outReset"); }
    MMRESULT outClose(HMIDIOUT) override { return set("outClose", out_.open, false); }

private:
    struct End {
        bool open = false;
        MidiCallback callback = nullptr;
        DWORD_PTR instance = 0;
    };
    static MMRESULT ok(bool) { return MMSYSERR_NOERROR; }
    template <class T>
    T locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }
    // Logs the call and gives its failure if one is set, else what `body` gives (with the
    // lock held).
    template <class Body>
    auto step(const char* name, Body body) -> decltype(body()) {
        std::lock_guard lock(mutex_);
        calls_.push_back(name);
        const auto failure = failures.find(name);
        return failure != failures.end() ? static_cast<decltype(body())>(failure->second) : body();
    }
    MMRESULT log(const char* name) {
        return step(name, [] { return ok(true); });
    }
    MMRESULT set(const char* name, bool& flag, bool value) {
        return step(name, [&] { return ok(flag = value); });
    }
    UINT count(const char* name, const std::vector<Device>& devices) {
        return step(name, [&] { return static_cast<UINT>(devices.size()); });
    }
    MMRESULT prep(const char* name, MIDIHDR& header) {
        return step(name, [&] { return ok(header.dwFlags |= MHDR_PREPARED); });
    }
    template <class Handle>
    MMRESULT open(const char* name, Handle& handle, End& end, const std::vector<Device>& devices,
                  UINT device, End opened) {
        handle = reinterpret_cast<Handle>(&end);
        return step(name, [&]() -> MMRESULT {
            if (device >= devices.size()) return MMSYSERR_BADDEVICEID;
            return end.open ? MMRESULT{MMSYSERR_ALLOCATED} : ok((end = opened).open);
        });
    }
    // As the system does: the name cut to fit, with its end in the last byte.
    template <class Caps>
    static MMRESULT capsOf(const std::vector<Device>& devices, UINT device, Caps& caps) {
        if (device >= devices.size()) return MMSYSERR_BADDEVICEID;
        if (devices[device].capsFail) return MMSYSERR_NODRIVER;
        caps = Caps{};
        const std::string& name = devices[device].name;
        std::memcpy(caps.szPname, name.data(), std::min(name.size(), sizeof caps.szPname - 1));
        if constexpr (requires { caps.wTechnology; }) {
            caps.wTechnology = devices[device].cable ? MOD_MIDIPORT : MOD_SWSYNTH;
        }
        return MMSYSERR_NOERROR;
    }
    void giveBack(MIDIHDR* header, UINT message) {  // lock not held
        in_.callback(nullptr, message, in_.instance, reinterpret_cast<DWORD_PTR>(header), 0);
    }

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

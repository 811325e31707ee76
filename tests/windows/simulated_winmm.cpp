#include "simulated_winmm.h"

#include <algorithm>
#include <cstring>

namespace halden {

namespace {

const HMIDIIN kIn = reinterpret_cast<HMIDIIN>(0x1001);
const HMIDIOUT kOut = reinterpret_cast<HMIDIOUT>(0x2002);

// As the system does: the name cut to fit, with its end in the last byte.
template <class Caps>
MMRESULT capsOf(const std::vector<SimulatedWinmm::Device>& devices, UINT device, Caps& caps) {
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

template <class End>
MMRESULT open(End& end, size_t devices, UINT device, End opened) {
    if (device >= devices) return MMSYSERR_BADDEVICEID;
    if (end.open) return MMSYSERR_ALLOCATED;
    end = opened;
    return MMSYSERR_NOERROR;
}

}  // namespace

template <class Body>
MMRESULT SimulatedWinmm::step(const char* name, Body body) {
    std::unique_lock lock(mutex_);
    calls_.push_back(name);
    const auto failure = failures.find(name);
    return failure != failures.end() ? failure->second : body(lock);
}

UINT SimulatedWinmm::count(const char* name, const std::vector<Device>& devices) {
    return step(name, [&](auto&) { return static_cast<UINT>(devices.size()); });
}

MMRESULT SimulatedWinmm::prepare(const char* name, MIDIHDR& header) {
    return step(name, [&](auto&) { return header.dwFlags |= MHDR_PREPARED, MMSYSERR_NOERROR; });
}

MMRESULT SimulatedWinmm::succeed(const char* name) {
    return step(name, [](auto&) { return MMSYSERR_NOERROR; });
}

MMRESULT SimulatedWinmm::setStarted(const char* name, bool started) {
    return step(name, [&](auto&) { return started_ = started, MMSYSERR_NOERROR; });
}

std::vector<std::string> SimulatedWinmm::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

size_t SimulatedWinmm::queuedBuffers() const {
    std::lock_guard lock(mutex_);
    return queued_.size();
}

bool SimulatedWinmm::anythingOpen() const {
    std::lock_guard lock(mutex_);
    return in_.open || out_.open;
}

void SimulatedWinmm::giveBack(MIDIHDR* header, UINT message) {
    in_.callback(reinterpret_cast<HANDLE>(kIn), message, in_.instance,
                 reinterpret_cast<DWORD_PTR>(header), 0);
}

size_t SimulatedWinmm::deliver(ByteView bytes, bool broken) {
    size_t lost = 0;
    std::unique_lock lock(mutex_);
    if (!in_.open || !started_) return bytes.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (queued_.empty() && holdBytesForBuffers) {
            bufferQueued_.wait_for(lock, std::chrono::seconds(1), [&] { return !queued_.empty(); });
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

MMRESULT SimulatedWinmm::inGetDevCaps(UINT device, MIDIINCAPSA& caps) {
    return step("inGetDevCaps", [&](auto&) { return capsOf(inputs, device, caps); });
}

MMRESULT SimulatedWinmm::inOpen(HMIDIIN& handle, UINT device, MidiCallback callback,
                                DWORD_PTR instance) {
    handle = kIn;
    return step("inOpen", [&](auto&) {
        return open(in_, inputs.size(), device, {true, callback, instance});
    });
}

MMRESULT SimulatedWinmm::inAddBuffer(HMIDIIN, MIDIHDR& header) {
    return step("inAddBuffer", [&](auto&) -> MMRESULT {
        if (!in_.open) return MMSYSERR_INVALHANDLE;
        if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
        header.dwBytesRecorded = 0;
        queued_.push_back(&header);
        bufferQueued_.notify_all();
        return MMSYSERR_NOERROR;
    });
}

// Every queued buffer comes back, empty.
MMRESULT SimulatedWinmm::inReset(HMIDIIN) {
    return step("inReset", [&](auto& lock) {
        started_ = false;
        std::deque<MIDIHDR*> back;
        back.swap(queued_);
        lock.unlock();
        for (MIDIHDR* header : back) {
            header->dwBytesRecorded = 0;
            giveBack(header, MIM_LONGDATA);
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT SimulatedWinmm::inClose(HMIDIIN) {
    return step("inClose", [&](auto&) -> MMRESULT {
        if (!queued_.empty()) return MIDIERR_STILLPLAYING;
        return in_.open = false, MMSYSERR_NOERROR;
    });
}

MMRESULT SimulatedWinmm::outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) {
    return step("outGetDevCaps", [&](auto&) { return capsOf(outputs, device, caps); });
}

MMRESULT SimulatedWinmm::outOpen(HMIDIOUT& handle, UINT device, MidiCallback callback,
                                 DWORD_PTR instance) {
    handle = kOut;
    return step("outOpen", [&](auto&) {
        return open(out_, outputs.size(), device, {true, callback, instance});
    });
}

MMRESULT SimulatedWinmm::outLongMsg(HMIDIOUT, MIDIHDR& header) {
    return step("outLongMsg", [&](auto&) -> MMRESULT {
        if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
        if (neverFinishes) return MMSYSERR_NOERROR;
        // The cable plays one message after another at its pace.
        const int64_t length = header.dwBufferLength;
        cableFreeAt_ = std::max(cableFreeAt_, clock_.now()) +
                       Clock::Duration(bytesPerSecond ? length * 1'000'000 / bytesPerSecond : 0);
        scheduler_.at(cableFreeAt_, [this, playing = &header,
                                     played = Bytes(header.lpData, header.lpData + length)] {
            if (onSent) onSent(played);
            out_.callback(reinterpret_cast<HANDLE>(kOut), MOM_DONE, out_.instance,
                          reinterpret_cast<DWORD_PTR>(playing), 0);
        });
        return MMSYSERR_NOERROR;
    });
}

MMRESULT SimulatedWinmm::outClose(HMIDIOUT) {
    return step("outClose", [&](auto&) { return out_.open = false, MMSYSERR_NOERROR; });
}

}  // namespace halden

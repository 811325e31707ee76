#include "simulated_winmm.h"

#include <algorithm>
#include <cstring>

namespace halden {

namespace {

HMIDIIN kInHandle = reinterpret_cast<HMIDIIN>(0x1001);
HMIDIOUT kOutHandle = reinterpret_cast<HMIDIOUT>(0x2002);

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

}  // namespace

MMRESULT SimulatedWinmm::open(const char* name, size_t devices, UINT device, bool& isOpen,
                              MidiCallback& callback, DWORD_PTR& instance,
                              MidiCallback givenCallback, DWORD_PTR givenInstance) {
    if (MMRESULT rc = call(name)) return rc;
    if (device >= devices) return MMSYSERR_BADDEVICEID;
    if (isOpen) return MMSYSERR_ALLOCATED;
    isOpen = true;
    callback = givenCallback;
    instance = givenInstance;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::call(const char* name) {
    calls_.push_back(name);
    const auto it = failures.find(name);
    return it == failures.end() ? MMSYSERR_NOERROR : it->second;
}

std::vector<std::string> SimulatedWinmm::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

size_t SimulatedWinmm::queuedBuffers() const {
    std::lock_guard lock(mutex_);
    return queued_.size();
}

size_t SimulatedWinmm::addBufferCalls() const {
    std::lock_guard lock(mutex_);
    return addBufferCalls_;
}

bool SimulatedWinmm::anythingOpen() const {
    std::lock_guard lock(mutex_);
    return inOpen_ || outOpen_;
}

void SimulatedWinmm::giveBack(MIDIHDR* header, UINT message) {
    header->dwFlags |= MHDR_DONE;
    header->dwFlags &= ~MHDR_INQUEUE;
    inCallback_(reinterpret_cast<HANDLE>(kInHandle), message, inInstance_,
                reinterpret_cast<DWORD_PTR>(header), 0);
}

size_t SimulatedWinmm::deliver(ByteView bytes) {
    return fill(bytes, MIM_LONGDATA);
}

size_t SimulatedWinmm::deliverBroken(ByteView bytes) {
    return fill(bytes, MIM_LONGERROR);
}

size_t SimulatedWinmm::fill(ByteView bytes, UINT message) {
    size_t lost = 0;
    std::unique_lock lock(mutex_);
    if (!inOpen_ || !started_) return bytes.size();
    MIDIHDR* filling = nullptr;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = bytes[i];
        if (!filling) {
            if (queued_.empty() && holdBytesForBuffers) {
                bufferQueued_.wait_for(lock, std::chrono::seconds(1),
                                       [this] { return !queued_.empty(); });
            }
            if (queued_.empty()) {
                ++lost;
                continue;
            }
            filling = queued_.front();
        }
        filling->lpData[filling->dwBytesRecorded++] = static_cast<char>(b);
        const bool last = i + 1 == bytes.size();
        if (filling->dwBytesRecorded == filling->dwBufferLength || b == 0xF7 ||
            (last && message == MIM_LONGERROR)) {
            queued_.pop_front();
            MIDIHDR* full = filling;
            filling = nullptr;
            lock.unlock();
            giveBack(full, message);
            lock.lock();
        }
    }
    // A buffer that is not yet full and whose message has not ended stays first in the
    // queue: the rest of the message goes on into it.
    return lost;
}

UINT SimulatedWinmm::inGetNumDevs() {
    std::lock_guard lock(mutex_);
    calls_.push_back("inGetNumDevs");
    return static_cast<UINT>(inputs.size());
}

MMRESULT SimulatedWinmm::inGetDevCaps(UINT device, MIDIINCAPSA& caps) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("inGetDevCaps")) return rc;
    return capsOf(inputs, device, caps);
}

MMRESULT SimulatedWinmm::inOpen(HMIDIIN& handle, UINT device, MidiCallback callback,
                                DWORD_PTR instance) {
    std::lock_guard lock(mutex_);
    const MMRESULT rc = open("inOpen", inputs.size(), device, inOpen_, inCallback_, inInstance_,
                             callback, instance);
    if (rc == MMSYSERR_NOERROR) handle = kInHandle;
    return rc;
}

MMRESULT SimulatedWinmm::inPrepareHeader(HMIDIIN, MIDIHDR& header) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("inPrepareHeader")) return rc;
    header.dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::inAddBuffer(HMIDIIN, MIDIHDR& header) {
    std::lock_guard lock(mutex_);
    ++addBufferCalls_;
    if (MMRESULT rc = call("inAddBuffer")) return rc;
    if (addBufferFailsFrom != 0 && addBufferCalls_ >= addBufferFailsFrom) return MMSYSERR_NOMEM;
    if (!inOpen_) return MMSYSERR_INVALHANDLE;
    if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    header.dwFlags |= MHDR_INQUEUE;
    header.dwFlags &= ~MHDR_DONE;
    header.dwBytesRecorded = 0;
    queued_.push_back(&header);
    bufferQueued_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::inStart(HMIDIIN) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("inStart")) return rc;
    started_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::inStop(HMIDIIN) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("inStop")) return rc;
    started_ = false;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::inReset(HMIDIIN) {
    std::unique_lock lock(mutex_);
    if (MMRESULT rc = call("inReset")) return rc;
    started_ = false;
    // Every queued buffer comes back, empty.
    std::deque<MIDIHDR*> back;
    back.swap(queued_);
    lock.unlock();
    for (MIDIHDR* header : back) {
        header->dwBytesRecorded = 0;
        giveBack(header, MIM_LONGDATA);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::inUnprepareHeader(HMIDIIN, MIDIHDR& header) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("inUnprepareHeader")) return rc;
    if (header.dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header.dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::inClose(HMIDIIN) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("inClose")) return rc;
    if (!queued_.empty()) return MIDIERR_STILLPLAYING;
    inOpen_ = false;
    return MMSYSERR_NOERROR;
}

UINT SimulatedWinmm::outGetNumDevs() {
    std::lock_guard lock(mutex_);
    calls_.push_back("outGetNumDevs");
    return static_cast<UINT>(outputs.size());
}

MMRESULT SimulatedWinmm::outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("outGetDevCaps")) return rc;
    return capsOf(outputs, device, caps);
}

MMRESULT SimulatedWinmm::outOpen(HMIDIOUT& handle, UINT device, MidiCallback callback,
                                 DWORD_PTR instance) {
    std::lock_guard lock(mutex_);
    const MMRESULT rc = open("outOpen", outputs.size(), device, outOpen_, outCallback_,
                             outInstance_, callback, instance);
    if (rc == MMSYSERR_NOERROR) handle = kOutHandle;
    return rc;
}

MMRESULT SimulatedWinmm::outPrepareHeader(HMIDIOUT, MIDIHDR& header) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("outPrepareHeader")) return rc;
    header.dwFlags |= MHDR_PREPARED;
    header.dwFlags &= ~MHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::outLongMsg(HMIDIOUT, MIDIHDR& header) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("outLongMsg")) return rc;
    if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    header.dwFlags |= MHDR_INQUEUE;
    inFlight_ = &header;
    if (neverFinishes) return MMSYSERR_NOERROR;
    // The cable plays one message after another at its pace.
    const Clock::Duration playTime =
        bytesPerSecond == 0 ? Clock::Duration{0}
                            : Clock::Duration(static_cast<int64_t>(header.dwBufferLength) *
                                              1'000'000 / bytesPerSecond);
    cableFreeAt_ = std::max(cableFreeAt_, clock_.now()) + playTime;
    Bytes played(header.lpData, header.lpData + header.dwBufferLength);
    MIDIHDR* playing = &header;
    scheduler_.at(cableFreeAt_, [this, playing, played = std::move(played)] {
        MidiCallback callback;
        DWORD_PTR instance;
        {
            std::lock_guard lock(mutex_);
            if (!(playing->dwFlags & MHDR_INQUEUE)) return;  // taken back by a reset
            playing->dwFlags &= ~MHDR_INQUEUE;
            playing->dwFlags |= MHDR_DONE;
            inFlight_ = nullptr;
            callback = outCallback_;
            instance = outInstance_;
        }
        if (onSent) onSent(played);
        callback(reinterpret_cast<HANDLE>(kOutHandle), MOM_DONE, instance,
                 reinterpret_cast<DWORD_PTR>(playing), 0);
    });
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::outUnprepareHeader(HMIDIOUT, MIDIHDR& header) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("outUnprepareHeader")) return rc;
    if (header.dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header.dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::outReset(HMIDIOUT) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("outReset")) return rc;
    // A message still playing is given back, done.
    if (inFlight_) {
        inFlight_->dwFlags &= ~MHDR_INQUEUE;
        inFlight_->dwFlags |= MHDR_DONE;
        inFlight_ = nullptr;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT SimulatedWinmm::outClose(HMIDIOUT) {
    std::lock_guard lock(mutex_);
    if (MMRESULT rc = call("outClose")) return rc;
    outOpen_ = false;
    return MMSYSERR_NOERROR;
}

}  // namespace halden

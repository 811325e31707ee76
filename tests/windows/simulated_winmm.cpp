#include "simulated_winmm.h"

namespace halden {

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

MMRESULT SimulatedWinmm::inAddBuffer(HMIDIIN, MIDIHDR& header) {
    return step("inAddBuffer", [&]() -> MMRESULT {
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

MMRESULT SimulatedWinmm::outLongMsg(HMIDIOUT, MIDIHDR& header) {
    return step("outLongMsg", [&]() -> MMRESULT {
        if (!(header.dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
        if (neverFinishes) return MMSYSERR_NOERROR;
        // The cable plays one message after another at its pace.
        const int64_t length = header.dwBufferLength;
        cableFreeAt_ = std::max(cableFreeAt_, clock_.now()) +
                       Clock::Duration(bytesPerSecond ? length * 1'000'000 / bytesPerSecond : 0);
        scheduler_.at(cableFreeAt_, [this, playing = &header,
                                     played = Bytes(header.lpData, header.lpData + length)] {
            if (onSent) onSent(played);
            out_.callback(nullptr, MOM_DONE, out_.instance, reinterpret_cast<DWORD_PTR>(playing),
                          0);
        });
        return MMSYSERR_NOERROR;
    });
}

}  // namespace halden

#include "transport/winmm/winmm_api.h"

namespace halden {

namespace {

class SystemWinmm : public WinmmApi {
public:
    UINT inGetNumDevs() override { return midiInGetNumDevs(); }
    MMRESULT inGetDevCaps(UINT device, MIDIINCAPSA& caps) override {
        return midiInGetDevCapsA(device, &caps, sizeof caps);
    }
    MMRESULT inOpen(HMIDIIN& handle, UINT device, MidiCallback callback,
                    DWORD_PTR instance) override {
        return midiInOpen(&handle, device, reinterpret_cast<DWORD_PTR>(callback), instance,
                          CALLBACK_FUNCTION);
    }
    MMRESULT inPrepareHeader(HMIDIIN handle, MIDIHDR& header) override {
        return midiInPrepareHeader(handle, &header, sizeof header);
    }
    MMRESULT inAddBuffer(HMIDIIN handle, MIDIHDR& header) override {
        return midiInAddBuffer(handle, &header, sizeof header);
    }
    MMRESULT inStart(HMIDIIN handle) override { return midiInStart(handle); }
    MMRESULT inStop(HMIDIIN handle) override { return midiInStop(handle); }
    MMRESULT inReset(HMIDIIN handle) override { return midiInReset(handle); }
    MMRESULT inUnprepareHeader(HMIDIIN handle, MIDIHDR& header) override {
        return midiInUnprepareHeader(handle, &header, sizeof header);
    }
    MMRESULT inClose(HMIDIIN handle) override { return midiInClose(handle); }

    UINT outGetNumDevs() override { return midiOutGetNumDevs(); }
    MMRESULT outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override {
        return midiOutGetDevCapsA(device, &caps, sizeof caps);
    }
    MMRESULT outOpen(HMIDIOUT& handle, UINT device, MidiCallback callback,
                     DWORD_PTR instance) override {
        return midiOutOpen(&handle, device, reinterpret_cast<DWORD_PTR>(callback), instance,
                           CALLBACK_FUNCTION);
    }
    MMRESULT outPrepareHeader(HMIDIOUT handle, MIDIHDR& header) override {
        return midiOutPrepareHeader(handle, &header, sizeof header);
    }
    MMRESULT outLongMsg(HMIDIOUT handle, MIDIHDR& header) override {
        return midiOutLongMsg(handle, &header, sizeof header);
    }
    MMRESULT outUnprepareHeader(HMIDIOUT handle, MIDIHDR& header) override {
        return midiOutUnprepareHeader(handle, &header, sizeof header);
    }
    MMRESULT outReset(HMIDIOUT handle) override { return midiOutReset(handle); }
    MMRESULT outClose(HMIDIOUT handle) override { return midiOutClose(handle); }
};

}  // namespace

WinmmApi& systemWinmm() {
    static SystemWinmm api;
    return api;
}

}  // namespace halden

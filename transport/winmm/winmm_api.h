// The Windows multimedia MIDI calls the WinMM backend makes, as a small table of
// functions: the real one calls winmm.dll, tests put a fake in its place.
#pragma once

#include <windows.h>
// windows.h first: mmsystem.h needs its types.
#include <mmsystem.h>

namespace halden {

// The MIDI callback WinMM calls on its own thread (CALLBACK_FUNCTION).
using MidiCallback = void(CALLBACK*)(HANDLE device, UINT message, DWORD_PTR instance,
                                     DWORD_PTR param1, DWORD_PTR param2);

class WinmmApi {
public:
    virtual ~WinmmApi() = default;

    virtual UINT inGetNumDevs() = 0;
    virtual MMRESULT inGetDevCaps(UINT device, MIDIINCAPSA& caps) = 0;
    virtual MMRESULT inOpen(HMIDIIN& handle, UINT device, MidiCallback callback,
                            DWORD_PTR instance) = 0;
    virtual MMRESULT inPrepareHeader(HMIDIIN handle, MIDIHDR& header) = 0;
    virtual MMRESULT inAddBuffer(HMIDIIN handle, MIDIHDR& header) = 0;
    virtual MMRESULT inStart(HMIDIIN handle) = 0;
    virtual MMRESULT inStop(HMIDIIN handle) = 0;
    virtual MMRESULT inReset(HMIDIIN handle) = 0;
    virtual MMRESULT inUnprepareHeader(HMIDIIN handle, MIDIHDR& header) = 0;
    virtual MMRESULT inClose(HMIDIIN handle) = 0;

    virtual UINT outGetNumDevs() = 0;
    virtual MMRESULT outGetDevCaps(UINT device, MIDIOUTCAPSA& caps) = 0;
    virtual MMRESULT outOpen(HMIDIOUT& handle, UINT device, MidiCallback callback,
                             DWORD_PTR instance) = 0;
    virtual MMRESULT outPrepareHeader(HMIDIOUT handle, MIDIHDR& header) = 0;
    virtual MMRESULT outLongMsg(HMIDIOUT handle, MIDIHDR& header) = 0;
    virtual MMRESULT outUnprepareHeader(HMIDIOUT handle, MIDIHDR& header) = 0;
    virtual MMRESULT outReset(HMIDIOUT handle) = 0;
    virtual MMRESULT outClose(HMIDIOUT handle) = 0;
};

// winmm.dll itself.
WinmmApi& systemWinmm();

}  // namespace halden

#include "app/engine_failure.h"

namespace halden {

namespace {

constexpr const char* kCheckConnection =
    "Check that the two ports chosen are the ones the Halden is connected to, that the MIDI "
    "cables run both ways between the interface and the instrument, and that the instrument "
    "is switched on.";
constexpr const char* kNothingChanged = "Nothing was changed: the Halden's firmware is as it was.";
constexpr const char* kLeftErased =
    "The Halden's firmware area is now erased and not completely written, so the instrument "
    "needs this update to complete before it works again.";
constexpr const char* kWhatToCheck =
    "Before you update again, check the MIDI cable or interface and its power, try another "
    "port, close any other program that sends to this port, and keep the instrument switched "
    "on.";
std::string missedCyclesText(unsigned missed) {
    return "The MIDI server missed " + std::to_string(missed) +
           (missed == 1 ? " cycle" : " cycles") +
           " while the computer was busy, so a MIDI message was probably lost on the way. The "
           "Halden is not at fault and takes the update again at once. Close busy programs "
           "first; on Linux, the ALSA MIDI system (--midi-system alsa) does not lose messages "
           "when the computer is busy.";
}
constexpr const char* kAfterCancel = "Update again with this image to complete it.";
constexpr const char* kAfterPortGone =
    "Reconnect the MIDI interface, then update again with this image.";
constexpr const char* kAfterHaldenFault =
    "The Halden itself reported the fault. Update again with this image; if the same fault "
    "comes back, the Halden needs service.";
constexpr const char* kNotConfirmed =
    "The whole image was written, but the Halden does not confirm it. Update again with this "
    "image; if this comes back, the image may not be meant for this Halden.";

}  // namespace

Failure engineFailure(const EngineIo& io, StatusCode rc) {
    if (rc != status::kPortFailure) return {rc, std::string(statusMessage(rc))};
    return {rc, io.receiver.portFailed() ? io.receiver.portFailure() : io.port.failureText()};
}

Failure connectFailure(const EngineIo& io, StatusCode rc) {
    Failure failure = engineFailure(io, rc);
    if (rc == status::kTimeout) failure.text += std::string("\n\n") + kCheckConnection;
    return failure;
}

Failure updateFailure(const EngineIo& io, StatusCode rc, const DeviceInfo& info,
                      const UpdateProgress& done) {
    Failure failure = engineFailure(io, rc);
    if (rc == status::kOtherVersionAfterUpdate && done.imageVersion) {
        failure.text = "The Halden reports version " + versionText(info.version()) +
                       " after the update; the image holds " + versionText(*done.imageVersion);
    }
    // Cycles the MIDI server missed meanwhile explain a lost message better than a cable.
    // (Ports opened again since start counting again: then nothing is known.)
    const unsigned now = io.port.missedCycles();
    const unsigned missed = now > done.missedCyclesBefore ? now - done.missedCyclesBefore : 0;
    std::string next;
    if (isUnproven(rc)) {
        next = kNotConfirmed;
    } else if (done.erased) {
        // What to do next depends on why it stopped: advice about cables after the
        // user's own Cancel or a fault the Halden reports would send people astray.
        switch (rc) {
            case status::kCanceled:
                next = std::string(kLeftErased) + " " + kAfterCancel;
                break;
            case status::kPortFailure:
                next = std::string(kLeftErased) + " " + kAfterPortGone;
                break;
            case status::kEraseFailure:
            case status::kProgrammingFault:
            case status::kDeviceResult5:
                next = std::string(kLeftErased) + "\n\n" + kAfterHaldenFault;
                break;
            default:
                next = std::string(kLeftErased) + "\n\n" +
                       (missed ? missedCyclesText(missed) : std::string(kWhatToCheck));
        }
    } else if (rc == status::kBlocksTooLongForPort || rc == status::kTooManyBlocks) {
        return failure;  // their own text says that nothing was erased
    } else if (rc == status::kTimeout) {
        next = std::string(kNothingChanged) + " " +
               (missed ? missedCyclesText(missed) : std::string(kCheckConnection));
    } else {
        next = kNothingChanged;
    }
    failure.text += "\n\n" + next;
    return failure;
}

}  // namespace halden

// Status codes, their fixed messages, and the other fixed texts of the updater.
#pragma once

#include <string_view>

namespace halden {

// 0 is success; every other value travels unchanged up to the front end.
using StatusCode = unsigned;

namespace status {
inline constexpr StatusCode kOk = 0;
inline constexpr StatusCode kCannotOpenFile = 1;
inline constexpr StatusCode kCrcError = 2;
inline constexpr StatusCode kImageCorrupt = 3;
inline constexpr StatusCode kUnknownVersion = 4;
inline constexpr StatusCode kCanceled = 5;
inline constexpr StatusCode kResponseTooLong = 6;
inline constexpr StatusCode kTimeout = 7;
inline constexpr StatusCode kResponseUnknown = 8;
inline constexpr StatusCode kEraseFailure = 9;
inline constexpr StatusCode kOutOfMemory = 10;
inline constexpr StatusCode kBadChecksum = 11;
inline constexpr StatusCode kBadLength = 12;
inline constexpr StatusCode kBadCheckcode = 13;
inline constexpr StatusCode kProgrammingFault = 14;
inline constexpr StatusCode kDeviceResult5 = 15;
// A MIDI port failed while in use. Never shown through statusMessage: the front end
// shows the port's own text as a fatal error and ends the program with exit code 1.
inline constexpr StatusCode kPortFailure = 16;
// The Halden's blocks would need longer messages than the MIDI port carries. Found
// right after the handshake, before anything is erased.
inline constexpr StatusCode kBlocksTooLongForPort = 17;
// An area would need more blocks than a 14-bit block number can count (the Halden's
// block size is too small for it). Found before anything is erased.
inline constexpr StatusCode kTooManyBlocks = 18;
// The update was written and the identity read back, but the Halden does not prove it
// took the firmware: its image status is not good, or its version is not the image's.
inline constexpr StatusCode kNotGoodAfterUpdate = 19;
inline constexpr StatusCode kOtherVersionAfterUpdate = 20;
// Another halden program holds one of the two ports (it may be updating the Halden
// there). Found before anything is sent.
inline constexpr StatusCode kPortBusy = 21;
}  // namespace status

[[nodiscard]] std::string_view statusMessage(StatusCode code);

namespace text {
inline constexpr std::string_view kAppTitle = "Halden Firmware Update Utility";
inline constexpr std::string_view kErrorTitle = "Halden Firmware Update Utility Error";
inline constexpr std::string_view kConnecting = "Connecting...";
inline constexpr std::string_view kDelaying = "Delaying...";
inline constexpr std::string_view kPreparingArea = "Preparing Halden area...";
inline constexpr std::string_view kUpdatingArea = "Updating Halden area...";
inline constexpr std::string_view kReadingVersion = "Reading updated version #...";
inline constexpr std::string_view kUpToDateQuestion =
    "The Halden image in the Kestrel 9 is verified good and the version # matches the update "
    "file. Updating with this image file is unnecessary and will change nothing! Update anyway?";
inline constexpr std::string_view kConnectionEstablished = "Connection established!";
inline constexpr std::string_view kUpdateSucceeded = "Halden was successfully updated.";
}  // namespace text

}  // namespace halden

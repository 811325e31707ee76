// The history of updates: one line for every update from any of the programs, appended
// to a file in the user's state folder, so that a service bench can tell afterwards
// which instrument got what, when, and with what result.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/clock.h"
#include "engine/device.h"
#include "engine/result.h"
#include "engine/update.h"

namespace halden {

struct HistoryEntry {
    std::string time;  // UTC, "2026-12-08T06:50:01Z"; filled in when appended
    std::string program;
    std::string midiSystem;
    std::string output, input;  // port names
    std::string serial;
    std::string versionBefore, versionAfter;  // empty: not known (not read, not good)
    std::string image;                        // the file's name
    std::string checksum;                     // the image's, "0xEBB0"
    StatusCode status = status::kOk;
    std::string result;  // the status's text
    double seconds = 0;
};

// What one update gives the history: the identity before (from its handshake) and after
// (when it was read back).
HistoryEntry updateEntry(std::string program, std::string midiSystem, std::string output,
                         std::string input, const std::string& imagePath, ByteView image,
                         const UpdateProgress& done, const DeviceInfo& after, StatusCode rc,
                         Clock::Duration took);

// The time now, as entries are stamped with it.
std::string utcNow();

// One line: the fields, each followed by a tab, then the line's CRC-16 in four hex
// digits. Tabs, line ends and other control characters in a field become spaces.
std::string historyLine(const HistoryEntry& entry);
// None for a line that is not a whole entry (one cut off by a crash, say).
std::optional<HistoryEntry> parseHistoryLine(std::string_view line);

// Where the programs keep it: $XDG_STATE_HOME/halden/history.log (or
// ~/.local/state/halden/history.log); %LOCALAPPDATA%\Halden\history.log on Windows.
std::string defaultHistoryPath();

class History {
public:
    virtual ~History() = default;
    // Stamps the time and appends; a failure says why, and earlier lines stay as they
    // were.
    virtual Outcome append(HistoryEntry entry) = 0;
};

// The history file. An append is one write of a whole line, flushed to the disk; one
// that fails (a full disk) is cut off again, and a line left without its end by a crash
// is closed before the next one, so that no earlier line is ever changed.
class HistoryFile : public History {
public:
    explicit HistoryFile(std::string path) : path_(std::move(path)) {}
    Outcome append(HistoryEntry entry) override;
    const std::string& path() const { return path_; }

private:
    static std::mutex& writers();
    std::string path_;
};

struct HistoryListing {
    std::vector<HistoryEntry> entries;
    size_t damaged = 0;  // lines that are not whole entries
};
// A missing file is an empty history.
Result<HistoryListing> readHistory(const std::string& path);

// The history the programs write, at `path` or else in the usual place.
std::unique_ptr<History> makeHistory(const std::string& path);

}  // namespace halden

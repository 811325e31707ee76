#include "app/history.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/files.h"
#include "app/image_file.h"

namespace halden {

namespace {

namespace fs = std::filesystem;

constexpr size_t kFields = 13;

// A line ends with the CRC of what comes before it, so that a line cut off anywhere
// (by a crash) is never read as a whole entry.
std::string lineCheck(std::string_view content) {
    char text[8];
    std::snprintf(
        text, sizeof text, "%04x",
        crc16Arc(ByteView(reinterpret_cast<const uint8_t*>(content.data()), content.size())));
    return text;
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

Failure cannotWrite(const std::string& path, const std::string& why) {
    return {status::kCannotOpenFile, "Can't write the update history " + path + ": " + why};
}

}  // namespace

std::string utcNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());  // counted from 1970 in UTC
    const year_month_day date(floor<days>(now));
    const hh_mm_ss time(now - floor<days>(now));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

HistoryEntry updateEntry(std::string program, std::string midiSystem, std::string output,
                         std::string input, const std::string& imagePath, ByteView image,
                         const UpdateProgress& done, const DeviceInfo& after, StatusCode rc,
                         Clock::Duration took) {
    HistoryEntry e;
    e.program = std::move(program);
    e.midiSystem = std::move(midiSystem);
    e.output = std::move(output);
    e.input = std::move(input);
    e.serial = done.before ? done.before->serialText : std::string();
    e.versionBefore = done.before ? done.before->versionText : std::string();
    // The identity read back: only after a whole update.
    if (rc == status::kOk || isUnproven(rc)) {
        e.serial = after.serialText;
        e.versionAfter = after.versionText;
    }
    const size_t slash = lastSeparator(imagePath);
    e.image = slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);
    if (image.size() >= kImageHeaderSize) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%04X", storedChecksum(image));
        e.checksum = text;
    }
    e.status = rc;
    e.result = statusMessage(rc);
    e.seconds = std::chrono::duration<double>(took).count();
    return e;
}

std::string historyLine(const HistoryEntry& e) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", e.seconds);
    const std::string fields[kFields] = {e.time,
                                         e.program,
                                         e.midiSystem,
                                         e.output,
                                         e.input,
                                         e.serial,
                                         e.versionBefore,
                                         e.versionAfter,
                                         e.image,
                                         e.checksum,
                                         std::to_string(e.status),
                                         e.result,
                                         seconds};
    std::string line;
    for (size_t i = 0; i < kFields; ++i) {
        line += oneLine(fields[i]);
        line += '\t';
    }
    return line + lineCheck(line);
}

std::optional<HistoryEntry> parseHistoryLine(std::string_view whole) {
    const size_t lastTab = whole.rfind('\t');
    if (lastTab == std::string_view::npos ||
        whole.substr(lastTab + 1) != lineCheck(whole.substr(0, lastTab + 1))) {
        return std::nullopt;
    }
    const std::string_view line = whole.substr(0, lastTab);
    std::vector<std::string> f;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        f.emplace_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (f.size() != kFields || f[0].size() != 20 || f[0].back() != 'Z') return std::nullopt;
    char* end = nullptr;
    const unsigned long code = std::strtoul(f[10].c_str(), &end, 10);
    if (f[10].empty() || *end != '\0' || code > 255) return std::nullopt;
    const double seconds = std::strtod(f[12].c_str(), &end);
    if (f[12].empty() || *end != '\0') return std::nullopt;
    return HistoryEntry{f[0],
                        f[1],
                        f[2],
                        f[3],
                        f[4],
                        f[5],
                        f[6],
                        f[7],
                        f[8],
                        f[9],
                        static_cast<StatusCode>(code),
                        f[11],
                        seconds};
}

std::string defaultHistoryPath() {
    return pathText(userFolder(UserFolder::State) / "history.log");
}

// Updates of several Haldens at once each have a HistoryFile of their own. The file's
// lock keeps out every other writer, in this process too, but on a network file system
// it may hold only between processes: this lock holds between the threads.
std::mutex& HistoryFile::writers() {
    static std::mutex mutex;
    return mutex;
}

Outcome HistoryFile::append(HistoryEntry entry) {
    std::lock_guard guard(writers());
    entry.time = utcNow();
    std::string line = historyLine(entry) + "\n";
    const fs::path name = systemPath(path_);
    std::error_code ec;
    if (name.has_parent_path()) {
        fs::create_directories(name.parent_path(), ec);
        if (ec) return cannotWrite(path_, ec.message());
    }
    AppendFile file(name);
    if (!file.isOpen()) return cannotWrite(path_, std::strerror(errno));
    const long long size = file.size();
    // A line cut off by a crash keeps its place, alone on its line.
    if (char c = '\n'; size > 0 && file.lastByte(size, c) && c != '\n') line.insert(0, "\n");
    size_t written = 0;
    int error = 0;
    while (written < line.size()) {
        const long long n = file.write(line.data() + written, line.size() - written);
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            if (error == EINTR) continue;
            break;
        }
        written += static_cast<size_t>(n);
    }
    if (error == 0 && !file.toDisk()) error = errno ? errno : EIO;
    if (error != 0 && size >= 0) {
        // Half a line is taken back, so that the next append starts clean.
        (void)file.cutTo(size);
        (void)file.toDisk();
    }
    if (error != 0) return cannotWrite(path_, std::strerror(error));
    return {};
}

Result<HistoryListing> readHistory(const std::string& path) {
    HistoryListing listing;
    const fs::path name = systemPath(path);
    std::error_code ec;
    if (!fs::exists(name, ec)) return listing;
    if (fs::is_directory(name, ec)) {
        return Failure{status::kCannotOpenFile,
                       "Can't read the update history " + path + ": it is a folder"};
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        return Failure{status::kCannotOpenFile,
                       "Can't read the update history " + path + ": " + std::strerror(errno)};
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // edited on Windows
        if (auto entry = parseHistoryLine(line)) {
            listing.entries.push_back(std::move(*entry));
        } else {
            ++listing.damaged;
        }
    }
    return listing;
}

std::unique_ptr<History> makeHistory(const std::string& path) {
    return std::make_unique<HistoryFile>(path.empty() ? defaultHistoryPath() : path);
}

}  // namespace halden

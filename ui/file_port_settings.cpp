#include "ui/file_port_settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace halden {

namespace {

constexpr const char* kInputKey = "InputBus";
constexpr const char* kOutputKey = "OutputBus";

bool parseValue(const std::string& text, int& value) {
    if (text.empty() || text.size() > 11) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1 || v > 0x7FFFFFFF) return false;
    value = static_cast<int>(v);
    return true;
}

// Writes the whole text to a new file beside `path`, flushes it to the disk, and puts
// it in place of `path`.
bool replaceFile(const std::string& path, const std::string& text) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

}  // namespace

FilePortSettings::FilePortSettings(std::string path, MessageBoxes& boxes)
    : StoredPortSettings(boxes), path_(std::move(path)) {}

std::string FilePortSettings::defaultPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = ".";
    }
    return (base / "halden" / "ports.conf").string();
}

bool FilePortSettings::read(int& input, int& output) {
    std::ifstream in(path_);
    if (!in) return false;
    std::optional<int> readInput, readOutput;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        int value = 0;
        if (!parseValue(line.substr(eq + 1), value)) continue;
        if (key == kInputKey) readInput = value;
        if (key == kOutputKey) readOutput = value;
    }
    if (!readInput) return false;
    input = *readInput;
    if (!readOutput) return false;
    output = *readOutput;
    return true;
}

std::optional<StoredPortSettings::WriteFailure> FilePortSettings::write(int input, int output) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    if (ec) return WriteFailure{};  // like a store that cannot be opened: no message
    std::ostringstream text;
    text << kInputKey << '=' << input << '\n' << kOutputKey << '=' << output << '\n';
    // Both values go in one file, so a failure is the first value's.
    if (!replaceFile(path_, text.str())) {
        return WriteFailure{"Unable to set the Input Bus info to the registry."};
    }
    return std::nullopt;
}

}  // namespace halden

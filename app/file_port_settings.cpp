#include "app/file_port_settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/atomic_file.h"
#include "app/files.h"
#include "app/image_file.h"

namespace halden {

namespace {

constexpr const char* kInputKey = "InputBus";
constexpr const char* kOutputKey = "OutputBus";
constexpr const char* kInputNameKey = "InputBusName";
constexpr const char* kOutputNameKey = "OutputBusName";

bool parseValue(const std::string& text, int& value) {
    if (text.empty() || text.size() > 11) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1 || v > 0x7FFFFFFF) return false;
    value = static_cast<int>(v);
    return true;
}

// A port name stays on its line: a name with a line break in it is not kept.
std::string storable(const std::string& name) {
    return name.find_first_of("\r\n") == std::string::npos ? name : std::string();
}

}  // namespace

FilePortSettings::FilePortSettings(std::string path, MessageBoxes& boxes)
    : StoredPortSettings(boxes), path_(std::move(path)) {}

std::string FilePortSettings::defaultPath() {
    return pathText(userFolder(UserFolder::Config) / "ports.conf");
}

bool FilePortSettings::usable() {
    if (usable_) return *usable_;
    namespace fs = std::filesystem;
    const fs::path name = systemPath(path_);
    std::error_code ec;
    const fs::file_status status = fs::status(name, ec);
    std::string why;
    if (fs::is_directory(status)) {
        why = "it is a folder";
    } else if (fs::exists(status) && !fs::is_regular_file(status)) {
        // A device or a pipe: reading could go on for ever, or wait for ever.
        why = "it is not a regular file";
    } else if (fs::is_regular_file(status) && fs::file_size(name, ec) > kMaxSize && !ec) {
        why = "it is larger than a settings file can be (64 KiB)";
    }
    usable_ = why.empty();
    if (!why.empty()) {
        boxes().errorBox("Can't use the settings file " + path_ + ": " + why +
                         ". The chosen MIDI ports are not remembered this time.");
    }
    return *usable_;
}

bool FilePortSettings::read(PortChoice& choice) {
    if (!usable()) return false;
    std::ifstream file(systemPath(path_));
    if (!file) return false;
    // The limit holds even for a file that grew since it was looked at.
    std::string text(static_cast<size_t>(kMaxSize) + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > kMaxSize) return false;
    std::istringstream in(text);
    std::optional<int> readInput, readOutput;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == kInputNameKey) choice.inputName = value;
        if (key == kOutputNameKey) choice.outputName = value;
        int number = 0;
        if (!parseValue(value, number)) continue;
        if (key == kInputKey) readInput = number;
        if (key == kOutputKey) readOutput = number;
    }
    if (!readInput) return false;
    choice.input = *readInput;
    if (!readOutput) return false;
    choice.output = *readOutput;
    return true;
}

Outcome FilePortSettings::write(const PortChoice& choice) {
    // Not ours to replace; the user has been told.
    if (!usable()) return {};
    std::ostringstream text;
    text << kInputKey << '=' << choice.input << '\n' << kOutputKey << '=' << choice.output << '\n';
    if (const std::string name = storable(choice.inputName); !name.empty()) {
        text << kInputNameKey << '=' << name << '\n';
    }
    if (const std::string name = storable(choice.outputName); !name.empty()) {
        text << kOutputNameKey << '=' << name << '\n';
    }
    if (const Outcome written = replaceFile(path_, text.str()); !written) {
        return Failure{written.failure().code,
                       "Can't save the chosen MIDI ports: " + written.failure().text};
    }
    return {};
}

}  // namespace halden

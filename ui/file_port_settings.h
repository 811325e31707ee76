#pragma once

#include <optional>
#include <string>
#include <utility>

#include "engine/host.h"
#include "ui/port_settings.h"

namespace halden {

// The selections in a small text file ("InputBus=1" and "OutputBus=2" lines), replaced
// atomically: a crash or a full disk leaves the old file or the new one, never half of
// one. A missing, unreadable or damaged file reads as a first run.
class FilePortSettings : public PortSettings {
public:
    FilePortSettings(std::string path, MessageBoxes& boxes);

    bool load(int& input, int& output) override;
    bool save(int input, int output) override;

    // $XDG_CONFIG_HOME/halden/ports.conf, or ~/.config/halden/ports.conf.
    static std::string defaultPath();

private:
    std::string path_;
    MessageBoxes& boxes_;
    std::optional<std::pair<int, int>> stored_;  // what the file holds, when known
    bool failing_ = false;                       // the last save failed and was reported
};

}  // namespace halden

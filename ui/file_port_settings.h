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
class FilePortSettings : public StoredPortSettings {
public:
    FilePortSettings(std::string path, MessageBoxes& boxes);

    // $XDG_CONFIG_HOME/halden/ports.conf, or ~/.config/halden/ports.conf.
    static std::string defaultPath();

protected:
    bool read(int& input, int& output) override;
    std::optional<WriteFailure> write(int input, int output) override;

private:
    std::string path_;
};

}  // namespace halden

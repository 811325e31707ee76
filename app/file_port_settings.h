#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/port_settings.h"
#include "engine/host.h"

namespace halden {

// The selections in a small text file ("InputBus=1", "OutputBus=2" and the ports' names
// as "InputBusName=..." and "OutputBusName=..." lines), replaced
// atomically: a crash or a full disk leaves the old file or the new one, never half of
// one. A missing, unreadable or damaged file reads as a first run. A path that is not a
// regular file of sane size (a folder, a device, something else's big file) is neither
// read nor written, and the user is told so once.
class FilePortSettings : public StoredPortSettings {
public:
    // More than a settings file could ever hold.
    static constexpr std::uintmax_t kMaxSize = 64 * 1024;

    FilePortSettings(std::string path, MessageBoxes& boxes);

    // $XDG_CONFIG_HOME/halden/ports.conf, or ~/.config/halden/ports.conf.
    static std::string defaultPath();

protected:
    bool read(PortChoice& choice) override;
    Outcome write(const PortChoice& choice) override;

private:
    // False when the file is not to be used; decided at the first read or write.
    bool usable();

    std::string path_;
    std::optional<bool> usable_;
};

}  // namespace halden

#pragma once

#include <string>

#include "app/port_settings.h"
#include "engine/host.h"

namespace halden {

// The selections in a small text file ("InputBus=1", "OutputBus=2" and the ports' names
// as "InputBusName=..." and "OutputBusName=..." lines), replaced
// atomically: a crash or a full disk leaves the old file or the new one, never half of
// one. A missing, unreadable or damaged file reads as a first run.
class FilePortSettings : public StoredPortSettings {
public:
    FilePortSettings(std::string path, MessageBoxes& boxes);

    // $XDG_CONFIG_HOME/halden/ports.conf, or ~/.config/halden/ports.conf.
    static std::string defaultPath();

protected:
    bool read(PortChoice& choice) override;
    Outcome write(const PortChoice& choice) override;

private:
    std::string path_;
};

}  // namespace halden

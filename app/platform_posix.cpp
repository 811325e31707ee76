// What the apps differ in on Linux: the chosen ports kept in a file in the configuration
// folder.
#include "app/desktop.h"
#include "app/file_port_settings.h"
#include "app/options.h"

namespace halden {

const char* const kHistoryPlace = "$XDG_STATE_HOME/halden/history.log";
const char* const kSettingsPlace = "$XDG_CONFIG_HOME/halden/ports.conf";

std::unique_ptr<PortSettings> makePortSettings(const std::string& path, MessageBoxes& boxes) {
    return std::make_unique<FilePortSettings>(path.empty() ? FilePortSettings::defaultPath() : path,
                                              boxes);
}

}  // namespace halden

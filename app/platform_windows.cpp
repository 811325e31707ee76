// What the apps differ in on Windows: the chosen ports kept in the registry unless a
// file is named.
#include "app/desktop.h"
#include "app/file_port_settings.h"
#include "app/options.h"
#include "app/registry_port_settings.h"

namespace halden {

const char* const kHistoryPlace = "%LOCALAPPDATA%\\Halden\\history.log";
const char* const kSettingsPlace = "the registry";

std::unique_ptr<PortSettings> makePortSettings(const std::string& path, MessageBoxes& boxes) {
    if (path.empty()) return std::make_unique<RegistryPortSettings>(boxes);
    return std::make_unique<FilePortSettings>(path, boxes);
}

}  // namespace halden

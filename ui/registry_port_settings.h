// The selections in the registry: REG_DWORD values "InputBus" and "OutputBus" under
// HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick\Halden (-1 stored as 0xFFFFFFFF).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "engine/host.h"
#include "ui/port_settings.h"

namespace halden {

class RegistryPortSettings : public PortSettings {
public:
    static constexpr const char* kSubkey = "SOFTWARE\\Tarnwick\\Halden";

    // A user without administrator rights cannot open the key under `primary` with full
    // access; then the same subkey under `fallback` serves for the whole run.
    explicit RegistryPortSettings(MessageBoxes& boxes, std::string subkey = kSubkey,
                                  HKEY primary = HKEY_LOCAL_MACHINE,
                                  HKEY fallback = HKEY_CURRENT_USER);

    bool load(int& input, int& output) override;
    bool save(int input, int output) override;

    // Whether the fall-back is in use (decided at the first load or save).
    bool usingFallback() const { return root_ == fallback_; }

private:
    HKEY openKey();  // nullptr when it cannot be opened or created

    MessageBoxes& boxes_;
    std::string subkey_;
    HKEY primary_;
    HKEY fallback_;
    HKEY root_ = nullptr;                        // chosen at the first open
    std::optional<std::pair<int, int>> stored_;  // what the registry holds, when known
    bool failing_ = false;                       // the last save failed and was reported
};

}  // namespace halden

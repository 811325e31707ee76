// The selections in the registry: REG_DWORD values "InputBus" and "OutputBus" under
// HKEY_LOCAL_MACHINE\SOFTWARE\Tarnwick\Halden (-1 stored as 0xFFFFFFFF), and the ports'
// names beside them as REG_SZ values "InputBusName" and "OutputBusName".
#pragma once

#include <windows.h>

#include <string>

#include "app/port_settings.h"
#include "engine/host.h"

namespace halden {

class RegistryPortSettings : public StoredPortSettings {
public:
    static constexpr const char* kSubkey = "SOFTWARE\\Tarnwick\\Halden";

    // A user without administrator rights cannot open the key under `primary` with full
    // access; then the same subkey under `fallback` serves for the whole run.
    explicit RegistryPortSettings(MessageBoxes& boxes, std::string subkey = kSubkey,
                                  HKEY primary = HKEY_LOCAL_MACHINE,
                                  HKEY fallback = HKEY_CURRENT_USER);

    // Whether the fall-back is in use (decided at the first load or save).
    bool usingFallback() const { return root_ == fallback_; }

protected:
    bool read(PortChoice& choice) override;
    Outcome write(const PortChoice& choice) override;

private:
    HKEY openKey();  // nullptr when it cannot be opened or created

    std::string subkey_;
    HKEY primary_;
    HKEY fallback_;
    HKEY root_ = nullptr;  // chosen at the first open
};

}  // namespace halden

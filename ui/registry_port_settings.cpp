#include "ui/registry_port_settings.h"

namespace halden {

namespace {

// The 32-bit registry view, where the earlier 32-bit versions of this program kept the
// selections: an update of the program keeps the user's choice.
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

class Key {
public:
    explicit Key(HKEY key) : key_(key) {}
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_;
};

// A DWORD value; one larger than 4 bytes fails, whatever its type.
bool readValue(HKEY key, const char* name, int& value) {
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    value = static_cast<int>(data);
    return true;
}

bool writeValue(HKEY key, const char* name, int value) {
    const DWORD data = static_cast<DWORD>(value);
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data) == ERROR_SUCCESS;
}

HKEY createKey(HKEY root, const std::string& subkey) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

}  // namespace

RegistryPortSettings::RegistryPortSettings(MessageBoxes& boxes, std::string subkey, HKEY primary,
                                           HKEY fallback)
    : StoredPortSettings(boxes),
      subkey_(std::move(subkey)),
      primary_(primary),
      fallback_(fallback) {}

HKEY RegistryPortSettings::openKey() {
    if (root_) return createKey(root_, subkey_);
    if (HKEY key = createKey(primary_, subkey_)) {
        root_ = primary_;
        return key;
    }
    root_ = fallback_;
    return createKey(root_, subkey_);
}

bool RegistryPortSettings::read(int& input, int& output) {
    const Key key(openKey());
    if (!key.get()) return false;
    return readValue(key.get(), "InputBus", input) && readValue(key.get(), "OutputBus", output);
}

std::optional<StoredPortSettings::WriteFailure> RegistryPortSettings::write(int input, int output) {
    const Key key(openKey());
    if (!key.get()) return WriteFailure{};  // no message, as the key cannot be opened
    if (!writeValue(key.get(), "InputBus", input)) {
        return WriteFailure{"Unable to set the Input Bus info to the registry."};
    }
    if (!writeValue(key.get(), "OutputBus", output)) {
        return WriteFailure{"Unable to set the Output Bus info to the registry."};
    }
    return std::nullopt;
}

}  // namespace halden

#include "app/registry_port_settings.h"

#include "app/wide_text.h"

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

// A port name, kept beside the position as REG_SZ (UTF-8 inside, UTF-16 in the registry).
std::string readName(HKEY key, const char* name) {
    wchar_t data[512] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const std::wstring wide = widen(name);
    if (RegQueryValueExW(key, wide.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return narrow(std::wstring(data, size / sizeof(wchar_t)).c_str());
}

bool writeName(HKEY key, const char* name, const std::string& value) {
    const std::wstring wide = widen(value);
    return RegSetValueExW(key, widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
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

bool RegistryPortSettings::read(PortChoice& choice) {
    const Key key(openKey());
    if (!key.get()) return false;
    choice.inputName = readName(key.get(), "InputBusName");
    choice.outputName = readName(key.get(), "OutputBusName");
    return readValue(key.get(), "InputBus", choice.input) &&
           readValue(key.get(), "OutputBus", choice.output);
}

Outcome RegistryPortSettings::write(const PortChoice& choice) {
    const Key key(openKey());
    if (!key.get()) {
        return Failure{status::kCannotOpenFile,
                       "Unable to open the registry key " + subkey_ + " to keep the chosen ports."};
    }
    if (!writeValue(key.get(), "InputBus", choice.input)) {
        return Failure{status::kCannotOpenFile,
                       "Unable to set the Input Bus info to the registry."};
    }
    if (!writeValue(key.get(), "OutputBus", choice.output)) {
        return Failure{status::kCannotOpenFile,
                       "Unable to set the Output Bus info to the registry."};
    }
    // The names are a help for finding a port again; positions alone still work.
    (void)writeName(key.get(), "InputBusName", choice.inputName);
    (void)writeName(key.get(), "OutputBusName", choice.outputName);
    return {};
}

}  // namespace halden

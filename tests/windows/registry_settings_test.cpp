// The registry store against Wine's real registry, under a test subkey of its own so
// that a user's values are never touched.
#include <gtest/gtest.h>

#include <random>

#include "app/registry_port_settings.h"
#include "port_positions.h"
#include "rig.h"

namespace halden {
namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;

struct RegistryRig {
    RegistryRig()
        : subkey("SOFTWARE\\Tarnwick\\HaldenTest-" + std::to_string(std::random_device{}())) {}
    ~RegistryRig() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyExA(root, subkey.c_str(), kView, 0);
        }
    }
    RegistryPortSettings store(HKEY primary = HKEY_LOCAL_MACHINE) {
        return RegistryPortSettings(boxes, subkey, primary);
    }
    // Writes a value as another program might have.
    void put(HKEY root, const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetKeyValueA(key, nullptr, name, type, data, size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // A value as stored: its type and bytes.
    std::pair<DWORD, std::vector<BYTE>> get(HKEY root, const char* name) {
        std::vector<BYTE> data(64);
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        if (RegGetValueA(root, subkey.c_str(), name, RRF_RT_ANY | RRF_SUBKEY_WOW6432KEY, &type,
                         data.data(), &size) != ERROR_SUCCESS) {
            return {};
        }
        data.resize(size);
        return {type, data};
    }

    std::string subkey;
    test::ScriptedBoxes boxes;
};

// A first run loads nothing, quietly; then both positions are kept as DWORDs, no
// choice (-1) too. Where the machine-wide key cannot be opened with full access (here: a
// root that is no key at all), the user's own serves for the whole run.
TEST(RegistryPortSettings, KeepsBothValuesAsDwords) {
    const HKEY unusable = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFFFF01));
    for (const HKEY primary : {HKEY_LOCAL_MACHINE, unusable}) {
        const bool fallback = primary == unusable;
        RegistryRig rig;
        int in = -1, out = -1;
        EXPECT_FALSE(test::loadPositions(rig.store(primary), in, out));
        EXPECT_EQ(std::pair(in, out), std::pair(-1, -1));
        for (const auto& [input, output] : {std::pair(1, 2), std::pair(-1, 0)}) {
            RegistryPortSettings store = rig.store(primary);
            ASSERT_TRUE(store.save(PortChoice{input, output, {}, {}}));
            EXPECT_EQ(store.usingFallback(), fallback);
            ASSERT_TRUE(test::loadPositions(rig.store(primary), in, out));
            EXPECT_EQ(std::pair(in, out), std::pair(input, output));
        }
        EXPECT_EQ(rig.get(fallback ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, "InputBus"),
                  (std::pair<DWORD, std::vector<BYTE>>{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}));
        EXPECT_TRUE(
            rig.get(fallback ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, "InputBus").second.empty());
        EXPECT_TRUE(rig.boxes.errors.empty());
    }
}

TEST(RegistryPortSettings, AValueThatCannotBeReadFailsTheLoad) {
    RegistryRig rig;
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    rig.put(HKEY_LOCAL_MACHINE, "InputBus", REG_BINARY, eight, sizeof eight);  // too large
    rig.put(HKEY_LOCAL_MACHINE, "OutputBus", REG_BINARY, eight, 4);
    int in = -1, out = -1;
    EXPECT_FALSE(test::loadPositions(rig.store(), in, out));
    EXPECT_EQ(in, -1);
    RegistryRig onlyFirst;
    const DWORD three = 3;
    onlyFirst.put(HKEY_LOCAL_MACHINE, "InputBus", REG_DWORD, &three, sizeof three);
    EXPECT_FALSE(test::loadPositions(onlyFirst.store(), in, out));
    EXPECT_EQ(std::pair(in, out), std::pair(3, -1));  // read before the failure: it stays
}

}  // namespace
}  // namespace halden

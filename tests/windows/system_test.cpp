// Windows-only pieces against the system itself. The registry store against Wine's real
// registry, under a test subkey of its own so that a user's values are never touched. The
// console's stop events act as Cancel (Wine here cannot raise real console events, so the
// handler is called as the system would call it).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <optional>
#include <random>
#include <thread>

#include "app/registry_port_settings.h"
#include "cli/platform.h"
#include "port_positions.h"
#include "rig.h"

namespace halden {
namespace {

struct RegistryRig {
    RegistryRig()
        : subkey("SOFTWARE\\Tarnwick\\HaldenTest-" + std::to_string(std::random_device{}())) {}
    ~RegistryRig() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyExA(root, subkey.c_str(), KEY_WOW64_32KEY, 0);
        }
    }
    RegistryPortSettings store(HKEY primary = HKEY_LOCAL_MACHINE) {
        return RegistryPortSettings(boxes, subkey, primary);
    }
    // Writes a value as another program might have, where the 32-bit view keeps it.
    void put(const char* name, DWORD type, const void* data, DWORD size) {
        const std::string key = "SOFTWARE\\WOW6432Node" + subkey.substr(8);
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, type, data, size),
                  ERROR_SUCCESS);
    }
    // A value as stored, if it is a DWORD.
    std::optional<DWORD> get(HKEY root, const char* name) {
        DWORD value = 0, size = sizeof value;
        return RegGetValueA(root, subkey.c_str(), name, RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6432KEY,
                            nullptr, &value, &size) == ERROR_SUCCESS
                   ? std::optional(value)
                   : std::nullopt;
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
        for (const auto& [input, output] : {std::pair(1, 2), std::pair(-1, 0)}) {
            RegistryPortSettings store = rig.store(primary);
            ASSERT_TRUE(store.save(PortChoice{input, output, {}, {}}));
            EXPECT_EQ(store.usingFallback(), fallback);
            ASSERT_TRUE(test::loadPositions(rig.store(primary), in, out));
            EXPECT_EQ(std::pair(in, out), std::pair(input, output));
        }
        EXPECT_EQ(rig.get(fallback ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, "InputBus"),
                  0xFFFFFFFFu);
        EXPECT_FALSE(rig.get(fallback ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, "InputBus"));
        EXPECT_TRUE(rig.boxes.errors.empty());
    }
}

TEST(RegistryPortSettings, AValueThatCannotBeReadFailsTheLoad) {
    RegistryRig rig;
    const DWORD three = 3;
    const BYTE eight[8] = {1};  // too large for a position
    rig.put("InputBus", REG_DWORD, &three, sizeof three);
    rig.put("OutputBus", REG_BINARY, eight, sizeof eight);
    int in = -1, out = -1;
    EXPECT_FALSE(test::loadPositions(rig.store(), in, out));
    EXPECT_EQ(std::pair(in, out), std::pair(3, -1));  // read before the failure: it stays
}

// Ctrl+C and Ctrl+Break cancel. Closing the console: Windows ends the process when the
// handler returns, so it waits until the session has stopped after the message in flight.
TEST(StopSignals, CtrlCCtrlBreakAndClosingTheConsole) {
    for (DWORD event : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
        CancelFlag cancel{false};
        cli::catchStopSignals(&cancel);
        EXPECT_TRUE(cli::onConsoleEvent(event)) << event;  // handled: the process goes on
        EXPECT_TRUE(cancel) << event;
        cli::catchStopSignals(nullptr);
        EXPECT_FALSE(cli::onConsoleEvent(event)) << event;  // no session: the default again
    }
    CancelFlag cancel{false};
    cli::catchStopSignals(&cancel);
    std::atomic<bool> stopped{false};
    std::thread session([&] {
        while (!cancel) std::this_thread::yield();
        stopped = true;
        cli::catchStopSignals(nullptr);
    });
    EXPECT_TRUE(cli::onConsoleEvent(CTRL_CLOSE_EVENT));
    EXPECT_TRUE(stopped);
    session.join();
}

}  // namespace
}  // namespace halden

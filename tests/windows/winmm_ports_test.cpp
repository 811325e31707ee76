// The WinMM backend's own logic, against a simulated winmm.dll on virtual time.
#include "transport/winmm/winmm_ports.h"

#include <gtest/gtest.h>

#include <chrono>

#include "rig.h"
#include "sim/virtual_clock.h"
#include "windows/simulated_winmm.h"

namespace halden {
namespace {

using namespace std::chrono_literals;
using test::eventually;

struct WinmmRig {
    WinmmRig() {
        driver.onSent = [this](ByteView m) { played.emplace_back(m.begin(), m.end()); };
    }
    // Opens the first ports listed, as a user who chose them: the failure's text, if any.
    std::string open() {
        PortNames names;
        Outcome opened = ports.enumeratePorts(names);
        if (opened) opened = ports.openPorts(names.inputs.at(0), names.outputs.at(0));
        return opened ? std::string() : opened.failure().text;
    }

    VirtualClock clock;
    SimulatedWinmm driver{clock, clock};
    std::mutex mutex;  // for the failures, told from the ports' own thread
    Bytes input;       // comes from the driver's callbacks, on the test's thread here
    std::vector<std::string> failures;
    std::vector<Bytes> played;
    WinmmPorts ports{driver, clock,
                     [this](ByteView b) { input.insert(input.end(), b.begin(), b.end()); },
                     [this](const std::string& why) {
                         std::lock_guard lock(mutex);
                         failures.push_back(why);
                     }};
};

// No devices counted (in either direction), or a step of opening that fails: its text,
// and nothing is left half open.
TEST(WinmmPorts, EachOpenStepFailsWithItsText) {
    const std::vector<std::tuple<std::string, MMRESULT, std::string>> table = {
        {"inGetNumDevs", 0,
         "No MIDI input buses available! Please install your MIDI interface's Windows driver"},
        {"outGetNumDevs", 0,
         "No MIDI output buses available! Please install your MIDI card's Windows driver"},
        {"inOpen", 4, "midiInOpen returned 00000004. Is the MIDI port currently in use?\n"},
        {"inPrepareHeader", 4, "midiInPrepareHeader returned 00000004\n"},
        {"inAddBuffer", 4, "midiInAddBuffer returned 00000004\n"},
        {"outOpen", 4, "midiOutOpen returned 00000004. Is the MIDI port currently in use?\n"},
    };
    for (const auto& [step, result, text] : table) {
        WinmmRig rig;
        rig.driver.failures[step] = result;
        EXPECT_EQ(rig.open(), text) << step;
        EXPECT_FALSE(rig.driver.anythingOpen()) << step;
        rig.driver.failures.clear();
        EXPECT_EQ(rig.open(), "") << step;  // nothing was left half open
    }
}

// A failing send or hand-back fails the port, once: nothing more goes out.
TEST(WinmmPorts, SendFailuresArePortFailures) {
    const std::vector<std::tuple<const char*, MMRESULT, std::string>> cases = {
        {"outPrepareHeader", MMSYSERR_NOMEM, "midiOutPrepareHeader call failed - code 00000007\n"},
        {"outLongMsg", MIDIERR_NOTREADY, "midiOutLongMsg call failed - code 00000043\n"},
        {"outUnprepareHeader", MMSYSERR_INVALHANDLE,
         "midiOutUnprepareHeader call failed - code 00000005\n"},
        {"never done", 0,
         "The MIDI interface did not finish sending a message in time. Is it still connected?"},
        {"inAddBuffer", MMSYSERR_NOMEM, "midiInAddBuffer returned 00000007\n"},
    };
    for (const auto& [call, result, text] : cases) {
        WinmmRig rig;
        ASSERT_EQ(rig.open(), "");
        rig.driver.failures[call] = result;
        rig.driver.neverFinishes = result == 0;
        if (call == std::string("inAddBuffer")) {  // a buffer handed back by the ports' thread
            EXPECT_EQ(rig.driver.deliver(identityRequest()), 0u);
            ASSERT_TRUE(eventually([&] { return !rig.ports.failureText().empty(); }));
        } else {
            EXPECT_EQ(rig.ports.sendSysEx(identityRequest()), 16u) << call;
        }
        EXPECT_EQ(rig.ports.failureText(), text) << call;
        const size_t calls = rig.driver.calls().size();
        EXPECT_EQ(rig.ports.sendSysEx(identityRequest()), 16u) << call;
        EXPECT_EQ(rig.driver.calls().size(), calls) << call;  // nothing more goes out
        std::lock_guard lock(rig.mutex);
        EXPECT_EQ(rig.failures, std::vector<std::string>{text}) << call;  // told once
    }
}

// A device whose capabilities cannot be read is left out, the others keep their numbers;
// only a hardware MIDI port is known to be a 31250-baud cable. On the ports opened last:
// a send returns when the driver is done with the message, at the cable's pace (a
// 141-byte block takes 45.12 ms at 3125 bytes a second, not a multiple of 100 ms).
// Filled buffers go back to the driver from the ports' own thread, so that bytes keep
// finding a buffer: many messages, each longer than a buffer, none lost, in order. A
// message the driver reports as broken is not passed on, what came of it before is
// dropped (an undefined status byte tells the receiver), and its buffer goes back too.
// Closing: the order of the calls, and the buffers that a reset returns empty are not
// handed back.
TEST(WinmmPorts, ListOpenSendReceiveAndClose) {
    WinmmRig rig;
    rig.driver.inputs = {{"First"}, {"Unreadable", true}, {std::string(40, 'L')}};
    rig.driver.outputs = {{"Out", false, true}, {"Synth"}};
    PortNames names;
    ASSERT_TRUE(rig.ports.enumeratePorts(names).ok());
    // Product names hold 31 characters.
    ASSERT_EQ(portNames(names.inputs), (std::vector<std::string>{"First", std::string(31, 'L')}));
    EXPECT_EQ(names.inputs[1].device, 2u);
    EXPECT_EQ(portNames(names.outputs), (std::vector<std::string>{"Out", "Synth"}));
    for (unsigned out : {0u, 1u}) {
        ASSERT_TRUE(rig.ports.openPorts(names.inputs[0], names.outputs[out]).ok());
        EXPECT_EQ(rig.ports.linkBaud(), out == 0 ? 31250u : 0u);
    }
    const Bytes block = blockWrite(0, Bytes(128, 0x11));
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(rig.ports.sendSysEx(block), 0u);
        EXPECT_EQ(rig.clock.now(), i * 45120us);
    }
    EXPECT_EQ(rig.played, (std::vector<Bytes>(3, block)));
    EXPECT_EQ(rig.driver.deliver(Bytes{0xF0, 0x41, 0x10, 0x4B}, true), 0u);
    Bytes all{0xF4};
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(eventually([&] { return rig.driver.queuedBuffers() == 4; })) << round;
        for (int i = 0; i < 2; ++i) {  // two buffers each
            const unsigned n = static_cast<unsigned>(round * 2 + i);
            const Bytes message = blockWrite(n, Bytes(1487, static_cast<uint8_t>(n)));
            EXPECT_EQ(rig.driver.deliver(message), 0u);
            all.insert(all.end(), message.begin(), message.end());
        }
    }
    ASSERT_TRUE(eventually([&] { return rig.driver.queuedBuffers() == 4; }));
    EXPECT_EQ(rig.input, all);
    const size_t before = rig.driver.calls().size();
    rig.ports.closePorts();
    const auto calls = rig.driver.calls();
    EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(before), calls.end()),
              (std::vector<std::string>{"outClose", "inStop", "inReset", "inUnprepareHeader",
                                        "inUnprepareHeader", "inUnprepareHeader",
                                        "inUnprepareHeader", "inClose"}));
    EXPECT_FALSE(rig.driver.anythingOpen());
    rig.ports.closePorts();  // with nothing open: nothing happens
    EXPECT_EQ(rig.driver.calls().size(), calls.size());
}

}  // namespace
}  // namespace halden

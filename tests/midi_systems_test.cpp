// The choice among MIDI systems, over stand-ins for them.
#include "transport/midi_systems.h"

#include <gtest/gtest.h>

#include "sim/simulator_ports.h"
#include "sim/virtual_clock.h"

namespace halden {
namespace {

// The system whose ports are listed (each stand-in's carry its label), or the listing's
// failure.
std::string listed(MidiPorts& ports) {
    PortNames names;
    const Outcome outcome = ports.enumeratePorts(names);
    return outcome ? names.inputs.at(0).name : outcome.failure().text;
}

const std::string kNoInput =
    "No MIDI input buses available! Please connect your MIDI interface or start a MIDI server\n";

TEST(MidiSystems, ChosenByNameOrElseTheFirstAvailable) {
    bool alphaHere = true, betaHere = true;
    const auto standIn = [](const char* name, const char* label, bool& here, const char* why) {
        SimOptions options;
        options.portName = label;
        return MidiSystem{
            name, label, [&here, why] { return here ? "" : why; },
            [options](Clock& clock, MidiPorts::InputSink input, MidiPorts::FailureSink) {
                return simulatorFactory(options)(clock, std::move(input));
            }};
    };
    const std::vector<MidiSystem> systems = {standIn("alpha", "Alpha", alphaHere, "not plugged in"),
                                             standIn("beta", "Beta", betaHere, "no server")};
    const std::string none = kNoInput + "(Alpha: not plugged in; Beta: no server)";
    const std::string unknown =
        kNoInput + "(no MIDI system called \"gamma\" is available; this build has alpha, beta)";
    const struct {
        const char *given, *environment;
        bool alphaHere, betaHere;
        std::string chosen;  // the label, or the listing's failure
        std::string again;   // at the next listing, with only beta there
    } cases[] = {
        {"", nullptr, true, true, "Alpha", "Alpha"},
        {"", nullptr, false, true, "Beta", "Beta"},
        {"", nullptr, false, false, none, "Beta"},
        {"BeTa", nullptr, true, true, "Beta", "Beta"},
        {"alpha", nullptr, false, true, "Alpha", "Alpha"},  // its own ports say why they fail
        {"", "Beta", true, true, "Beta", "Beta"},
        {"alpha", "beta", true, true, "Alpha", "Alpha"},
        {"", "", true, true, "Alpha", "Alpha"},
        {"", "GAMMA", true, true, unknown, unknown},
    };
    for (const auto& c : cases) {
        alphaHere = c.alphaHere;
        betaHere = c.betaHere;
        VirtualClock clock;
        const auto ports = openMidiSystem(systems, askedMidiSystem(c.given, c.environment), clock,
                                          nullptr, nullptr);
        SCOPED_TRACE(std::string(c.given) + ", " + (c.environment ? c.environment : "(none)"));
        EXPECT_EQ(listed(*ports), c.chosen);
        alphaHere = false;
        betaHere = true;
        EXPECT_EQ(listed(*ports), c.again);
    }
}

}  // namespace
}  // namespace halden

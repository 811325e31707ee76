// Finding Haldens: the pairs of ports that may lead to one (a MIDI interface lists
// itself in both lists, under names that match), and a short handshake on each of
// them, all at once.
#pragma once

#include <string>
#include <vector>

#include "engine/cancel_flag.h"
#include "engine/device.h"
#include "transport/midi_ports.h"

namespace halden::cli {

struct PortPair {
    std::string output, input;
};

// What is left of a port's name to match it with one of the other direction: the
// words in, out, input, output (and MIDIIN2-style names) taken out, JACK's "-01" on a
// second client with the same name taken off, in lowercase.
std::string pairingKey(const std::string& name);

// Every output and input whose keys are the same, outputs in list order.
std::vector<PortPair> matchingPairs(const PortNames& names);

struct Found {
    PortPair pair;
    StatusCode rc = status::kTimeout;  // 0: a Halden answered, `info` is its identity
    std::string failure;               // why the ports could not be used
    DeviceInfo info;
};

// Lists the system's ports and asks every matching pair at once (two handshakes of a
// second each, then the identity). Fails when the ports cannot be listed.
Result<std::vector<Found>> scanForHaldens(const std::string& midiSystem, CancelFlag& cancel);

}  // namespace halden::cli

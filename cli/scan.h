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

// Of the inputs that carried a Halden's answer to a request on `output`, its partner:
// the one whose name matches the output's, else the first. Empty when none did.
std::string choosePartner(const std::string& output, const std::vector<std::string>& answered);

struct Found {
    PortPair pair;
    StatusCode rc = status::kTimeout;  // 0: a Halden answered, `info` is its identity
    std::string failure;               // why the ports could not be used
    DeviceInfo info;
};

// Lists the system's ports and asks each output in turn (two handshakes of a second
// each, then the identity) while every input listens; a Halden found has its output and
// the input its answer came on. Where ports open only in pairs, every pair whose names
// match is asked at once instead. A port another halden holds is not asked (kPortBusy).
// Fails when the ports cannot be listed.
Result<std::vector<Found>> scanForHaldens(const std::string& midiSystem, CancelFlag& cancel);

}  // namespace halden::cli

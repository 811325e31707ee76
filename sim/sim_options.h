#pragma once

#include <CLI/CLI.hpp>

#include "sim/halden_sim.h"

namespace halden {

// The simulated Halden's identity, link and fault options, shared by every verb that
// runs a simulator.
void addSimOptions(CLI::App& app, SimOptions& options);

// The help text's note on how the simulator behaves.
extern const char* const kSimulatorConvention;

}  // namespace halden

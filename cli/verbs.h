// One object a verb: it adds its options to the command line and runs when chosen.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

#include "cli/terminal.h"
#include "engine/status.h"

namespace halden::cli {

class Verb {
public:
    virtual ~Verb() = default;
    bool chosen() const { return command_ && command_->parsed(); }
    // Returns the exit status.
    virtual int run(Terminal& terminal) = 0;
    bool json() const { return json_; }

protected:
    void addJsonOption() {
        command_->add_flag("--json", json_,
                           "print one JSON object on standard output, failures included");
    }
    CLI::App* command_ = nullptr;
    bool json_ = false;
};

// Exit status for a status code: the code itself, 1 for a failed MIDI port (and for a
// file that cannot be read, status::kCannotOpenFile).
int exitStatus(StatusCode rc);

std::unique_ptr<Verb> makeCheckVerb(CLI::App& app);
std::unique_ptr<Verb> makeInfoVerb(CLI::App& app);
std::unique_ptr<Verb> makePackVerb(CLI::App& app);
std::unique_ptr<Verb> makeIdentifyVerb(CLI::App& app);
std::unique_ptr<Verb> makeUpdateVerb(CLI::App& app);
std::unique_ptr<Verb> makePortsVerb(CLI::App& app);
std::unique_ptr<Verb> makeSimulateVerb(CLI::App& app);
std::unique_ptr<Verb> makeHistoryVerb(CLI::App& app);
std::unique_ptr<Verb> makeScanVerb(CLI::App& app);

}  // namespace halden::cli

// identify and update: the verbs that talk to a Halden.
#include "app/engine_failure.h"
#include "app/history.h"
#include "app/image_file.h"
#include "app/options.h"
#include "cli/session.h"
#include "cli/verbs.h"
#include "engine/update.h"
#include "halden_version.h"
#include "sim/sim_options.h"

namespace halden::cli {

namespace {

class DeviceVerb : public Verb {
protected:
    void addConnectionOptions() {
        addJsonOption();
        auto* simulate =
            command_->add_flag("--simulate", options_.simulate,
                               "talk to the built-in simulated Halden instead of MIDI ports");
        command_
            ->add_option("--out", options_.out,
                         "MIDI output port to the Halden: position (see halden ports) or part "
                         "of its name")
            ->excludes(simulate);
        command_
            ->add_option("--in", options_.in,
                         "MIDI input port from the Halden: position or part of its name")
            ->excludes(simulate);
        addMidiSystemOption(*command_, options_.midiSystem);
        command_->add_flag("--trace", options_.trace,
                           "print every SysEx message sent (>) and received (<)");
        addSimOptions(*command_, options_.sim);
        command_->footer(kSimulatorConvention);
    }

    // The connection has been refused when this returns non-zero.
    int openSession(Terminal& terminal, Session& session) {
        if (const Outcome opened = session.open(); !opened) {
            terminal.failed(opened.failure());
            return exitStatus(opened.failure().code);
        }
        return 0;
    }

    static void showIdentity(Terminal& terminal, const DeviceInfo& info) {
        terminal.out("Halden serial #: " + info.serialText);
        terminal.out("Current Halden version #: " + info.versionText);
        terminal.report()["identity"] = {
            {"serial", info.serialText},
            {"version",
             info.versionText.empty() ? nlohmann::json(nullptr) : nlohmann::json(info.versionText)},
            {"imageStatus", info.imageStatus},
            {"blockSize", info.blockSize}};
    }

    SessionOptions options_;
};

class IdentifyVerb : public DeviceVerb {
public:
    explicit IdentifyVerb(CLI::App& app) {
        command_ = app.add_subcommand("identify", "Connect to the Halden and show its identity");
        addConnectionOptions();
    }
    int run(Terminal& terminal) override {
        Session session(terminal, options_);
        if (int rc = openSession(terminal, session)) return rc;
        const StatusCode rc = connectDevice(session.io(), session.info());
        if (rc == status::kOk) {
            terminal.out(text::kConnectionEstablished);
            showIdentity(terminal, session.info());
        }
        return session.finish(connectFailure(session.io(), rc));
    }
};

class UpdateVerb : public DeviceVerb {
public:
    explicit UpdateVerb(CLI::App& app) {
        command_ = app.add_subcommand("update", "Install an update image into the Halden");
        command_->add_option("FILE", path_, "the image (.hfi)")->required();
        auto* yes = command_->add_flag_callback(
            "--yes", [this] { options_.answer = true; },
            "answer Yes when asked whether to update an up-to-date Halden, and install an "
            "image older than the Halden's firmware (refused without it)");
        auto* no = command_->add_flag_callback(
            "--no", [this] { options_.answer = false; }, "answer No to that question");
        yes->excludes(no);
        addConnectionOptions();
        addHistoryOption(*command_, options_.historyPath);
    }
    int run(Terminal& terminal) override {
        terminal.report()["file"] = path_;
        // The file is checked before anything is sent to the Halden.
        const Result<Bytes> file = readValidImage(path_);
        if (!file) {
            terminal.failed(file.failure());
            return exitStatus(file.failure().code);
        }
        Session session(terminal, options_);
        if (int rc = openSession(terminal, session)) return rc;
        UpdateProgress done;
        const Clock::Duration start = session.clock().now();
        const StatusCode rc = runUpdate(session.io(), *file, session.info(), done);
        terminal.report()["erased"] = done.erased;
        const Outcome kept =
            makeHistory(options_.historyPath)
                ->append(updateEntry("halden " HALDEN_VERSION, session.systemName(),
                                     session.outputName(), session.inputName(), path_, *file, done,
                                     session.info(), rc, session.clock().now() - start));
        if (!kept) terminal.err(kept.failure().text);
        // The identity read back is shown whatever it proves.
        if (rc == status::kOk || isUnproven(rc)) {
            showIdentity(terminal, session.info());
        }
        if (rc == status::kOk) {
            terminal.out(text::kUpdateSucceeded);
            return 0;
        }
        return session.finish(updateFailure(session.io(), rc, session.info(), done));
    }

private:
    std::string path_;
};

}  // namespace

std::unique_ptr<Verb> makeIdentifyVerb(CLI::App& app) {
    return std::make_unique<IdentifyVerb>(app);
}
std::unique_ptr<Verb> makeUpdateVerb(CLI::App& app) {
    return std::make_unique<UpdateVerb>(app);
}

}  // namespace halden::cli

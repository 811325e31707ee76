// identify, update and scan: the verbs that talk to a Halden.
#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "app/engine_failure.h"
#include "app/history.h"
#include "app/image_file.h"
#include "app/options.h"
#include "cli/platform.h"
#include "cli/scan.h"
#include "cli/session.h"
#include "cli/verbs.h"
#include "engine/text.h"
#include "engine/update.h"
#include "halden_version.h"
#include "sim/sim_options.h"

namespace halden::cli {

namespace {

std::string versionShown(const DeviceInfo& info) {
    return info.versionText.empty() ? "not good, image status " + std::to_string(info.imageStatus)
                                    : info.versionText;
}

constexpr const char* kBusy = "busy (an update is running)";

std::string portsShown(const PortPair& pair) {
    if (pair.input.empty() || pair.output.empty()) return pair.output + pair.input;
    return pair.output + " / " + pair.input;
}

// The outputs that were asked (not busy, and opened).
size_t outputsAsked(const std::vector<Found>& found) {
    std::set<std::string> outputs;
    for (const Found& f : found) {
        if (!f.pair.output.empty() && f.rc != status::kPortBusy && f.rc != status::kPortFailure)
            outputs.insert(f.pair.output);
    }
    return outputs.size();
}

// The ports another halden holds, an output beside the input whose name matches it.
std::vector<PortPair> busyPairs(const std::vector<Found>& found) {
    std::vector<PortPair> pairs;
    std::vector<std::string> inputs;
    for (const Found& f : found) {
        if (f.rc != status::kPortBusy) continue;
        if (!f.pair.output.empty() && !f.pair.input.empty()) {
            pairs.push_back(f.pair);
        } else if (!f.pair.output.empty()) {
            pairs.push_back({f.pair.output, ""});
        } else {
            inputs.push_back(f.pair.input);
        }
    }
    for (PortPair& pair : pairs) {
        if (!pair.input.empty()) continue;
        for (auto in = inputs.begin(); in != inputs.end(); ++in) {
            if (pairingKey(*in) != pairingKey(pair.output)) continue;
            pair.input = *in;
            inputs.erase(in);
            break;
        }
    }
    for (const std::string& in : inputs) pairs.push_back({"", in});
    return pairs;
}

// Looks for Haldens on every pair of ports at once; Ctrl-C stops the looking.
Result<std::vector<Found>> scanWithProgress(Terminal& terminal, const std::string& midiSystem) {
    CancelFlag stop{false};
    endPromptlyAfterStops();
    catchStopSignals(&stop);
    terminal.showProgress("Looking for Haldens...", 0);
    Result<std::vector<Found>> found = scanForHaldens(midiSystem, stop);
    terminal.clearProgress();
    catchStopSignals(nullptr);
    if (found && stop)
        return Failure{status::kCanceled, std::string(statusMessage(status::kCanceled))};
    return found;
}

std::vector<const Found*> answered(const std::vector<Found>& found) {
    std::vector<const Found*> haldens;
    for (const Found& f : found) {
        if (f.rc == status::kOk) haldens.push_back(&f);
    }
    return haldens;
}

nlohmann::json identityJson(const DeviceInfo& info) {
    return {{"serial", info.serialText},
            {"version",
             info.versionText.empty() ? nlohmann::json(nullptr) : nlohmann::json(info.versionText)},
            {"imageStatus", info.imageStatus},
            {"blockSize", info.blockSize}};
}

class DeviceVerb : public Verb {
protected:
    void addConnectionOptions() {
        addJsonOption();
        simulate_ =
            command_->add_flag("--simulate", options_.simulate,
                               "talk to the built-in simulated Halden instead of MIDI ports");
        out_ = command_
                   ->add_option("--out", options_.out,
                                "MIDI output port to the Halden: position (see halden ports) or "
                                "part of its name")
                   ->excludes(simulate_);
        in_ = command_
                  ->add_option("--in", options_.in,
                               "MIDI input port from the Halden: position or part of its name")
                  ->excludes(simulate_);
        // One port without the other cannot reach a Halden.
        out_->needs(in_);
        in_->needs(out_);
        addMidiSystemOption(*command_, options_.midiSystem);
        command_->add_flag("--trace", options_.trace,
                           "print every SysEx message sent (>) and received (<)");
        addSimOptions(*command_, options_.sim);
        // Before the exit statuses, with which every verb's help ends.
        command_->footer(std::string(kSimulatorConvention) + "\n\n" + command_->get_footer());
    }

    // --serial: the Halden found by its serial number wherever it answers, instead of
    // --out and --in.
    CLI::Option* addSerialOption(const char* help) {
        return command_->add_option("--serial", serials_, help)
            ->type_name("SERIAL")
            ->excludes(simulate_)
            ->excludes(out_)
            ->excludes(in_)
            ->check([](const std::string& s) {
                const bool hex = s.size() == 12 && std::all_of(s.begin(), s.end(), [](char c) {
                                     return std::isxdigit(static_cast<unsigned char>(c));
                                 });
                return hex ? std::string()
                           : "a serial number is 12 hex digits, as halden scan shows";
            });
    }

    // The Haldens with these serial numbers, each on exactly one pair of ports; else the
    // failure says which is missing or where one answers twice.
    Result<std::vector<Found>> findSerials(Terminal& terminal) {
        const Result<std::vector<Found>> scanned = scanWithProgress(terminal, options_.midiSystem);
        if (!scanned) return scanned.failure();
        const std::vector<const Found*> haldens = answered(*scanned);
        std::string seen;
        for (const Found* f : haldens)
            seen += "\n  " + f->info.serialText + " on " + portsShown(f->pair);
        std::vector<Found> chosen;
        for (const std::string& wanted : serials_) {
            std::vector<const Found*> matches;
            for (const Found* f : haldens) {
                if (f->info.serialText == lowerAscii(wanted)) matches.push_back(f);
            }
            if (matches.empty()) {
                std::string text = "No Halden answers with serial number " + lowerAscii(wanted) +
                                   " (" + std::to_string(outputsAsked(*scanned)) +
                                   " MIDI outputs were asked).";
                text +=
                    haldens.empty() ? "\nNo Halden answered at all." : "\nThese answered:" + seen;
                for (const PortPair& pair : busyPairs(*scanned))
                    text += "\nNot asked, " + std::string(kBusy) + ": " + portsShown(pair);
                return Failure{status::kTimeout, text};
            }
            if (matches.size() > 1) {
                std::string text = "Halden " + lowerAscii(wanted) +
                                   " answers on several pairs of ports; choose one with --out and "
                                   "--in:";
                for (const Found* f : matches) text += "\n  " + portsShown(f->pair);
                return Failure{status::kPortFailure, text};
            }
            if (std::any_of(chosen.begin(), chosen.end(), [&](const Found& c) {
                    return c.info.serialText == matches[0]->info.serialText;
                })) {
                continue;  // given twice
            }
            chosen.push_back(*matches[0]);
        }
        return chosen;
    }

    // The ports of a Halden found by its serial number, for a session of its own.
    static void usePorts(SessionOptions& options, const Found& found) {
        options.out = found.pair.output;
        options.in = found.pair.input;
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
        terminal.report()["identity"] = identityJson(info);
    }

    SessionOptions options_;
    std::vector<std::string> serials_;
    CLI::Option *simulate_ = nullptr, *out_ = nullptr, *in_ = nullptr;
};

class IdentifyVerb : public DeviceVerb {
public:
    explicit IdentifyVerb(CLI::App& app) {
        command_ = app.add_subcommand("identify", "Connect to the Halden and show its identity");
        addConnectionOptions();
        addSerialOption("the Halden with this serial number (see halden scan), wherever it is")
            ->expected(1);
    }
    int run(Terminal& terminal) override {
        if (!serials_.empty()) {
            const Result<std::vector<Found>> found = findSerials(terminal);
            if (!found) {
                terminal.failed(found.failure());
                return exitStatus(found.failure().code);
            }
            terminal.out("Found Halden " + found->front().info.serialText + " on " +
                         portsShown(found->front().pair));
            usePorts(options_, found->front());
        }
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

// One Halden's update, as told in the summary of several.
struct UpdateResult {
    int exit = 0;
    std::string before, after, result;
    double seconds = 0;
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
        auto* serial = addSerialOption(
            "the Halden with this serial number (see halden scan), wherever it is; several "
            "--serial update those Haldens at once");
        command_->add_flag("--all", all_, "update every Halden that halden scan finds, all at once")
            ->excludes(serial)
            ->excludes(simulate_)
            ->excludes(out_)
            ->excludes(in_);
        addHistoryOption(*command_, options_.historyPath);
        command_
            ->add_option("--retries", retries_,
                         "start the update again from the handshake, up to N times, when it "
                         "fails after the erase with the Halden waiting for it (a reply lost "
                         "or damaged on the way, a block refused as it arrived); never after "
                         "a port gone, a cancel, or a failure before the erase (default 0)")
            ->type_name("N")
            ->check(CLI::Range(0u, kMaxRetries));
    }
    int run(Terminal& terminal) override {
        terminal.report()["file"] = path_;
        // The file is checked before anything is sent to the Halden.
        const Result<Bytes> file = readValidImage(path_);
        if (!file) {
            terminal.failed(file.failure());
            return exitStatus(file.failure().code);
        }
        if (!all_ && serials_.empty()) return updateOne(terminal, options_, *file).exit;
        Result<std::vector<Found>> targets = all_ ? everyHalden(terminal) : findSerials(terminal);
        if (!targets) {
            terminal.failed(targets.failure());
            return exitStatus(targets.failure().code);
        }
        if (targets->size() == 1 && !all_) {
            terminal.out("Found Halden " + targets->front().info.serialText + " on " +
                         portsShown(targets->front().pair));
            usePorts(options_, targets->front());
            return updateOne(terminal, options_, *file).exit;
        }
        return updateMany(terminal, *targets, *file);
    }

private:
    Result<std::vector<Found>> everyHalden(Terminal& terminal) {
        const Result<std::vector<Found>> scanned = scanWithProgress(terminal, options_.midiSystem);
        if (!scanned) return scanned.failure();
        std::vector<Found> haldens;
        for (const Found* f : answered(*scanned)) haldens.push_back(*f);
        if (haldens.empty()) {
            return Failure{status::kTimeout, "No Halden answered on any of the " +
                                                 std::to_string(outputsAsked(*scanned)) +
                                                 " MIDI outputs asked (halden ports lists them)."};
        }
        return haldens;
    }

    // `told` hears the result once it is told and recorded, before the ports are closed.
    UpdateResult updateOne(Terminal& terminal, const SessionOptions& options, const Bytes& file,
                           const std::function<void(Session*)>& running = {},
                           const std::function<void(const UpdateResult&)>& told = {}) {
        UpdateResult result;
        Session session(terminal, options);
        if (running) running(&session);
        result.exit = openSession(terminal, session);
        if (result.exit != 0) {
            result.result = "the ports did not open";
            if (running) running(nullptr);
            if (told) told(result);
            return result;
        }
        // Each attempt from the handshake on; `done` sums them up for what is told after.
        UpdateProgress done;
        StatusCode rc = status::kOk;
        const std::string historyPath =
            options.historyPath.empty() ? defaultHistoryPath() : options.historyPath;
        auto& report = terminal.report();
        report["history"] = {{"written", true}, {"file", historyPath}};
        auto attempts = nlohmann::json::array();
        const auto history = makeHistory(historyPath);
        for (unsigned attempt = 1;; ++attempt) {
            UpdateProgress tried;
            const Clock::Duration start = session.clock().now();
            rc = runUpdate(session.io(), file, session.info(), tried);
            const Clock::Duration took = session.clock().now() - start;
            const HistoryEntry entry =
                updateEntry("halden " HALDEN_VERSION, session.systemName(), session.outputName(),
                            session.inputName(), path_, file, tried, session.info(), rc, took);
            if (attempt == 1) result.before = entry.versionBefore;
            const bool erasedBefore = done.erased;
            done = tried;
            done.erased = tried.erased || erasedBefore;  // by this attempt or an earlier one
            // Which Halden it was matters most when it failed: it may now be erased.
            if (!session.info().serialText.empty()) {
                report["identity"] = identityJson(session.info());
                report["versionBefore"] = result.before;
            }
            const Outcome kept = history->append(entry);
            if (!kept && report["history"]["written"] == true) {
                report["history"] = {
                    {"written", false}, {"file", historyPath}, {"error", kept.failure().text}};
                terminal.err(kept.failure().text);
            }
            result.after = entry.versionAfter;
            result.seconds += entry.seconds;
            result.result = rc == status::kOk ? "ok" : std::to_string(rc) + " " + entry.result;
            const bool again =
                attempt <= retries_ && !session.io().cancel && worthStartingAgain(rc, done.erased);
            if (retries_ > 0) {
                attempts.push_back({{"status", rc},
                                    {"result", entry.result},
                                    {"erased", tried.erased},
                                    {"seconds", entry.seconds}});
                terminal.err(attemptLine(attempt, retries_ + 1, rc, again));
            }
            if (!again) break;
        }
        report["erased"] = done.erased;
        if (retries_ > 0) report["attempts"] = attempts;
        // The identity read back is shown whatever it proves.
        if (rc == status::kOk || isUnproven(rc)) showIdentity(terminal, session.info());
        if (rc == status::kOk) {
            terminal.out(text::kUpdateSucceeded);
        } else {
            result.exit = session.finish(updateFailure(session.io(), rc, session.info(), done));
        }
        if (running) running(nullptr);
        if (told) told(result);
        return result;
    }

    // Every target at once, each in a session of its own with a progress line of its
    // own; Ctrl-C cancels them all. The exit status is the first failure's.
    int updateMany(Terminal& terminal, const std::vector<Found>& targets, const Bytes& file) {
        struct Job {
            SessionOptions options;
            std::unique_ptr<Terminal> terminal;
            UpdateResult result;
            std::mutex mutex;
            Session* session = nullptr;
        };
        std::vector<std::unique_ptr<Job>> jobs;
        for (size_t i = 0; i < targets.size(); ++i) {
            auto job = std::make_unique<Job>();
            job->options = options_;
            job->options.catchSignals = false;
            usePorts(job->options, targets[i]);
            job->terminal = std::make_unique<Terminal>(terminal, i, targets[i].info.serialText);
            jobs.push_back(std::move(job));
        }
        terminal.out("Updating " + std::to_string(jobs.size()) + " Haldens at once:");
        for (const Found& f : targets) {
            terminal.out("  " + f.info.serialText + " (" + versionShown(f.info) + ") on " +
                         portsShown(f.pair));
        }
        CancelFlag stop{false};
        catchStopSignals(&stop);
        // The summary is told once every result is, while the ports may still be closing:
        // after Ctrl-C a slow or stalled MIDI system then holds up only the end.
        std::atomic<size_t> untold{jobs.size()};
        std::vector<std::thread> threads;
        for (auto& job : jobs) {
            threads.emplace_back([&, j = job.get()] {
                updateOne(
                    *j->terminal, j->options, file,
                    [j](Session* s) {
                        std::lock_guard lock(j->mutex);
                        j->session = s;
                    },
                    [&untold, j](const UpdateResult& r) {
                        {
                            std::lock_guard lock(j->mutex);
                            j->result = r;
                        }
                        --untold;
                    });
            });
        }
        // A session clears its flag as an operation starts: the stop is passed on for as
        // long as there is one running.
        while (untold > 0) {
            if (stop) {
                for (auto& job : jobs) {
                    std::lock_guard lock(job->mutex);
                    if (job->session) job->session->cancel();
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        terminal.endProgressLines();

        // The summary, and the first failure's exit status.
        std::vector<std::vector<std::string>> table{
            {"Serial", "Ports", "Before", "After", "Result", "Time"}};
        int exit = 0;
        auto list = nlohmann::json::array();
        for (size_t i = 0; i < jobs.size(); ++i) {
            std::lock_guard lock(jobs[i]->mutex);
            const UpdateResult& r = jobs[i]->result;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f s", r.seconds);
            table.push_back({targets[i].info.serialText, portsShown(targets[i].pair),
                             r.before.empty() ? "-" : r.before, r.after.empty() ? "-" : r.after,
                             r.result, seconds});
            if (exit == 0) exit = r.exit;
            nlohmann::json one = jobs[i]->terminal->finalReport(r.exit);
            one["ports"] = {{"output", targets[i].pair.output}, {"input", targets[i].pair.input}};
            one["seconds"] = r.seconds;
            list.push_back(one);
        }
        std::vector<size_t> widths(table[0].size(), 0);
        for (const auto& row : table) {
            for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
        }
        terminal.out("");
        for (const auto& row : table) {
            std::string line;
            for (size_t c = 0; c < row.size(); ++c) {
                line += row[c];
                if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
            }
            terminal.out(line);
        }
        terminal.report()["updates"] = list;
        if (exit != 0) {
            terminal.record({static_cast<StatusCode>(exit == 1 ? status::kPortFailure : exit),
                             "Not every Halden was updated; the summary says which."});
        }
        sessionEnded(exit);
        for (std::thread& t : threads) t.join();
        catchStopSignals(nullptr);
        return exit;
    }

    // What each attempt came to, when there may be several.
    static std::string attemptLine(unsigned attempt, unsigned of, StatusCode rc, bool again) {
        const std::string which =
            "Attempt " + std::to_string(attempt) + " of " + std::to_string(of);
        if (rc == status::kOk) return which + " succeeded.";
        const std::string failed = which + " failed (" + std::string(statusMessage(rc)) + ")";
        if (again) {
            return failed +
                   "; the Halden is waiting for the update, which starts again from the "
                   "handshake.";
        }
        if (attempt == of) return failed + "; that was the last.";
        return failed + "; the update is not started again after this.";
    }

    static constexpr unsigned kMaxRetries = 100;

    std::string path_;
    bool all_ = false;
    unsigned retries_ = 0;
};

class ScanVerb : public Verb {
public:
    explicit ScanVerb(CLI::App& app) {
        command_ = app.add_subcommand(
            "scan", "List the Haldens on this system's MIDI ports, with serial and version");
        addMidiSystemOption(*command_, system_);
        addJsonOption();
    }
    int run(Terminal& terminal) override {
        const Result<std::vector<Found>> found = scanWithProgress(terminal, system_);
        if (!found) {
            terminal.failed(found.failure());
            return exitStatus(found.failure().code);
        }
        const std::vector<const Found*> haldens = answered(*found);
        auto list = nlohmann::json::array();
        for (const Found* f : haldens) {
            terminal.out(f->info.serialText + "  " + versionShown(f->info) + "  " +
                         portsShown(f->pair));
            nlohmann::json one = identityJson(f->info);
            one["output"] = f->pair.output;
            one["input"] = f->pair.input;
            list.push_back(one);
        }
        auto busy = nlohmann::json::array();
        for (const PortPair& pair : busyPairs(*found)) {
            terminal.out(std::string(kBusy) + "  " + portsShown(pair));
            busy.push_back({{"output", pair.output}, {"input", pair.input}});
        }
        terminal.report()["busy"] = busy;
        for (const Found& f : *found) {
            if (f.rc == status::kPortFailure) {
                terminal.err("Not asked: " + portsShown(f.pair) + ": " + f.failure);
            }
        }
        const auto count = [](size_t n, const char* one, const char* many) {
            return std::to_string(n) + " " + (n == 1 ? one : many);
        };
        terminal.err(count(haldens.size(), "Halden", "Haldens") + " found; " +
                     count(outputsAsked(*found), "MIDI output", "MIDI outputs") + " asked.");
        terminal.report()["haldens"] = list;
        terminal.report()["outputsAsked"] = outputsAsked(*found);
        return 0;
    }

private:
    std::string system_;
};

}  // namespace

std::unique_ptr<Verb> makeIdentifyVerb(CLI::App& app) {
    return std::make_unique<IdentifyVerb>(app);
}
std::unique_ptr<Verb> makeUpdateVerb(CLI::App& app) {
    return std::make_unique<UpdateVerb>(app);
}
std::unique_ptr<Verb> makeScanVerb(CLI::App& app) {
    return std::make_unique<ScanVerb>(app);
}

}  // namespace halden::cli

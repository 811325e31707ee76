// history: the updates recorded so far, oldest first.
#include "app/history.h"
#include "app/options.h"
#include "cli/verbs.h"

namespace halden::cli {

namespace {

class HistoryVerb : public Verb {
public:
    explicit HistoryVerb(CLI::App& app) {
        command_ = app.add_subcommand("history", "List the updates recorded, oldest first");
        addHistoryOption(*command_, path_);
        addJsonOption();
    }
    int run(Terminal& terminal) override {
        const std::string path = path_.empty() ? defaultHistoryPath() : path_;
        terminal.report()["file"] = path;
        const Result<HistoryListing> read = readHistory(path);
        if (!read) {
            terminal.failed(read.failure());
            return exitStatus(read.failure().code);
        }
        auto list = nlohmann::json::array();
        for (const HistoryEntry& e : read->entries) {
            terminal.out(row(e));
            list.push_back({{"time", e.time},
                            {"program", e.program},
                            {"midiSystem", e.midiSystem},
                            {"output", e.output},
                            {"input", e.input},
                            {"serial", e.serial},
                            {"versionBefore", e.versionBefore},
                            {"versionAfter", e.versionAfter},
                            {"image", e.image},
                            {"checksum", e.checksum},
                            {"status", e.status},
                            {"result", e.result},
                            {"seconds", e.seconds}});
        }
        if (read->entries.empty()) terminal.err("No update has been recorded in " + path + ".");
        if (read->damaged) {
            terminal.err(std::to_string(read->damaged) +
                         (read->damaged == 1 ? " line is" : " lines are") +
                         " not a whole entry (cut off, perhaps by a crash) and left out.");
        }
        terminal.report()["entries"] = list;
        terminal.report()["damagedLines"] = read->damaged;
        return 0;
    }

private:
    // 2026-12-08 06:51:29 UTC  000a7f100102  1.4 -> 1.5  ok  1.5 s  halden-1.5.hfi (0xEBB0) ...
    // The time as recorded, in UTC, and said to be: the same on every bench.
    static std::string row(const HistoryEntry& e) {
        const auto shown = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
        std::string time = e.time;
        if (time.size() == 20 && time[10] == 'T' && time[19] == 'Z') {
            time = time.substr(0, 10) + " " + time.substr(11, 8) + " UTC";
        }
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", e.seconds);
        const std::string result =
            e.status == status::kOk ? "ok" : std::to_string(e.status) + " " + e.result;
        return time + "  " + shown(e.serial) + "  " + shown(e.versionBefore) + " -> " +
               shown(e.versionAfter) + "  " + result + "  " + seconds + "  " + e.image + " (" +
               shown(e.checksum) + ")  " + e.program + ", " + shown(e.midiSystem) + ": " +
               e.output + " / " + e.input;
    }

    std::string path_;
};

}  // namespace

std::unique_ptr<Verb> makeHistoryVerb(CLI::App& app) {
    return std::make_unique<HistoryVerb>(app);
}

}  // namespace halden::cli

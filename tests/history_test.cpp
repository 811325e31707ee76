// The update history: its lines, and a file that a crash, a kill or a full disk never
// damages behind the line being written.
#include "app/history.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/file_port_settings.h"
#include "temp_dir.h"

namespace halden {
namespace {

HistoryEntry sample(const std::string& serial = "000a7f100102") {
    HistoryEntry e;
    e.time = "2026-12-08T06:50:01Z";
    e.program = "halden 1.0.0";
    e.midiSystem = "ALSA";
    e.output = "UM-ONE:UM-ONE MIDI 1 24:0";
    e.input = "UM-ONE:UM-ONE MIDI 1 24:0";
    e.serial = serial;
    e.versionBefore = "1.4";
    e.versionAfter = "1.5";
    e.image = "halden-1.5.hfi";
    e.checksum = "0xEBB0";
    e.status = 0;
    e.result = "No error";
    e.seconds = 24.46;
    return e;
}

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(HistoryLine, ReadsBackWhatWasWritten) {
    HistoryEntry odd = sample();
    odd.output = "Port\twith a tab";
    odd.input = "two\nlines\r";
    odd.versionAfter = "";  // not read back
    odd.status = 11;
    odd.result = "MIDI Reports bad checksum";
    for (const HistoryEntry& e : {sample(), odd}) {
        const std::string line = historyLine(e);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        const auto back = parseHistoryLine(line);
        ASSERT_TRUE(back.has_value()) << line;
        EXPECT_EQ(back->output, e.output == odd.output ? "Port with a tab" : e.output);
        EXPECT_EQ(back->input, e.input == odd.input ? "two lines " : e.input);
        EXPECT_EQ(back->serial, e.serial);
        EXPECT_EQ(back->versionBefore, e.versionBefore);
        EXPECT_EQ(back->versionAfter, e.versionAfter);
        EXPECT_EQ(back->status, e.status);
        EXPECT_EQ(back->result, e.result);
        EXPECT_DOUBLE_EQ(back->seconds, 24.5);  // tenths are kept
    }
}

// A crash can stop a write anywhere: no part of a line is a whole entry.
TEST(HistoryLine, NoCutOffLineIsReadAsAnEntry) {
    const std::string line = historyLine(sample());
    for (size_t cut = 0; cut < line.size(); ++cut) {
        EXPECT_FALSE(parseHistoryLine(line.substr(0, cut)).has_value()) << cut;
    }
    std::string changed = line;
    changed[40] ^= 1;
    EXPECT_FALSE(parseHistoryLine(changed).has_value());
}

struct HistoryRig {
    test::TempDir temp{"halden-history"};
    std::filesystem::path path = temp.path() / "state" / "halden" / "history.log";
    HistoryFile file{path.string()};

    HistoryListing read() {
        const Result<HistoryListing> r = readHistory(path.string());
        EXPECT_TRUE(r.ok());
        return r ? *r : HistoryListing{};
    }
};

// What a crash in the middle of a write leaves: the next line starts on a line of its
// own, and the lines before both stay as they were.
TEST(HistoryFile, ALineCutOffByACrashStaysAlone) {
    HistoryRig rig;
    ASSERT_TRUE(rig.file.append(sample("000000000001")).ok());
    const std::string half = historyLine(sample("000000000002")).substr(0, 50);
    std::ofstream(rig.path, std::ios::app | std::ios::binary) << half;
    const std::string before = slurp(rig.path);
    ASSERT_TRUE(rig.file.append(sample("000000000003")).ok());
    EXPECT_EQ(slurp(rig.path).substr(0, before.size()), before);
    const HistoryListing listing = rig.read();
    ASSERT_EQ(listing.entries.size(), 2u);
    EXPECT_EQ(listing.entries[1].serial, "000000000003");
    EXPECT_EQ(listing.damaged, 1u);
}

// A full disk in the middle of a line (here: a file size limit): the append fails,
// and the file is as it was before it.
TEST(HistoryFile, AFullDiskLeavesTheFileAsItWas) {
    HistoryRig rig;
    ASSERT_TRUE(rig.file.append(sample("000000000001")).ok());
    const std::string before = slurp(rig.path);
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 30, before.size() + 30};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Outcome kept = HistoryFile(rig.path.string()).append(sample("000000000002"));
        _exit(!kept.ok() && kept.failure().text.find("Can't write the update history") == 0 ? 0
                                                                                            : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the append did not fail";
    EXPECT_EQ(slurp(rig.path), before);
}

// Another program killed while it appends, at whatever point it has reached: every
// line it finished is there, and at most the one it was writing is lost.
TEST(HistoryFile, SurvivesAKillInTheMiddleOfAppending) {
    HistoryRig rig;
    ASSERT_TRUE(rig.file.append(sample("000000000000")).ok());
    for (int round = 0; round < 5; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            HistoryFile file(rig.path.string());
            for (int i = 1;; ++i) {
                (void)file.append(sample("00000000" + std::to_string(1000 + i)));
                if (i == 20 + round) (void)!write(ready[1], "x", 1);
            }
        }
        close(ready[1]);
        char x;
        ASSERT_EQ(read(ready[0], &x, 1), 1);
        close(ready[0]);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        ASSERT_TRUE(rig.file.append(sample("00000000000" + std::to_string(round))).ok());
    }
    const HistoryListing listing = rig.read();
    EXPECT_LE(listing.damaged, 5u);
    EXPECT_GE(listing.entries.size(), 1u + 5 * 21);
    EXPECT_EQ(listing.entries.back().serial, "000000000004");
    EXPECT_EQ(listing.entries.front().serial, "000000000000");
}

TEST(HistoryFile, AFolderInTheWaySaysWhereAndWhy) {
    HistoryRig rig;
    std::filesystem::create_directories(rig.path);
    const Outcome kept = rig.file.append(sample());
    ASSERT_FALSE(kept.ok());
    EXPECT_EQ(
        kept.failure().text.rfind("Can't write the update history " + rig.path.string() + ": ", 0),
        0u);
    EXPECT_FALSE(readHistory(rig.path.string()).ok());
}

// The history and the chosen ports follow the XDG variables; one that is not absolute
// is ignored.
TEST(UserFolders, FollowTheXdgVariables) {
    const struct {
        const char* variable;
        std::string (*path)();
        std::string file, underHome;
    } cases[] = {
        {"XDG_STATE_HOME", defaultHistoryPath, "/halden/history.log", "/.local/state"},
        {"XDG_CONFIG_HOME", FilePortSettings::defaultPath, "/halden/ports.conf", "/.config"}};
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const auto& c : cases) {
        const char* old = std::getenv(c.variable);
        const std::string saved = old ? old : "";
        setenv(c.variable, "/somewhere", 1);
        EXPECT_EQ(c.path(), "/somewhere" + c.file);
        setenv("HOME", "/home/someone", 1);
        setenv(c.variable, "relative", 1);
        EXPECT_EQ(c.path(), "/home/someone" + c.underHome + c.file);
        old ? setenv(c.variable, saved.c_str(), 1) : unsetenv(c.variable);
    }
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace halden

// The update history: its lines, and a file that a crash, a kill, a full disk or
// several writers at once (`update --all`, and other processes) never damage behind the
// line being written.
#include "app/history.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "app/file_port_settings.h"
#include "temp_dir.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace halden {
namespace {

HistoryEntry sample(const std::string& serial = "000a7f100102") {
    const std::string port = "UM-ONE:UM-ONE MIDI 1 24:0";
    return {"2026-12-08T06:50:01Z", "halden 1.0.0", "ALSA", port,       port, serial, "1.4", "1.5",
            "halden-1.5.hfi",       "0xEBB0",       0,      "No error", 24.46};
}

std::string slurp(const std::filesystem::path& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A crash can stop a write anywhere: no part of a line, nor a changed one, is an entry.
TEST(HistoryLine, ReadsBackWholeLinesOnly) {
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
        EXPECT_EQ(std::tie(back->serial, back->versionBefore, back->versionAfter, back->status,
                           back->result),
                  std::tie(e.serial, e.versionBefore, e.versionAfter, e.status, e.result));
        EXPECT_DOUBLE_EQ(back->seconds, 24.5);  // tenths are kept
        for (size_t cut = 0; cut < line.size(); ++cut) {
            EXPECT_FALSE(parseHistoryLine(line.substr(0, cut)).has_value()) << cut;
        }
        std::string changed = line;
        changed[40] ^= 1;
        EXPECT_FALSE(parseHistoryLine(changed).has_value());
    }
}

struct HistoryRig {
    test::TempDir temp{"halden-history"};
    std::filesystem::path path = temp.path() / "state" / "halden" / "history.log";
    HistoryFile file{path.string()};
};

// What a crash in the middle of a write leaves: the next line starts on a line of its
// own, and the lines before both stay as they were.
TEST(HistoryFile, ALineCutOffByACrashStaysAlone) {
    HistoryRig rig;
    ASSERT_TRUE(rig.file.append(sample("000000000001")).ok());
    std::ofstream(rig.path, std::ios::app) << historyLine(sample("000000000002")).substr(0, 50);
    const std::string before = slurp(rig.path);
    ASSERT_TRUE(rig.file.append(sample("000000000003")).ok());
    EXPECT_EQ(slurp(rig.path).substr(0, before.size()), before);
    const Result<HistoryListing> listing = readHistory(rig.path.string());
    ASSERT_TRUE(listing.ok());
    ASSERT_EQ(listing->entries.size(), 2u);
    EXPECT_EQ(listing->entries[1].serial, "000000000003");
    EXPECT_EQ(listing->damaged, 1u);
}

constexpr int kLines = 25;
// Where the writer processes find it.
const std::string kPath = (std::filesystem::temp_directory_path() / "halden-writers.log").string();

void writeLines(const std::string& path, const std::string& writer) {
    HistoryFile file(path);  // each its own, as parallel sessions have
    for (int i = 0; i < kLines; ++i) {
        HistoryEntry e;
        e.serial = writer + "-" + std::to_string(i);
        e.result = std::string(3000, 'x');  // long lines cross buffer sizes
        ASSERT_TRUE(file.append(e).ok());
    }
}

// A writer process: this test program again, running only this test.
TEST(HistoryFile, DISABLED_WriterProcess) {
    writeLines(kPath, std::to_string(std::random_device{}()));
}

bool runWriterProcess() {
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const wchar_t* argv[] = {L"writer", L"--gtest_filter=*WriterProcess",
                             L"--gtest_also_run_disabled_tests", nullptr};
    return _wspawnv(_P_WAIT, self, argv) == 0;
#else
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    return std::system(("'" + self + "' --gtest_filter=*WriterProcess " +
                        "--gtest_also_run_disabled_tests >/dev/null")
                           .c_str()) == 0;
#endif
}

TEST(HistoryFile, ManyWritersInThisAndOtherProcessesKeepEveryLineWhole) {
    std::filesystem::remove(kPath);
    ASSERT_TRUE(readHistory(kPath)->entries.empty());  // none yet: an empty history
    constexpr int kThreads = 4, kProcesses = 4;
    std::vector<std::thread> writers;
    for (int p = 0; p < kProcesses; ++p) {
        writers.emplace_back([] { EXPECT_TRUE(runWriterProcess()); });
    }
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] { writeLines(kPath, "thread" + std::to_string(t)); });
    }
    for (std::thread& t : writers) t.join();
    const Result<HistoryListing> read = readHistory(kPath);
    std::filesystem::remove(kPath);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->damaged, 0u);  // a line without its time stamp would count here too
    // Each writer's lines, in the order written.
    std::map<std::string, int> next;
    for (const HistoryEntry& e : read->entries) {
        const size_t dash = e.serial.rfind('-');
        EXPECT_EQ(e.serial.substr(dash + 1), std::to_string(next[e.serial.substr(0, dash)]++));
    }
    EXPECT_EQ(read->entries.size(), static_cast<size_t>((kThreads + kProcesses) * kLines));
}

#ifndef _WIN32
// A full disk in the middle of a line (here: a file size limit): the append fails,
// saying where and why, and the file is as it was before it.
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
        const std::string where = "Can't write the update history " + rig.path.string() + ": ";
        _exit(!kept.ok() && kept.failure().text.rfind(where, 0) == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the append did not fail";
    EXPECT_EQ(slurp(rig.path), before);
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
#endif

}  // namespace
}  // namespace halden

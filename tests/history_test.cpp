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
    return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

// A crash can stop a write anywhere: no part of a line, nor a changed one, is an entry.
TEST(HistoryLine, ReadsBackWholeLinesOnly) {
    const std::string line = historyLine(sample());
    for (size_t cut = 0; cut < line.size(); ++cut) {
        EXPECT_FALSE(parseHistoryLine(line.substr(0, cut)).has_value()) << cut;
    }
    std::string changed = line;
    changed[40] ^= 1;
    EXPECT_FALSE(parseHistoryLine(changed).has_value());
}

// What a crash in the middle of a write leaves: the next line starts on a line of its
// own, and the lines before both stay as they were. A port name with a tab or a line
// break in it stays in its field and on its line. A full disk in the middle of a line
// (here: a file size limit) fails the append, saying where and why, and leaves the file as
// it was.
TEST(HistoryFile, ACrashOrAFullDiskLeavesTheLinesBeforeAsTheyWere) {
    test::TempDir temp{"halden-history"};
    const std::filesystem::path path = temp.path() / "state" / "halden" / "history.log";
    HistoryFile file{path.string()};
    ASSERT_TRUE(file.append(sample("000000000001")).ok());
    std::ofstream(path, std::ios::app) << historyLine(sample("000000000002")).substr(0, 50);
    const std::string before = slurp(path);
    HistoryEntry odd = sample("000000000003");
    odd.output = "Port\twith a tab";
    odd.input = "two\nlines\r";
    ASSERT_TRUE(file.append(odd).ok());
    EXPECT_EQ(slurp(path).substr(0, before.size()), before);
    const Result<HistoryListing> listing = readHistory(path.string());
    ASSERT_TRUE(listing.ok());
    ASSERT_EQ(listing->entries.size(), 2u);
    const HistoryEntry& back = listing->entries[1];
    EXPECT_EQ(std::tie(back.output, back.input, back.serial),
              std::tuple("Port with a tab", "two lines ", odd.serial));
    EXPECT_EQ(listing->damaged, 1u);
#ifndef _WIN32
    const std::string whole = slurp(path);
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{whole.size() + 30, whole.size() + 30};
        setrlimit(RLIMIT_FSIZE, &limit);
        const Outcome kept = HistoryFile(path.string()).append(sample("000000000004"));
        const std::string where = "Can't write the update history " + path.string() + ": ";
        _exit(!kept.ok() && kept.failure().text.starts_with(where) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the append did not fail";
    EXPECT_EQ(slurp(path), whole);
#endif
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
    constexpr int kEach = 4;                           // threads, and as many processes
    std::vector<std::thread> writers;
    for (int i = 0; i < kEach; ++i) {
        writers.emplace_back([] { EXPECT_TRUE(runWriterProcess()); });
        writers.emplace_back([i] { writeLines(kPath, "thread" + std::to_string(i)); });
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
    EXPECT_EQ(read->entries.size(), static_cast<size_t>(2 * kEach * kLines));
}

#ifndef _WIN32
// The history and the chosen ports follow the XDG variables; one that is not absolute
// is ignored. (The command line's test keeps its history where XDG_STATE_HOME says.)
TEST(UserFolders, FollowTheXdgVariables) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_STATE_HOME", "relative", 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(defaultHistoryPath(), "/home/someone/.local/state/halden/history.log");
    EXPECT_EQ(FilePortSettings::defaultPath(), "/home/someone/.config/halden/ports.conf");
    setenv("XDG_CONFIG_HOME", "/somewhere", 1);
    EXPECT_EQ(FilePortSettings::defaultPath(), "/somewhere/halden/ports.conf");
    // No other test here reads these two.
    unsetenv("XDG_STATE_HOME");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home.c_str(), 1);
}
#endif

}  // namespace
}  // namespace halden

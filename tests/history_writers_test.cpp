// Several Haldens updated at once each record their update through a history of their
// own, in this process (`update --all`) and in others: no line is lost or broken.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "app/history.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#endif

namespace halden {
namespace {

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

}  // namespace
}  // namespace halden

// Several Haldens updated at once each record their update through a history of their
// own: no line is lost or broken, on any system.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/history.h"
#include "temp_dir.h"

namespace halden {
namespace {

TEST(HistoryFile, ManyWritersAtOnceKeepEveryLineWhole) {
    test::TempDir dir("halden-history");
    const std::string path = (dir.path() / "history.log").string();
    constexpr int kWriters = 4, kLines = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            HistoryFile file(path);  // each its own, as parallel sessions have
            for (int i = 0; i < kLines; ++i) {
                HistoryEntry e;
                e.program = "halden";
                e.serial = std::to_string(w * 1000 + i);
                e.result = std::string(200, 'x');  // long lines cross buffer sizes
                ASSERT_TRUE(file.append(e).ok());
            }
        });
    }
    for (std::thread& t : writers) t.join();
    const Result<HistoryListing> read = readHistory(path);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read->damaged, 0u);
    EXPECT_EQ(read->entries.size(), static_cast<size_t>(kWriters * kLines));
}

}  // namespace
}  // namespace halden

// A folder of a test's own under the system's temporary folder, removed with all it
// holds (long paths too) when the test ends.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace halden::test {

class TempDir {
public:
    explicit TempDir(const std::string& prefix)
        : path_(std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
#ifdef _WIN32
        // Deep trees pass Windows' 260-character limit unless named in the long form.
        std::filesystem::remove_all(
            LR"(\\?\)" + std::filesystem::absolute(path_).make_preferred().wstring(), ec);
#else
        std::filesystem::remove_all(path_, ec);
#endif
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const {
        return path_;
    }
    std::string string() const {
        return path_.string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace halden::test

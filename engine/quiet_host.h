// A host that shows nothing: no progress window, and boxes that nobody sees, each
// question given the same answer. For work that runs unseen (scan, the benchmark).
#pragma once

#include "engine/host.h"

namespace halden {

class QuietProgress : public Progress {
public:
    void open() override {}
    void set(std::string_view, int) override {}
    void close() override {}
};

class NoBoxes : public MessageBoxes {
public:
    explicit NoBoxes(bool answer = false) : answer_(answer) {}
    void errorBox(std::string_view) override {}
    bool askYesNo(std::string_view) override { return answer_; }
    void noticeBox(std::string_view) override {}
    void fatalBox(std::string_view) override {}

private:
    bool answer_;
};

}  // namespace halden

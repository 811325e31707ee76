// The two apps draw the same windows from two descriptions: the Qt forms and the
// Windows resource script. They must show the same texts, in the same order, and put
// every window and control at the same position and size. (Each app's own tests find
// the controls by id.)
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

using Found = std::vector<std::string>;

// What the pattern matches in each line of these files, its groups joined.
Found find(const std::vector<std::string>& files, const std::string& pattern) {
    const std::regex re(pattern);
    Found found;
    std::smatch m;
    for (const std::string& file : files) {
        std::ifstream in(std::string(HALDEN_SOURCE_DIR) + file);
        for (std::string line; std::getline(in, line);) {
            if (!std::regex_search(line, m, re)) continue;
            std::string groups = m[1];
            for (size_t i = 2; i < m.size(); ++i) groups += " " + m[i].str();
            found.push_back(groups);
        }
    }
    return found;
}

TEST(WindowLayouts, TheQtFormsAndTheWindowsTemplatesAgree) {
    const std::vector<std::string> forms = {"/ui/resources/dialog.ui", "/ui/resources/progress.ui"},
                                   script = {"/ui/win32/halden-gui.rc"};
    const Found texts = find(forms, "<string>(.+)</string>");
    EXPECT_EQ(texts, find(script, R"re(^(?:CAPTION|\s+\w+)\s+"(.+?)")re"));
    EXPECT_EQ(texts,
              (Found{"Halden Firmware Update Utility - V1.00", "Update", "Connect", "Find image",
                     "Transmit to", "Receive from", "Halden serial #", "Current Halden version #",
                     "Image filename", ":", ":", ":", ":", "Exit", "0%", "100%", "Cancel"}));
    // A control's box follows its id (-1 for none), a window's its keyword.
    const Found boxes = find(forms, R"(<x>(\d+)</x><y>(\d+)</y><width>(\d+)</width><height>(\d+))");
    EXPECT_EQ(boxes, find(script, R"((?:\w+,|DIALOGEX) (\d+), (\d+), (\d+), (\d+))"));
    ASSERT_EQ(boxes.size(), 25u);  // 2 windows, 18 and 5 controls
    EXPECT_EQ(boxes[1], "143 106 50 14");
    // Qt follows the forms' tab order as given (the Windows app's tests check its own).
    EXPECT_EQ(find(forms, "<tabstop>id_(\\d+)</tabstop>"),
              (Found{"1001", "1000", "3", "1005", "1003", "1004", "4", "1011"}));
}

}  // namespace

// The two apps draw the same windows from two descriptions: the Qt forms and the
// Windows resource script. They must agree control by control: id, kind, text,
// position, size, order, default button, enabled state and tab order.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kSource = HALDEN_SOURCE_DIR;

struct Window {
    std::string title, size;
    std::vector<std::string> controls;  // each as describe() writes it
    std::vector<int> tabs;
};

std::string describe(const std::string& kind, int id, const std::string& text,
                     const std::string& box, bool isDefault, bool enabled) {
    return kind + " " + std::to_string(id) + " \"" + text + "\" " + box +
           (isDefault ? " default" : "") + (enabled ? "" : " disabled");
}

std::string readAll(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// The resource script's dialog templates, in the subset of its syntax it uses.
std::map<std::string, Window> resourceWindows() {
    std::map<std::string, int> ids{{"-1", -1}};
    const std::string header = readAll(kSource + "/app/control_ids.h");
    const std::regex define(R"(#define\s+(IDC_\w+)\s+(\d+))");
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
        ids[(*it)[1]] = std::stoi((*it)[2]);
    const std::map<std::string, std::string> kinds = {
        {"DEFPUSHBUTTON", "button"}, {"PUSHBUTTON", "button"}, {"LTEXT", "label"},
        {"CTEXT", "centred label"},  {"EDITTEXT", "edit"},     {"COMBOBOX", "list"},
        {"CONTROL", "control"}};
    const std::regex dialog(R"re(^"(\w+)" DIALOGEX 0, 0, (\d+), (\d+))re");
    const std::regex caption(R"re(^CAPTION "(.*)")re");
    const std::regex control(
        R"re(^\s+(\w+)\s+(?:"(.*)", )?(-?\w+), (?:([A-Za-z_]\w*), [^,]*, )?(\d+), (\d+), (\d+), (\d+)(.*))re");
    std::map<std::string, Window> windows;
    std::istringstream in(readAll(kSource + "/ui/win32/halden-gui.rc"));
    Window* current = nullptr;
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, m, dialog)) {
            current = &windows[m[1]];
            current->size = std::string(m[2]) + "x" + std::string(m[3]);
        } else if (current && std::regex_search(line, m, caption)) {
            current->title = m[1];
        } else if (current && std::regex_search(line, m, control)) {
            EXPECT_TRUE(kinds.count(m[1]) && ids.count(m[3])) << line;
            std::string kind = kinds.count(m[1]) ? kinds.at(m[1]) : std::string(m[1]);
            if (m[4] == "PROGRESS_CLASS") kind = "progress";
            const int id = ids.count(m[3]) ? ids.at(m[3]) : -2;
            const std::string box = std::string(m[5]) + "," + std::string(m[6]) + " " +
                                    std::string(m[7]) + "x" + std::string(m[8]);
            current->controls.push_back(
                describe(kind, id, m[2], box, m[1] == "DEFPUSHBUTTON",
                         std::string(m[9]).find("WS_DISABLED") == std::string::npos));
            if (kind == "button" || kind == "edit" || kind == "list") current->tabs.push_back(id);
        } else if (line.rfind("END", 0) == 0) {
            current = nullptr;
        }
    }
    return windows;
}

// A Qt form: the top widget and its children in order, one property a line as the
// forms are kept, and its tab order as its list gives it.
Window formWindow(const std::string& file) {
    const std::string text = readAll(kSource + "/ui/resources/" + file);
    const auto find = [](const std::string& in, const std::string& pattern) {
        std::smatch m;
        return std::regex_search(in, m, std::regex(pattern)) ? m[1].str() : std::string();
    };
    const std::map<std::string, std::string> kinds = {{"QPushButton", "button"},
                                                      {"QLabel", "label"},
                                                      {"QLineEdit", "edit"},
                                                      {"QComboBox", "list"},
                                                      {"QProgressBar", "progress"}};
    const std::regex widget(R"re(<widget class="(\w+)" name="(\w+)">)re");
    const std::string geometry =
        R"re(<x>(\d+)</x><y>(\d+)</y><width>(\d+)</width><height>(\d+)</height>)re";
    Window window;
    std::sregex_iterator it(text.begin(), text.end(), widget), end;
    for (bool top = true; it != end; ++it, top = false) {
        const auto next = std::next(it);
        const std::string body = text.substr(
            it->position() + it->length(),
            (next == end ? text.size() : next->position()) - it->position() - it->length());
        std::smatch box;
        EXPECT_TRUE(std::regex_search(body, box, std::regex(geometry))) << (*it)[2];
        if (top) {
            window.title = find(body, R"re(name="windowTitle"><string>(.*?)</string>)re");
            window.size = box[3].str() + "x" + box[4].str();
            continue;
        }
        const std::string cls = (*it)[1], name = (*it)[2];
        std::string kind = kinds.count(cls) ? kinds.at(cls) : cls;
        if (body.find("AlignHCenter") != std::string::npos) kind = "centred label";
        window.controls.push_back(
            describe(kind, name.rfind("id_", 0) == 0 ? std::stoi(name.substr(3)) : -1,
                     find(body, R"re(name="text"><string>(.*?)</string>)re"),
                     box[1].str() + "," + box[2].str() + " " + box[3].str() + "x" + box[4].str(),
                     body.find(R"(name="default"><bool>true)") != std::string::npos,
                     body.find(R"(name="enabled"><bool>false)") == std::string::npos));
    }
    const std::regex stop(R"(<tabstop>id_(\d+)</tabstop>)");
    for (std::sregex_iterator t(text.begin(), text.end(), stop); t != end; ++t)
        window.tabs.push_back(std::stoi((*t)[1]));
    return window;
}

TEST(WindowLayouts, TheQtFormsAndTheWindowsTemplatesAgree) {
    const auto templates = resourceWindows();
    for (const auto& [form, name] :
         {std::pair{"dialog.ui", "DIALOG"}, {"progress.ui", "PROGRESS"}}) {
        SCOPED_TRACE(form);
        ASSERT_TRUE(templates.count(name)) << name;
        const Window &rc = templates.at(name), ui = formWindow(form);
        EXPECT_EQ(ui.title, rc.title);
        EXPECT_EQ(ui.size, rc.size);
        EXPECT_EQ(ui.controls, rc.controls);
        EXPECT_EQ(ui.tabs, rc.tabs);
    }
    // The readers themselves: what they found, typed out here.
    const Window& main = templates.at("DIALOG");
    EXPECT_EQ(main.title, "Halden Firmware Update Utility - V1.00");
    ASSERT_EQ(main.controls.size(), 18u);
    EXPECT_EQ(main.controls[0], "button 1001 \"Update\" 143,106 50x14 default disabled");
    EXPECT_EQ(main.controls[8], "edit 1005 \"\" 63,84 199x12");
    // The tab order itself is typed out where Qt follows it (qt_app_test.cpp).
    EXPECT_EQ(templates.at("PROGRESS").controls,
              (std::vector<std::string>{
                  "centred label 1012 \"\" 17,13 153x10", "progress 1013 \"\" 25,31 131x14",
                  "label -1 \"0%\" 12,34 11x8", "label -1 \"100%\" 161,34 18x8",
                  "button 1011 \"Cancel\" 69,51 50x14"}));
}

}  // namespace

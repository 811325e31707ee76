// The two apps draw the same windows from two descriptions: the Qt forms and the
// Windows resource script. They must agree control by control: id, kind, text,
// position, size, order, default button, enabled state and tab order.
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>
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
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The resource script's dialog templates, in the subset of its syntax it uses.
std::map<std::string, Window> resourceWindows() {
    std::map<std::string, int> ids{{"-1", -1}};
    const std::string header = readAll(kSource + "/app/control_ids.h");
    const std::regex define(R"(#define\s+(IDC_\w+)\s+(\d+))");
    for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
        ids[(*it)[1]] = std::stoi((*it)[2]);
    }
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

// A Qt form: the top widget's children in order, and its tab order as its list gives it.
Window formWindow(const std::string& file) {
    QFile in(QString::fromStdString(kSource + "/ui/resources/" + file));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << file;
    QXmlStreamReader xml(&in);
    std::vector<std::map<std::string, std::string>> widgets;  // properties; [0] the window
    std::vector<size_t> open;                                 // the widgets being read
    Window window;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == u"widget") open.pop_back();
        if (!xml.isStartElement()) continue;
        const auto attribute = [&](const char* name) {
            return xml.attributes().value(name).toString().toStdString();
        };
        if (xml.name() == u"widget") {
            open.push_back(widgets.size());
            widgets.push_back({{"class", attribute("class")}, {"name", attribute("name")}});
        } else if (xml.name() == u"tabstop") {
            window.tabs.push_back(std::stoi(xml.readElementText().mid(3).toStdString()));
        } else if (xml.name() == u"property" && !open.empty()) {
            std::string& value = widgets[open.back()][attribute("name")];
            xml.readNextStartElement();
            if (xml.name() == u"font") {  // the same font in both; read by the app's tests
                xml.skipCurrentElement();
            } else if (xml.name() == u"rect") {
                int v[4] = {};
                for (int& n : v) {
                    xml.readNextStartElement();
                    n = xml.readElementText().toInt();
                }
                value = std::to_string(v[0]) + "," + std::to_string(v[1]) + " " +
                        std::to_string(v[2]) + "x" + std::to_string(v[3]);
            } else {
                value = xml.readElementText().toStdString();
            }
        }
    }
    EXPECT_FALSE(xml.hasError()) << file << ": " << xml.errorString().toStdString();
    if (widgets.empty()) return window;
    window.title = widgets[0]["windowTitle"];
    window.size = widgets[0]["geometry"].substr(4);  // past "0,0 "
    const std::map<std::string, std::string> kinds = {{"QPushButton", "button"},
                                                      {"QLabel", "label"},
                                                      {"QLineEdit", "edit"},
                                                      {"QComboBox", "list"},
                                                      {"QProgressBar", "progress"}};
    for (size_t i = 1; i < widgets.size(); ++i) {
        auto& w = widgets[i];
        std::string kind = kinds.count(w["class"]) ? kinds.at(w["class"]) : w["class"];
        if (w["alignment"].find("AlignHCenter") != std::string::npos) kind = "centred label";
        const int id = w["name"].rfind("id_", 0) == 0 ? std::stoi(w["name"].substr(3)) : -1;
        window.controls.push_back(describe(kind, id, w["text"], w["geometry"],
                                           w["default"] == "true", w["enabled"] != "false"));
    }
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
    EXPECT_EQ(main.tabs, (std::vector<int>{1001, 1000, 3, 1005, 1003, 1004, 4}));
    EXPECT_EQ(templates.at("PROGRESS").controls,
              (std::vector<std::string>{
                  "centred label 1012 \"\" 17,13 153x10", "progress 1013 \"\" 25,31 131x14",
                  "label -1 \"0%\" 12,34 11x8", "label -1 \"100%\" 161,34 18x8",
                  "button 1011 \"Cancel\" 69,51 50x14"}));
}

}  // namespace

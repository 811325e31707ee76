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

struct Control {
    std::string kind;  // button, label, centred label, edit, list, progress
    int id = -1;       // -1: a control the code never names
    std::string text;
    int x = 0, y = 0, width = 0, height = 0;
    bool isDefault = false;
    bool enabled = true;
    bool tabStop = false;  // read from the resource script only
};

struct Window {
    std::string name, title;
    int width = 0, height = 0;
    std::vector<Control> controls;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::map<std::string, int> controlIds() {
    std::map<std::string, int> ids;
    const std::string text = readAll(kSource + "/app/control_ids.h");
    const std::regex define(R"(#define\s+(IDC_\w+)\s+(\d+))");
    for (std::sregex_iterator it(text.begin(), text.end(), define), end; it != end; ++it) {
        ids[(*it)[1]] = std::stoi((*it)[2]);
    }
    return ids;
}

// The resource script's dialog templates, in the subset of its syntax it uses.
std::map<std::string, Window> resourceWindows() {
    const auto ids = controlIds();
    const auto idOf = [&](const std::string& name) {
        if (name == "-1") return -1;
        const auto it = ids.find(name);
        if (it == ids.end()) ADD_FAILURE() << "unknown id " << name;
        return it == ids.end() ? -2 : it->second;
    };
    std::map<std::string, Window> windows;
    std::istringstream in(readAll(kSource + "/ui/win32/halden-gui.rc"));
    const std::regex header(R"re(^"(\w+)" DIALOGEX 0, 0, (\d+), (\d+))re");
    const std::regex caption(R"re(^CAPTION "(.*)")re");
    const std::regex withText(
        R"re(^\s*(DEFPUSHBUTTON|PUSHBUTTON|LTEXT|CTEXT)\s+"(.*)", (-?\w+), (\d+), (\d+), (\d+), (\d+)(.*))re");
    const std::regex withoutText(
        R"re(^\s*(EDITTEXT|COMBOBOX)\s+(\w+), (\d+), (\d+), (\d+), (\d+)(.*))re");
    const std::regex custom(
        R"re(^\s*CONTROL\s+"(.*)", (\w+), (\w+), [^,]*, (\d+), (\d+), (\d+), (\d+)(.*))re");
    Window* current = nullptr;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        Control c;
        std::string style;
        if (std::regex_search(line, m, header)) {
            current = &windows[m[1]];
            current->name = m[1];
            current->width = std::stoi(m[2]);
            current->height = std::stoi(m[3]);
            continue;
        } else if (current && std::regex_search(line, m, caption)) {
            current->title = m[1];
            continue;
        } else if (current && std::regex_search(line, m, withText)) {
            const std::string k = m[1];
            c.kind = k == "CTEXT" ? "centred label" : k == "LTEXT" ? "label" : "button";
            c.isDefault = k == "DEFPUSHBUTTON";
            c.tabStop = c.kind == "button";
            c.text = m[2];
            c.id = idOf(m[3]);
            c.x = std::stoi(m[4]), c.y = std::stoi(m[5]);
            c.width = std::stoi(m[6]), c.height = std::stoi(m[7]);
            style = m[8];
        } else if (current && std::regex_search(line, m, withoutText)) {
            c.kind = m[1] == "EDITTEXT" ? "edit" : "list";
            c.tabStop = true;
            c.id = idOf(m[2]);
            c.x = std::stoi(m[3]), c.y = std::stoi(m[4]);
            c.width = std::stoi(m[5]), c.height = std::stoi(m[6]);
            style = m[7];
        } else if (current && std::regex_search(line, m, custom)) {
            EXPECT_EQ(m[3], "PROGRESS_CLASS") << line;
            c.kind = "progress";
            c.text = m[1];
            c.id = idOf(m[2]);
            c.x = std::stoi(m[4]), c.y = std::stoi(m[5]);
            c.width = std::stoi(m[6]), c.height = std::stoi(m[7]);
            style = m[8];
        } else {
            if (current && line.find("END") == 0) current = nullptr;
            continue;
        }
        c.enabled = style.find("WS_DISABLED") == std::string::npos;
        current->controls.push_back(c);
    }
    return windows;
}

// A Qt form: the top widget's children in order.
Window formWindow(const std::string& file) {
    QFile in(QString::fromStdString(kSource + "/ui/resources/" + file));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << file;
    QXmlStreamReader xml(&in);
    Window window;
    Control* control = nullptr;
    int depth = 0;  // of widgets
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == u"widget") {
            --depth;
            control = nullptr;
        }
        if (!xml.isStartElement()) continue;
        const auto tag = xml.name();
        if (tag == u"widget") {
            ++depth;
            const QString cls = xml.attributes().value("class").toString();
            const std::string name = xml.attributes().value("name").toString().toStdString();
            if (depth == 1) {
                window.name = name;
                continue;
            }
            Control c;
            c.kind = cls == "QPushButton"    ? "button"
                     : cls == "QLabel"       ? "label"
                     : cls == "QLineEdit"    ? "edit"
                     : cls == "QComboBox"    ? "list"
                     : cls == "QProgressBar" ? "progress"
                                             : cls.toStdString();
            if (name.rfind("id_", 0) == 0) c.id = std::stoi(name.substr(3));
            window.controls.push_back(c);
            control = &window.controls.back();
        } else if (tag == u"property") {
            const QString property = xml.attributes().value("name").toString();
            if (property == "geometry") {
                int values[4] = {};
                for (int& v : values) {
                    xml.readNextStartElement();
                    if (xml.name() == u"rect") xml.readNextStartElement();
                    v = xml.readElementText().toInt();
                }
                if (control) {
                    control->x = values[0], control->y = values[1];
                    control->width = values[2], control->height = values[3];
                } else {
                    window.width = values[2], window.height = values[3];
                }
                continue;
            }
            xml.readNextStartElement();
            if (xml.name() == u"font") {  // the same font in both; read by the app's tests
                xml.skipCurrentElement();
                continue;
            }
            const QString value = xml.readElementText();
            if (!control) {
                if (property == "windowTitle") window.title = value.toStdString();
            } else if (property == "text") {
                control->text = value.toStdString();
            } else if (property == "default") {
                control->isDefault = value == "true";
            } else if (property == "enabled") {
                control->enabled = value == "true";
            } else if (property == "alignment" && value.contains("AlignHCenter")) {
                control->kind = "centred label";
            }
        }
    }
    EXPECT_FALSE(xml.hasError()) << file << ": " << xml.errorString().toStdString();
    return window;
}

std::vector<int> tabOrder(const std::vector<Control>& controls) {
    std::vector<int> order;
    for (const Control& c : controls) {
        if (c.tabStop) order.push_back(c.id);
    }
    return order;
}

// The form's tab order, as its list gives it (not the widgets' order).
std::vector<int> formTabOrder(const std::string& file) {
    const std::string text = readAll(kSource + "/ui/resources/" + file);
    const std::regex stop(R"(<tabstop>id_(\d+)</tabstop>)");
    std::vector<int> order;
    for (std::sregex_iterator it(text.begin(), text.end(), stop), end; it != end; ++it) {
        order.push_back(std::stoi((*it)[1]));
    }
    return order;
}

TEST(WindowLayouts, TheQtFormsAndTheWindowsTemplatesAgree) {
    const auto templates = resourceWindows();
    for (const auto& [form, name] :
         {std::pair{"dialog.ui", "DIALOG"}, {"progress.ui", "PROGRESS"}}) {
        SCOPED_TRACE(form);
        ASSERT_TRUE(templates.count(name)) << name;
        const Window& rc = templates.at(name);
        const Window ui = formWindow(form);
        EXPECT_EQ(ui.name, name);
        EXPECT_EQ(ui.title, rc.title);
        EXPECT_EQ(ui.width, rc.width);
        EXPECT_EQ(ui.height, rc.height);
        ASSERT_EQ(ui.controls.size(), rc.controls.size());
        for (size_t i = 0; i < rc.controls.size(); ++i) {
            const Control &a = rc.controls[i], &b = ui.controls[i];
            SCOPED_TRACE("control " + std::to_string(i) + " (" + a.kind + " \"" + a.text + "\")");
            EXPECT_EQ(b.kind, a.kind);
            EXPECT_EQ(b.id, a.id);
            EXPECT_EQ(b.text, a.text);
            EXPECT_EQ(b.x, a.x);
            EXPECT_EQ(b.y, a.y);
            EXPECT_EQ(b.width, a.width);
            EXPECT_EQ(b.height, a.height);
            EXPECT_EQ(b.isDefault, a.isDefault);
            EXPECT_EQ(b.enabled, a.enabled);
        }
        EXPECT_EQ(formTabOrder(form), tabOrder(rc.controls));
    }
}

// The reader itself: what it found in the main window, typed out here.
TEST(WindowLayouts, TheMainWindowTemplateIsReadWhole) {
    const Window rc = resourceWindows().at("DIALOG");
    EXPECT_EQ(rc.title, "Halden Firmware Update Utility - V1.00");
    ASSERT_EQ(rc.controls.size(), 18u);
    EXPECT_EQ(rc.controls[0].id, 1001);
    EXPECT_TRUE(rc.controls[0].isDefault);
    EXPECT_FALSE(rc.controls[0].enabled);
    EXPECT_EQ(tabOrder(rc.controls), (std::vector<int>{1001, 1000, 3, 1005, 1003, 1004, 4}));
    const Window progress = resourceWindows().at("PROGRESS");
    ASSERT_EQ(progress.controls.size(), 5u);
    EXPECT_EQ(progress.controls[0].kind, "centred label");
    EXPECT_EQ(progress.controls[1].kind, "progress");
}

}  // namespace

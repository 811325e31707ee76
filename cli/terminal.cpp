#include "cli/terminal.h"

#include <iostream>

#include "cli/platform.h"

namespace halden::cli {

namespace {
constexpr int kBarWidth = 20;
}

Terminal::Terminal() : live_(canRedrawLines(stderr)) {}

void Terminal::out(std::string_view line) {
    std::lock_guard lock(mutex_);
    write(json_ ? stderr : stdout, line);
}

void Terminal::err(std::string_view line) {
    std::lock_guard lock(mutex_);
    write(stderr, line);
}

void Terminal::write(std::FILE* stream, std::string_view line) {
    erase();
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    draw();
}

void Terminal::showProgress(std::string_view caption, int percent) {
    std::lock_guard lock(mutex_);
    caption_ = caption;
    percent_ = percent;
    shown_ = true;
    draw();
}

void Terminal::setProgressDetail(std::function<std::string()> detail) {
    std::lock_guard lock(mutex_);
    detail_ = std::move(detail);
}

void Terminal::clearProgress() {
    std::lock_guard lock(mutex_);
    erase();
    shown_ = false;
    caption_.clear();
}

void Terminal::draw() {
    if (!live_ || !shown_) return;
    const std::string more = detail_ ? detail_() : std::string();
    char line[256];
    if (more.empty()) {
        const int filled = percent_ * kBarWidth / 100;
        std::string bar(static_cast<size_t>(filled), '#');
        bar.append(static_cast<size_t>(kBarWidth - filled), '.');
        std::snprintf(line, sizeof line, "%-28s %3d%% [%s]", caption_.c_str(), percent_,
                      bar.c_str());
    } else {
        // The figures say more than a bar, and the line stays within 80 columns.
        std::snprintf(line, sizeof line, "%-28s %3d%%  %s", caption_.c_str(), percent_,
                      more.c_str());
    }
    // One line: cut to the terminal's width, so that redrawing in place works.
    std::string text = line;
    const size_t width = static_cast<size_t>(terminalColumns(stderr));
    if (width > 1 && text.size() >= width) text.resize(width - 1);
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
}

void Terminal::erase() {
    if (!live_ || !shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void Terminal::record(const Failure& failure) {
    if (!failure_) failure_ = failure;
}

void Terminal::failed(const Failure& failure) {
    record(failure);
    err(failure.text);
}

void Terminal::printReport(int exitStatus) {
    nlohmann::json report = report_;
    report["exitStatus"] = exitStatus;
    report["ok"] = exitStatus == 0;
    if (exitStatus != 0) {
        const Failure f = failure_.value_or(Failure{static_cast<StatusCode>(exitStatus), ""});
        // The first line is the status's own text; the rest says what state and what next.
        const size_t end = f.text.find("\n\n");
        report["error"] = {{"status", f.code},
                           {"text", f.text.substr(0, end)},
                           {"advice", end == std::string::npos ? "" : f.text.substr(end + 2)}};
    }
    std::lock_guard lock(mutex_);
    erase();
    const std::string text = report.dump(2) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool Terminal::ask(std::string_view question) {
    {
        std::lock_guard lock(mutex_);
        erase();
        std::fprintf(stderr, "%.*s [y/N] ", static_cast<int>(question.size()), question.data());
        std::fflush(stderr);
    }
    std::string answer;
    const bool got = static_cast<bool>(std::getline(std::cin, answer));
    if (!got) std::cin.clear();
    // An answer typed at a terminal has echoed its own line end; a piped one has not.
    if (!got || !isTerminal(stdin)) err(got ? answer : "");
    return got && (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes");
}

void TerminalProgress::open() {
    open_ = true;
    terminal_.showProgress("", 0);
}

void TerminalProgress::set(std::string_view caption, int percent) {
    if (open_) terminal_.showProgress(caption, percent);
}

void TerminalProgress::close() {
    open_ = false;
    terminal_.clearProgress();
}

void TerminalBoxes::errorBox(std::string_view text) {
    terminal_.err(text);
}

bool TerminalBoxes::askYesNo(std::string_view text) {
    if (answer_) {
        terminal_.err(std::string(text) + (*answer_ ? " Yes" : " No"));
        return *answer_;
    }
    return terminal_.ask(text);
}

bool TerminalBoxes::askOlderImage(std::string_view text) {
    const bool yes = answer_.value_or(false);
    terminal_.err(std::string(text) + (yes ? " Yes" : " No (only --yes installs an older image)"));
    return yes;
}

void TerminalBoxes::noticeBox(std::string_view text) {
    terminal_.out(text);
}

void TerminalBoxes::fatalBox(std::string_view text) {
    terminal_.err(text);
}

std::string hexBytes(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0xF]);
    }
    return out;
}

}  // namespace halden::cli

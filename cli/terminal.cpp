#include "cli/terminal.h"

#include <iostream>

#include "cli/platform.h"

namespace halden::cli {

namespace {
constexpr int kBarWidth = 20;
}

Terminal::Terminal() : live_(canRedrawLines(stderr)) {}

Terminal::Terminal(Terminal& parent, size_t row, std::string label)
    : parent_(&parent), row_(row), label_(std::move(label)) {
    json_ = parent.json();
}

std::string Terminal::labelled(std::string_view text) const {
    // Every line, so that lines of several Haldens can be told apart.
    std::string out;
    size_t start = 0;
    while (true) {
        const size_t end = text.find('\n', start);
        const std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        out += label_ + (line.empty() ? ":" : ": ") + std::string(line);
        if (end == std::string_view::npos) return out;
        out += '\n';
        start = end + 1;
    }
}

void Terminal::out(std::string_view line) {
    if (parent_) return parent_->out(labelled(line));
    std::lock_guard lock(mutex_);
    write(json_ ? stderr : stdout, line);
}

void Terminal::err(std::string_view line) {
    if (parent_) return parent_->err(labelled(line));
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
    if (parent_) return parent_->showRow(row_, label_, caption, percent);
    showRow(0, "", caption, percent);
}

void Terminal::setProgressDetail(std::function<std::string()> detail) {
    if (parent_) return parent_->setRowDetail(row_, std::move(detail));
    setRowDetail(0, std::move(detail));
}

void Terminal::clearProgress() {
    if (parent_) return parent_->clearRow(row_);
    clearRow(0);
}

Terminal::Row& Terminal::row(size_t index) {
    if (rows_.size() <= index) rows_.resize(index + 1);
    return rows_[index];
}

void Terminal::showRow(size_t index, const std::string& label, std::string_view caption,
                       int percent) {
    std::lock_guard lock(mutex_);
    erase();
    Row& r = row(index);
    r.label = label;
    r.caption = caption;
    r.percent = percent;
    r.shown = true;
    draw();
}

void Terminal::setRowDetail(size_t index, std::function<std::string()> detail) {
    std::lock_guard lock(mutex_);
    row(index).detail = std::move(detail);
}

void Terminal::clearRow(size_t index) {
    std::lock_guard lock(mutex_);
    erase();
    Row& r = row(index);
    // One of several Haldens keeps its line, showing where it stopped, so that the lines
    // do not change places.
    if (r.label.empty()) {
        r.shown = false;
        r.caption.clear();
    }
    draw();
}

void Terminal::endProgressLines() {
    std::lock_guard lock(mutex_);
    erase();
    rows_.clear();
}

// Every shown row on a line of its own, the cursor left at the end of the last one.
void Terminal::draw() {
    if (!live_) return;
    const size_t width = static_cast<size_t>(terminalColumns(stderr));
    std::string screen;
    for (const Row& r : rows_) {
        if (!r.shown) continue;
        const std::string more = r.detail ? r.detail() : std::string();
        const std::string caption = r.label.empty() ? r.caption : r.label + "  " + r.caption;
        char line[320];
        if (more.empty()) {
            const int filled = r.percent * kBarWidth / 100;
            std::string bar(static_cast<size_t>(filled), '#');
            bar.append(static_cast<size_t>(kBarWidth - filled), '.');
            std::snprintf(line, sizeof line, "%-28s %3d%% [%s]", caption.c_str(), r.percent,
                          bar.c_str());
        } else {
            // The figures say more than a bar, and the line stays within 80 columns.
            std::snprintf(line, sizeof line, "%-28s %3d%%  %s", caption.c_str(), r.percent,
                          more.c_str());
        }
        // Cut to the terminal's width, so that redrawing in place works.
        std::string text = line;
        if (width > 1 && text.size() >= width) text.resize(width - 1);
        screen += (drawn_ ? "\n\033[K" : "\r\033[K") + text;
        ++drawn_;
    }
    if (screen.empty()) return;
    std::fputs(screen.c_str(), stderr);
    std::fflush(stderr);
}

void Terminal::erase() {
    if (!live_ || drawn_ == 0) return;
    std::string clear = "\r\033[K";
    for (size_t i = 1; i < drawn_; ++i) clear += "\033[A\r\033[K";
    drawn_ = 0;
    std::fputs(clear.c_str(), stderr);
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
    const nlohmann::json report = finalReport(exitStatus);
    std::lock_guard lock(mutex_);
    erase();
    const std::string text = report.dump(2) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

nlohmann::json Terminal::finalReport(int exitStatus) const {
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
    return report;
}

bool Terminal::ask(std::string_view question) {
    if (parent_) {
        err(std::string(question) + " No (several Haldens at once: only --yes answers Yes)");
        return false;
    }
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

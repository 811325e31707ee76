// Terminal output for the command line: one lock for every line, so that progress,
// trace lines from the MIDI thread and messages never cut into each other.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/estimate.h"
#include "engine/host.h"
#include "engine/result.h"

namespace halden::cli {

class Terminal {
public:
    Terminal();
    // One Halden's part of `parent`, when several are updated at once: its lines go out
    // with `label` first, its progress is row `row` of the parent's progress lines, it
    // never asks (a question is answered No), and it keeps a report of its own.
    Terminal(Terminal& parent, size_t row, std::string label);

    // A whole line on stdout or stderr; a live progress line is cleared first and
    // drawn again after it.
    void out(std::string_view line);
    void err(std::string_view line);

    // The progress line (stderr), redrawn in place on a terminal; where stderr is not a
    // terminal nothing is drawn. Several Haldens at once have one line each.
    void showProgress(std::string_view caption, int percent);
    // More to show after the bar, asked for at every redraw (bytes, rate, time left).
    void setProgressDetail(std::function<std::string()> detail);
    void clearProgress();
    // Takes every progress line away, those of several Haldens too.
    void endProgressLines();

    // Asks on stderr and reads an answer from stdin; an interrupted or empty answer is
    // No.
    bool ask(std::string_view question);

    // A failure: its text on stderr, and (the first one) kept for the report.
    void failed(const Failure& failure);
    void record(const Failure& failure);

    // --json: standard output carries one JSON object and nothing else (the lines
    // meant for people go to stderr). The verb fills report(); printReport() adds the
    // exit status and the failure, if any, and writes it.
    void setJson(bool on) { json_ = on; }
    bool json() const { return json_; }
    nlohmann::json& report() { return report_; }
    // The report with the exit status and the failure, if any.
    nlohmann::json finalReport(int exitStatus) const;
    void printReport(int exitStatus);

private:
    struct Row {
        std::string label;
        std::string caption;
        int percent = 0;
        std::function<std::string()> detail;
        bool shown = false;
    };
    void write(std::FILE* stream, std::string_view line);  // lock held
    void draw();                                           // lock held
    void erase();                                          // lock held
    Row& row(size_t index);                                // lock held
    std::string labelled(std::string_view text) const;
    void showRow(size_t index, const std::string& label, std::string_view caption, int percent);
    void setRowDetail(size_t index, std::function<std::string()> detail);
    void clearRow(size_t index);

    Terminal* parent_ = nullptr;
    size_t row_ = 0;
    std::string label_;

    std::mutex mutex_;
    bool live_ = false;  // stderr is a terminal
    std::vector<Row> rows_;
    size_t drawn_ = 0;  // lines of progress on the screen
    bool json_ = false;
    nlohmann::json report_ = nlohmann::json::object();
    std::optional<Failure> failure_;
};

class TerminalProgress : public Progress {
public:
    explicit TerminalProgress(Terminal& terminal) : terminal_(terminal) {}
    void open() override;
    void set(std::string_view caption, int percent) override;
    void close() override;
    void planned(const UpdatePlan& plan) override {
        if (onPlanned_) onPlanned_(plan);
    }
    void onPlanned(std::function<void(const UpdatePlan&)> fn) { onPlanned_ = std::move(fn); }

private:
    Terminal& terminal_;
    bool open_ = false;
    std::function<void(const UpdatePlan&)> onPlanned_;
};

class TerminalBoxes : public MessageBoxes {
public:
    // `answer` answers every question without asking (--yes / --no).
    TerminalBoxes(Terminal& terminal, std::optional<bool> answer)
        : terminal_(terminal), answer_(answer) {}
    void errorBox(std::string_view text) override;
    bool askYesNo(std::string_view text) override;
    // Only --yes installs an older image: a script or a tired technician must not.
    bool askOlderImage(std::string_view text) override;
    void noticeBox(std::string_view text) override;
    void fatalBox(std::string_view text) override;

private:
    Terminal& terminal_;
    std::optional<bool> answer_;
};

// "F0 41 10 ..." with two uppercase hex digits a byte.
std::string hexBytes(ByteView bytes);

}  // namespace halden::cli

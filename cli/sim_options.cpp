#include "cli/sim_options.h"

#include <regex>

namespace halden::cli {

const char* const kSimulatorConvention =
    "The simulated Halden's firmware convention: after an area has been erased, written "
    "and closed (an empty block) without fault, it reports image status 0 and takes its "
    "version from the area's first two data bytes; an erased area that was not closed "
    "leaves image status 1.";

namespace {

std::string parseSerial(const std::string& text, std::array<uint8_t, 6>& serial) {
    if (!std::regex_match(text, std::regex("[0-9a-fA-F]{12}"))) {
        return "the serial number is 12 hex digits";
    }
    for (size_t i = 0; i < 6; ++i) {
        const unsigned v = static_cast<unsigned>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
        if (v > 0x7F) return "each serial byte must be 00 to 7f (it travels in SysEx data)";
        serial[i] = static_cast<uint8_t>(v);
    }
    return {};
}

std::string parseVersion(const std::string& text, uint8_t& major, uint8_t& minor) {
    std::smatch m;
    if (!std::regex_match(text, m, std::regex("([0-9]{1,3})\\.([0-9]{1,3})"))) {
        return "a version is MAJOR.MINOR";
    }
    const int a = std::stoi(m[1]), b = std::stoi(m[2]);
    if (a > 127 || b > 127) return "version numbers are 0 to 127";
    major = static_cast<uint8_t>(a);
    minor = static_cast<uint8_t>(b);
    return {};
}

std::chrono::microseconds millis(unsigned ms) {
    return std::chrono::milliseconds(ms);
}

}  // namespace

void addSimOptions(CLI::App& app, SimOptions& o) {
    const std::string group = "Simulated Halden";
    app.add_option_function<std::string>(
           "--sim-serial",
           [&o](const std::string& s) {
               if (auto e = parseSerial(s, o.serial); !e.empty()) throw CLI::ValidationError(e);
           },
           "serial number, 12 hex digits (default 000a7f100102)")
        ->group(group);
    app.add_option_function<std::string>(
           "--sim-version",
           [&o](const std::string& s) {
               if (auto e = parseVersion(s, o.versionMajor, o.versionMinor); !e.empty()) {
                   throw CLI::ValidationError(e);
               }
           },
           "firmware version MAJOR.MINOR (default 1.4)")
        ->group(group);
    app.add_option("--sim-status", o.imageStatus, "image status, 0 = verified good (default 0)")
        ->check(CLI::Range(0, 127))
        ->group(group);
    app.add_option("--sim-block-size", o.blockSize, "largest payload per block (default 128)")
        ->check(CLI::Range(0, 16383))
        ->group(group);
    app.add_option("--baud,--sim-baud", o.baud,
                   "link speed in baud, 0 for no transmission time (default 31250)")
        ->group(group);
    app.add_option_function<unsigned>(
           "--sim-latency", [&o](unsigned ms) { o.latency = millis(ms); },
           "added delay of every reply, in ms")
        ->group(group);
    app.add_option_function<unsigned>(
           "--sim-erase-time", [&o](unsigned ms) { o.eraseTime = millis(ms); },
           "time an erase takes, in ms")
        ->group(group);
    app.add_option_function<unsigned>(
           "--sim-write-time", [&o](unsigned ms) { o.writeTime = millis(ms); },
           "time a block write takes, in ms")
        ->group(group);
    app.add_flag("--sim-silent", o.silent, "never answer")->group(group);
    app.add_option("--sim-answer-from", o.answerFrom, "ignore the requests before the N-th")
        ->check(CLI::PositiveNumber)
        ->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--sim-block-result",
           [&o](const std::vector<std::string>& items) {
               for (const auto& item : items) {
                   std::smatch m;
                   if (!std::regex_match(item, m, std::regex("([0-9]+)=([0-9]+)")) ||
                       std::stoul(m[2]) > 127) {
                       throw CLI::ValidationError("--sim-block-result takes BLOCK=RESULT");
                   }
                   o.blockResults[static_cast<unsigned>(std::stoul(m[1]))] =
                       static_cast<uint8_t>(std::stoul(m[2]));
               }
           },
           "answer block BLOCK with device result RESULT (repeatable)")
        ->group(group);
    app.add_option("--sim-identity-length", o.identityBodyLength,
                   "length of the identity reply body (default 20)")
        ->check(CLI::Range(1, 60))
        ->group(group);
    app.add_flag("--sim-foreign", o.foreignMessages,
                 "send another maker's SysEx and a note before every reply")
        ->group(group);
    app.add_flag("--sim-realtime", o.realtimeBytes, "put MIDI clock bytes inside every reply")
        ->group(group);
    app.add_flag("--sim-cut-off", o.cutOffMessages,
                 "send a cut-off copy of every reply before the reply")
        ->group(group);
}

}  // namespace halden::cli

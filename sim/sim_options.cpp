#include "sim/sim_options.h"

#include <charconv>
#include <regex>

#include "engine/image.h"
#include "engine/protocol.h"

namespace halden {

const char* const kSimulatorConvention =
    "The simulated Halden's firmware convention: after an area has been erased, written "
    "and closed (an empty block) without fault, it reports image status 0 and takes its "
    "version from the area's first two data bytes; an erased area that was not closed "
    "leaves image status 1.";

namespace {

using protocol::kMax14Bit;

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

// A whole number in [min, max], or a usage error that names the option and the range.
long long inRange(const std::string& option, const std::string& text, long long min,
                  long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max) {
        throw CLI::ValidationError(option, "\"" + text + "\" is not a whole number from " +
                                               std::to_string(min) + " to " + std::to_string(max));
    }
    return value;
}

// Adds a numeric option whose value must lie in [min, max].
template <class T>
CLI::Option* addNumber(CLI::App& app, const std::string& name, T& target, long long min,
                       long long max, const std::string& help) {
    const std::string option = name.substr(0, name.find(','));
    return app
        .add_option_function<std::string>(
            name,
            [&target, option, min, max](const std::string& text) {
                target = static_cast<T>(inRange(option, text, min, max));
            },
            help)
        ->type_name("N")
        ->group("Simulated Halden");
}

constexpr long long kMaxMillis = 600'000;  // ten minutes

Version versionValue(const std::string& text) {
    const Result<Version> version = parseVersion(text);
    if (!version) throw CLI::ValidationError(version.failure().text);
    return *version;
}

}  // namespace

void addSimOptions(CLI::App& app, SimOptions& o) {
    const std::string group = "Simulated Halden";
    app.add_option_function<std::string>(
           "--sim-port-name",
           [&o](const std::string& s) {
               if (s.empty()) throw CLI::ValidationError("--sim-port-name: a name is needed");
               o.portName = s;
           },
           "the name of the simulator's ports (default \"Halden Simulator\")")
        ->group(group);
    app.add_option_function<std::string>(
           "--sim-serial",
           [&o](const std::string& s) {
               if (auto e = parseSerial(s, o.serial); !e.empty()) throw CLI::ValidationError(e);
           },
           "serial number, 12 hex digits (default 000a7f100102)")
        ->group(group);
    app.add_option_function<std::string>(
           "--sim-version", [&o](const std::string& s) { o.version = versionValue(s); },
           "firmware version MAJOR.MINOR (default 1.4)")
        ->group(group);
    addNumber(app, "--sim-status", o.imageStatus, 0, 127,
              "image status, 0 = verified good (default 0)");
    app.add_option_function<std::string>(
           "--sim-status-after",
           [&o](const std::string& text) {
               o.statusAfterUpdate =
                   static_cast<uint8_t>(inRange("--sim-status-after", text, 0, 127));
           },
           "the image status it reports after an update (default 0: it took the image)")
        ->type_name("N")
        ->group(group);
    app.add_option_function<std::string>(
           "--sim-version-after",
           [&o](const std::string& s) { o.versionAfterUpdate = versionValue(s); },
           "the version MAJOR.MINOR it reports after an update (default: the image's)")
        ->group(group);
    addNumber(app, "--sim-block-size", o.blockSize, 0, 16383,
              "largest payload per block (default 128)");
    addNumber(app, "--baud,--sim-baud", o.baud, 0, 10'000'000,
              "link speed in baud, 0 for no transmission time (default 31250)");
    const auto addMillis = [&](const std::string& name, Clock::Duration& target,
                               const std::string& help) {
        app.add_option_function<std::string>(
               name,
               [&target, name](const std::string& text) {
                   target = std::chrono::milliseconds(inRange(name, text, 0, kMaxMillis));
               },
               help)
            ->type_name("MS")
            ->group(group);
    };
    addMillis("--sim-latency", o.latency, "added delay of every reply, in ms");
    addMillis("--sim-erase-time", o.eraseTime, "time an erase takes, in ms");
    addMillis("--sim-write-time", o.writeTime, "time a block write takes, in ms");
    app.add_flag("--sim-silent", o.silent, "never answer")->group(group);
    addNumber(app, "--sim-answer-from", o.answerFrom, 1, 1'000'000,
              "ignore the requests before the N-th");
    app.add_option_function<std::vector<std::string>>(
           "--sim-block-result",
           [&o](const std::vector<std::string>& items) {
               const std::string option = "--sim-block-result";
               for (const auto& item : items) {
                   const auto eq = item.find('=');
                   if (eq == std::string::npos) {
                       throw CLI::ValidationError(option,
                                                  "takes BLOCK=RESULT, not \"" + item + "\"");
                   }
                   const auto block = inRange(option, item.substr(0, eq), 0, kMax14Bit);
                   const auto result = inRange(option, item.substr(eq + 1), 0, 127);
                   o.blockResults[static_cast<unsigned>(block)] = static_cast<uint8_t>(result);
               }
           },
           "answer block BLOCK with device result RESULT (repeatable)")
        ->type_name("BLOCK=RESULT")
        ->group(group);
    addNumber(app, "--sim-port-fails-after", o.portFailsAfter, 1, 1'000'000,
              "the simulator's port fails at the N-th message sent to it, as an unplugged "
              "MIDI interface");
    addNumber(app, "--sim-lose-reply", o.loseReplyTo, 1, 1'000'000,
              "act on the N-th message sent to it but lose its reply on the way, as a busy "
              "MIDI server may");
    addNumber(app, "--sim-identity-length", o.identityBodyLength, 1, 60,
              "length of the identity reply body (default 20)");
    app.add_flag("--sim-foreign", o.foreignMessages,
                 "send another maker's SysEx and a note before every reply")
        ->group(group);
    app.add_flag("--sim-realtime", o.realtimeBytes, "put MIDI clock bytes inside every reply")
        ->group(group);
    app.add_flag("--sim-cut-off", o.cutOffMessages,
                 "send a cut-off copy of every reply before the reply")
        ->group(group);
}

}  // namespace halden

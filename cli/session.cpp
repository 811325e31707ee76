#include "cli/session.h"

#include "app/engine_failure.h"
#include "cli/platform.h"
#include "cli/port_choice.h"
#include "sim/simulator_ports.h"
#include "transport/system_ports.h"

namespace halden::cli {

int exitStatus(StatusCode rc) {
    return rc == status::kPortFailure ? 1 : static_cast<int>(rc);
}

Session::Session(Terminal& terminal, const SessionOptions& options)
    : options_(options),
      terminal_(terminal),
      tracer_(terminal, clock_, options.trace),
      meter_(clock_,
             [this](const std::string& text, Clock::Duration time, bool fromLink) {
                 terminal_.out(text);
                 terminal_.report()["estimate"] = {
                     {"seconds", std::chrono::duration<double>(time).count()},
                     {"from", fromLink ? "link speed" : "first blocks"}};
             }),
      progress_(terminal),
      boxes_(terminal, options.answer),
      io_{sender_, receiver_, progress_, boxes_, cancel_, clock_} {
    endPromptlyAfterStops();
    if (options_.catchSignals) catchStopSignals(&cancel_);
    progress_.onPlanned([this](const UpdatePlan& plan) { meter_.plan(plan, sender_.linkBaud()); });
    terminal_.setProgressDetail([this] { return meter_.text(); });
}

Session::~Session() {
    // Everything is told and recorded: a stalled MIDI system may hold up the closing.
    if (options_.catchSignals) sessionEnded(exit_);
    {
        std::lock_guard lock(midiClientMutex());
        if (ports_) ports_->closePorts();
        ports_.reset();
    }
    if (options_.catchSignals) catchStopSignals(nullptr);
    terminal_.setProgressDetail(nullptr);
}

Outcome Session::open() {
    std::lock_guard lock(midiClientMutex());
    auto input = [this](ByteView bytes) {
        tracer_.received(bytes);
        receiver_.feed(bytes);
    };
    // The simulator alone with --simulate, the system's ports alone otherwise.
    ports_ = std::make_unique<AppPorts>(
        options_.simulate
            ? nullptr
            : makeSystemPorts(
                  clock_, input, [this](const std::string& why) { receiver_.failPort(why); },
                  options_.midiSystem),
        options_.simulate ? simulatorFactory(options_.sim)(clock_, input) : nullptr);
    PortNames names;
    if (Outcome listed = ports_->enumeratePorts(names); !listed) return listed;
    const auto out =
        options_.simulate ? 0 : choosePort(portNames(names.outputs), options_.out, "output");
    if (!out) return out.failure();
    const auto in =
        options_.simulate ? 0 : choosePort(portNames(names.inputs), options_.in, "input");
    if (!in) return in.failure();
    outputName_ = names.outputs[*out].name;
    inputName_ = names.inputs[*in].name;
    return ports_->openPorts(names.inputs[*in], names.outputs[*out]);
}

int Session::finish(const Failure& failure) {
    if (failure.code != status::kOk) terminal_.record(failure);
    if (failure.code == status::kPortFailure) {
        boxes_.fatalBox(failure.text);
    } else if (failure.code != status::kOk) {
        boxes_.errorBox(failure.text);
    }
    exit_ = exitStatus(failure.code);
    return exit_;
}

}  // namespace halden::cli

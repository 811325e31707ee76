#include "cli/session.h"

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
      progress_(terminal),
      boxes_(terminal, options.answer),
      io_{sender_, receiver_, progress_, boxes_, cancel_, clock_} {
    catchStopSignals(&cancel_);
    terminal_.setProgressDetail([this] { return meter_.text(); });
}

Session::~Session() {
    if (ports_) ports_->closePorts();
    ports_.reset();
    catchStopSignals(nullptr);
    terminal_.setProgressDetail(nullptr);
}

std::string Session::open() {
    auto input = [this](ByteView bytes) {
        tracer_.received(bytes);
        receiver_.feed(bytes);
    };
    if (options_.simulate) {
        ports_ = std::make_unique<SimulatorPorts>(options_.sim, clock_, input);
    } else {
        ports_ = makeSystemPorts(
            input, [this](const std::string& why) { receiver_.failPort(why); },
            options_.midiSystem);
    }
    PortNames names;
    if (std::string error = ports_->enumeratePorts(names); !error.empty()) return error;
    std::string error;
    const auto out =
        options_.simulate ? 0 : choosePort(portNames(names.outputs), options_.out, "output", error);
    if (!out) return error;
    const auto in =
        options_.simulate ? 0 : choosePort(portNames(names.inputs), options_.in, "input", error);
    if (!in) return error;
    return ports_->openPorts(names.inputs[*in].device, names.outputs[*out].device);
}

int Session::finish(StatusCode rc) {
    if (rc == status::kPortFailure) {
        const std::string why =
            receiver_.portFailed() ? receiver_.portFailure() : sender_.failureText();
        boxes_.fatalBox(why);
    } else if (rc != status::kOk) {
        boxes_.errorBox(statusMessage(rc));
    }
    return exitStatus(rc);
}

}  // namespace halden::cli

// Times a whole update of a 65535-byte area (the largest an area can be) with block
// size 128 on the real clock at 31250 baud, and sets it against the wire-time lower
// bound: every byte of every request and reply at the wire rate, one exchange at a time.
// By default through the built-in simulator; with --winmm (Windows build) through the
// WinMM backend and a simulated winmm.dll.
#include <chrono>
#include <cstdio>

#include "engine/quiet_host.h"
#include "engine/update.h"
#include "sim/simulator_ports.h"
#include "transport/real_clock.h"

#ifdef _WIN32
#include "sim/real_scheduler.h"
#include "tests/windows/simulated_winmm.h"
#include "transport/winmm/winmm_ports.h"
#endif

namespace {

using namespace halden;

// Counts the bytes that cross the wire in each direction.

}  // namespace

// The ports a run goes through, with the simulated Halden at their far end.
class BenchPorts {
public:
    virtual ~BenchPorts() = default;
    virtual SysExSender& sender() = 0;
    virtual Bytes memory() = 0;
    virtual void close() = 0;
};

// The first ports listed, which the benches have one of each.
Outcome openFirst(MidiPorts& ports) {
    PortNames names;
    if (Outcome listed = ports.enumeratePorts(names); !listed) return listed;
    return ports.openPorts(names.inputs.at(0), names.outputs.at(0));
}

// The built-in simulator: the Halden at the end of a modelled wire.
class SimulatorBench : public BenchPorts {
public:
    SimulatorBench(const SimOptions& options, Clock& clock, MidiPorts::InputSink input)
        : ports_(options, clock, std::move(input)) {}
    Outcome open() { return openFirst(ports_); }
    SysExSender& sender() override { return ports_; }
    Bytes memory() override { return ports_.device().memory(); }
    void close() override { ports_.closePorts(); }

private:
    SimulatorPorts ports_;
};

#ifdef _WIN32
// The WinMM backend against a simulated winmm.dll whose cable plays each message at
// 3125 bytes a second, with the simulated Halden on that cable.
class WinmmBench : public BenchPorts {
public:
    WinmmBench(const SimOptions& options, Clock& clock, MidiPorts::InputSink input)
        : driver_(clock, scheduler_),
          halden_(options, clock, scheduler_, [this](ByteView b) { (void)driver_.deliver(b); }),
          ports_(driver_, clock, std::move(input), nullptr) {
        driver_.bytesPerSecond = options.baud / 10;
        driver_.holdBytesForBuffers = true;
        driver_.onSent = [this](ByteView m) { halden_.receive(m); };
    }
    ~WinmmBench() override { scheduler_.stop(); }
    Outcome open() { return openFirst(ports_); }
    SysExSender& sender() override { return ports_; }
    Bytes memory() override { return halden_.memory(); }
    void close() override { ports_.closePorts(); }

private:
    RealScheduler scheduler_;
    SimulatedWinmm driver_;
    SimulatedHalden halden_;
    WinmmPorts ports_;
};
#endif

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!mode.empty() && mode != "--winmm") {
        std::printf("usage: halden_update_bench [--winmm]\n");
        return 2;
    }
    constexpr size_t kAreaSize = 65535;
    constexpr unsigned kBaud = 31250;
    Bytes data(kAreaSize);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 37 + 11) & 0x7F);
    ImageBuilder builder;
    if (const Outcome added = builder.addArea(data); !added) {
        std::printf("can't build the image: %s\n", added.failure().text.c_str());
        return 1;
    }
    const Bytes image = builder.finish();

    SimOptions options;
    options.blockSize = 128;
    options.baud = kBaud;
    RealClock clock;
    CancelFlag cancel{false};
    SysExReceiver receiver(clock, cancel);
    std::atomic<size_t> received{0};
    const auto input = [&](ByteView b) {
        received += b.size();
        receiver.feed(b);
    };
    std::unique_ptr<BenchPorts> ports;
    Outcome opened;
    if (mode == "--winmm") {
#ifdef _WIN32
        auto winmm = std::make_unique<WinmmBench>(options, clock, input);
        opened = winmm->open();
        ports = std::move(winmm);
#else
        std::printf("--winmm: the WinMM backend is built for Windows only\n");
        return 2;
#endif
    } else {
        auto simulator = std::make_unique<SimulatorBench>(options, clock, input);
        opened = simulator->open();
        ports = std::move(simulator);
    }
    if (!opened) {
        std::printf("can't open the ports: %s\n", opened.failure().text.c_str());
        return 1;
    }
    size_t sentBytes = 0;
    ForwardingSender sender(ports->sender(), [&](ByteView m) { sentBytes += m.size(); });
    QuietProgress progress;
    NoBoxes boxes{true};  // Yes to every question
    EngineIo io{sender, receiver, progress, boxes, cancel, clock};
    DeviceInfo info;

    const auto start = std::chrono::steady_clock::now();
    const StatusCode rc = runUpdate(io, image, info);
    const double measured =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ports->close();
    if (rc != status::kOk || ports->memory() != data) {
        std::printf("update failed: %s\n", std::string(statusMessage(rc)).c_str());
        return 1;
    }
    const double bound = static_cast<double>(sentBytes + received) * 10.0 / kBaud;
    std::printf("%s: area %zu bytes, block size %u, %u baud\n",
                mode == "--winmm" ? "WinMM backend" : "built-in simulator", kAreaSize,
                options.blockSize, kBaud);
    std::printf("bytes on the wire: %zu sent, %zu received\n", sentBytes, received.load());
    std::printf("measured:    %.3f s\n", measured);
    std::printf("lower bound: %.3f s\n", bound);
    std::printf("ratio:       %.4f (goal: at most 1.10)\n", measured / bound);
    return 0;
}

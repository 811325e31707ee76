// Times a whole update of a 65535-byte area (the largest an area can be) with block
// size 128 through the built-in simulator on the real clock at 31250 baud, and sets it
// against the wire-time lower bound: every byte of every request and reply at the wire
// rate, one exchange at a time.
#include <chrono>
#include <cstdio>

#include "engine/update.h"
#include "sim/simulator_ports.h"
#include "transport/real_clock.h"

namespace {

using namespace halden;

class QuietProgress : public Progress {
public:
    void open() override {}
    void set(std::string_view, int) override {}
    void close() override {}
};

class NoBoxes : public MessageBoxes {
public:
    void errorBox(std::string_view) override {}
    bool askYesNo(std::string_view) override { return true; }
    void noticeBox(std::string_view) override {}
    void fatalBox(std::string_view) override {}
};

// Counts the bytes that cross the wire in each direction.
class CountingSender : public SysExSender {
public:
    explicit CountingSender(SysExSender& inner) : inner_(inner) {}
    StatusCode sendSysEx(ByteView m) override {
        bytes += m.size();
        return inner_.sendSysEx(m);
    }
    std::string failureText() const override { return inner_.failureText(); }
    size_t maxMessageSize() const override { return inner_.maxMessageSize(); }
    size_t bytes = 0;

private:
    SysExSender& inner_;
};

}  // namespace

int main() {
    constexpr size_t kAreaSize = 65535;
    constexpr unsigned kBaud = 31250;
    Bytes data(kAreaSize);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 37 + 11) & 0x7F);
    ImageBuilder builder;
    if (const std::string error = builder.addArea(data); !error.empty()) {
        std::printf("can't build the image: %s\n", error.c_str());
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
    SimulatorPorts ports(options, clock, [&](ByteView b) {
        received += b.size();
        receiver.feed(b);
    });
    if (const std::string error = ports.openPorts(0, 0); !error.empty()) {
        std::printf("can't open the simulator's ports: %s\n", error.c_str());
        return 1;
    }
    CountingSender sender(ports);
    QuietProgress progress;
    NoBoxes boxes;
    EngineIo io{sender, receiver, progress, boxes, cancel, clock};
    DeviceInfo info;

    const auto start = std::chrono::steady_clock::now();
    const StatusCode rc = runUpdate(io, image, info);
    const double measured =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ports.closePorts();
    if (rc != status::kOk || ports.device().memory() != data) {
        std::printf("update failed: %s\n", std::string(statusMessage(rc)).c_str());
        return 1;
    }
    const double bound = static_cast<double>(sender.bytes + received) * 10.0 / kBaud;
    std::printf("area %zu bytes, block size %u, %u baud\n", kAreaSize, options.blockSize, kBaud);
    std::printf("bytes on the wire: %zu sent, %zu received\n", sender.bytes, received.load());
    std::printf("measured:    %.3f s\n", measured);
    std::printf("lower bound: %.3f s\n", bound);
    std::printf("ratio:       %.4f (goal: at most 1.10)\n", measured / bound);
    return 0;
}

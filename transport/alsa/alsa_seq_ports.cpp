#include "transport/alsa/alsa_seq_ports.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

#include "transport/midi_systems.h"

namespace halden {

namespace {

using namespace std::chrono_literals;

constexpr const char* kClientName = "halden-updater";
constexpr auto kSendDeadline = 3s;
constexpr auto kRefusedPause = 100ms;
// A SysEx goes as events of this many bytes: the size the kernel's MIDI bridge hands on
// what it reads from a card, and small enough for any receiver's pool.
constexpr size_t kEventBytes = 256;
// Neither kind of port says how much more it can take, and both lose what they cannot:
// - a card's port is the kernel's MIDI bridge, which writes what it gets into the card's
//   output buffer, one page by default, and drops what does not fit (measured through a
//   USB-MIDI interface: of 8192 bytes sent at once 4095 arrived, of 16383 sent as events
//   of 256 bytes 5631; the virtual raw MIDI device kept 4096 of 16383);
// - a program's port queues events in the program's pool, 200 cells of 28 bytes by
//   default; an event that finds it full is refused, and the program's next read then
//   empties its whole queue.
// So what a message has beyond the first few KiB goes at the pace of the MIDI wire, 31250
// baud of ten bits a byte, which every Halden's port keeps up with (measured: 16383 bytes
// in events of 256 every 80 ms arrived whole on both). An answer from the Halden shows
// that what came before it has arrived.
constexpr size_t kRoom = 4096 - kEventBytes;
constexpr size_t kWireBytesPerSecond = 3125;
// Our input client's pool: room for what a peer sends before we read it (the sequencer
// drops events that find the pool full).
constexpr int kInputPoolEvents = 2000;

struct Listed {
    int client, port;
    std::string name;
};

// The ports that `caps` describes, in the sequencer's order, named "client:port C:P" as
// MIDI programs on Linux show them. Our own clients are left out: they lead to no Halden.
std::vector<Listed> listPorts(snd_seq_t* seq, unsigned caps) {
    std::vector<Listed> found;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        const std::string clientName = snd_seq_client_info_get_name(client);
        if (id == SND_SEQ_CLIENT_SYSTEM || clientName.rfind(kClientName, 0) == 0) continue;
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            const unsigned type = snd_seq_port_info_get_type(port);
            if (!(type & (SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH |
                          SND_SEQ_PORT_TYPE_APPLICATION))) {
                continue;
            }
            const unsigned have = snd_seq_port_info_get_capability(port);
            if ((have & caps) != caps || (have & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
            const int number = snd_seq_port_info_get_port(port);
            found.push_back({id, number,
                             clientName + ":" + snd_seq_port_info_get_name(port) + " " +
                                 std::to_string(id) + ":" + std::to_string(number)});
        }
    }
    return found;
}

constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

size_t deviceOf(int client, int port) {
    return (static_cast<size_t>(client) << 8) | static_cast<size_t>(port);
}

std::string goneText(const std::string& name) {
    return "The MIDI port \"" + name + "\" has gone away. Is the MIDI interface still connected?";
}

// Without a sequencer device the ALSA library only prints complaints. Empty when there is one.
std::string sequencerMissing() {
    return access("/dev/snd/seq", R_OK | W_OK) == 0 ? "" : "no sequencer (/dev/snd/seq)";
}

}  // namespace

AlsaSeqPorts::AlsaSeqPorts(Clock& clock, InputSink input, FailureSink failure)
    : clock_(clock),
      input_(std::move(input)),
      failure_(std::move(failure)),
      pacer_(kRoom, kWireBytesPerSecond) {}

AlsaSeqPorts::~AlsaSeqPorts() {
    portWatch_.reset();
    closePorts();
    if (list_) snd_seq_close(list_);
}

void AlsaSeqPorts::watchPorts(std::function<void()> changed) {
    portWatch_.reset();
    if (changed) portWatch_ = watchAlsaPorts(std::move(changed));
}

Outcome AlsaSeqPorts::enumeratePorts(PortNames& names) {
    names = {};
    if (!list_) {
        if (const std::string why = sequencerMissing(); !why.empty()) {
            return listedPorts(names, "ALSA: " + why);
        }
        if (int rc = snd_seq_open(&list_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
            rc < 0) {
            list_ = nullptr;
            return listedPorts(names, std::string("ALSA: ") + snd_strerror(rc));
        }
        snd_seq_set_client_name(list_, kClientName);
    }
    for (const Listed& p : listPorts(list_, kReadable)) {
        names.inputs.push_back({p.name, deviceOf(p.client, p.port)});
    }
    for (const Listed& p : listPorts(list_, kWritable)) {
        names.outputs.push_back({p.name, deviceOf(p.client, p.port)});
    }
    return listedPorts(names);
}

Outcome AlsaSeqPorts::open(const Port* input, const Port* output) {
    closePorts();
    PortNames names;
    if (Outcome listed = enumeratePorts(names); !listed) return listed;
    // By name: the names carry the sequencer's client and port numbers, so a port that
    // went away is not mistaken for another that moved into its place.
    const auto peer = [](const std::vector<Port>& now, const Port& wanted) {
        Peer p;
        if (auto at = findPort(now, wanted)) {
            p.client = static_cast<int>(now[*at].device >> 8);
            p.port = static_cast<int>(now[*at].device & 0xff);
            p.name = now[*at].name;
        }
        return p;
    };
    if (input) {
        inPeer_ = peer(names.inputs, *input);
        if (inPeer_.client < 0) return portGone("input", input->name);
    }
    if (output) {
        outPeer_ = peer(names.outputs, *output);
        if (outPeer_.client < 0) return portGone("output", output->name);
    }
    const auto refuse = [&](const char* direction, const std::string& port, int rc) {
        closePorts();
        return portFailure(std::string("Can't open the MIDI ") + direction + " port \"" + port +
                           "\": " + snd_strerror(rc) + ". Is the MIDI port currently in use?");
    };
    const std::string suffix = "-" + std::to_string(getpid());

    // The input client always: its announcements tell when either peer goes away.
    const std::string inName = input ? inPeer_.name : outPeer_.name;
    const char* inDirection = input ? "input" : "output";
    if (int rc = snd_seq_open(&in_, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK); rc < 0) {
        in_ = nullptr;
        return refuse(inDirection, inName, rc);
    }
    snd_seq_set_client_name(in_, kClientName);
    snd_seq_set_client_pool_input(in_, kInputPoolEvents);
    snd_seq_set_input_buffer_size(in_, kInputPoolEvents * sizeof(snd_seq_event_t));
    inPort_ =
        snd_seq_create_simple_port(in_, ("in" + suffix).c_str(), kWritable,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (inPort_ < 0) return refuse(inDirection, inName, inPort_);
    if (int rc =
            snd_seq_connect_from(in_, inPort_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
        rc < 0) {
        return refuse(inDirection, inName, rc);
    }
    if (input) {
        if (int rc = snd_seq_connect_from(in_, inPort_, inPeer_.client, inPeer_.port); rc < 0) {
            return refuse("input", inPeer_.name, rc);
        }
    }
    if (output) {
        if (int rc = snd_seq_open(&out_, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);
            rc < 0) {
            out_ = nullptr;
            return refuse("output", outPeer_.name, rc);
        }
        snd_seq_set_client_name(out_, kClientName);
        outPort_ = snd_seq_create_simple_port(
            out_, ("out" + suffix).c_str(), kReadable,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (outPort_ < 0) return refuse("output", outPeer_.name, outPort_);
        if (int rc = snd_seq_connect_to(out_, outPort_, outPeer_.client, outPeer_.port); rc < 0) {
            return refuse("output", outPeer_.name, rc);
        }
    }
    {
        std::lock_guard lock(mutex_);
        failureText_.clear();
        failed_ = false;
    }
    pacer_ = WirePacer(kRoom, kWireBytesPerSecond);
    if (pipe(wake_) != 0) {
        wake_[0] = wake_[1] = -1;
        return refuse(inDirection, inName, -errno);
    }
    receiver_ = std::thread([this] { receive(); });
    return {};
}

void AlsaSeqPorts::closePorts() {
    if (receiver_.joinable()) {
        (void)!write(wake_[1], "x", 1);
        receiver_.join();
    }
    for (int& fd : wake_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    if (in_) snd_seq_close(in_);
    if (out_) snd_seq_close(out_);
    in_ = out_ = nullptr;
    inPort_ = outPort_ = -1;
    inPeer_ = outPeer_ = {};
    filter_.reset();
}

void AlsaSeqPorts::receive() {
    std::vector<pollfd> fds(static_cast<size_t>(snd_seq_poll_descriptors_count(in_, POLLIN)));
    snd_seq_poll_descriptors(in_, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
    fds.push_back({wake_[0], POLLIN, 0});
    snd_midi_event_t* decoder = nullptr;
    if (snd_midi_event_new(kEventBytes, &decoder) < 0) decoder = nullptr;
    std::vector<unsigned char> bytes(kEventBytes);
    const auto hand = [this](ByteView b) {
        const ByteView passed = filter_.pass(b);
        if (passed.empty()) return;
        {
            std::lock_guard lock(pacerMutex_);
            pacer_.drained(clock_.now());
        }
        input_(passed);
    };
    while (true) {
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds.back().revents) break;
        snd_seq_event_t* ev = nullptr;
        int rc;
        while ((rc = snd_seq_event_input(in_, &ev)) >= 0 && ev) {
            if (ev->source.client == SND_SEQ_CLIENT_SYSTEM) {
                const snd_seq_addr_t& a = ev->data.addr;
                for (const Peer* p : {&inPeer_, &outPeer_}) {
                    if (p->client < 0 || a.client != p->client) continue;
                    if (ev->type == SND_SEQ_EVENT_CLIENT_EXIT ||
                        (ev->type == SND_SEQ_EVENT_PORT_EXIT && a.port == p->port)) {
                        fail(goneText(p->name));
                    }
                }
            } else if (ev->type == SND_SEQ_EVENT_SYSEX) {
                hand(ByteView(static_cast<const uint8_t*>(ev->data.ext.ptr), ev->data.ext.len));
            } else if (decoder) {
                const long n = snd_midi_event_decode(decoder, bytes.data(),
                                                     static_cast<long>(bytes.size()), ev);
                if (n > 0) hand(ByteView(bytes.data(), static_cast<size_t>(n)));
            }
            if (snd_seq_event_input_pending(in_, 0) == 0) break;
        }
        // Events were lost because our pool was full: whatever SysEx was under way is cut.
        if (rc == -ENOSPC) {
            const uint8_t cut = 0x80;
            hand(ByteView(&cut, 1));
        }
    }
    if (decoder) snd_midi_event_free(decoder);
}

StatusCode AlsaSeqPorts::sendSysEx(ByteView message) {
    if (failed_) return status::kPortFailure;
    if (!out_) {
        fail("No MIDI output port is open.");
        return status::kPortFailure;
    }
    // The pacing's time comes on top of the deadline.
    const auto deadline =
        clock_.now() + kSendDeadline +
        std::chrono::microseconds(message.size() * 1'000'000 / kWireBytesPerSecond);
    for (size_t at = 0; at < message.size();) {
        const size_t length = std::min(kEventBytes, message.size() - at);
        Clock::Duration wait;
        {
            std::lock_guard lock(pacerMutex_);
            wait = pacer_.waitBefore(length, clock_.now());
        }
        if (wait > Clock::Duration::zero()) clock_.waitFor(wait, [this] { return failed_.load(); });
        if (failed_) return status::kPortFailure;
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_seq_ev_set_source(&ev, outPort_);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(length),
                             const_cast<uint8_t*>(message.data() + at));
        int rc = snd_seq_event_output_direct(out_, &ev);
        if (rc == -EAGAIN || rc == -ENOMEM) {
            // The program's queue was full and refused the event; its next read empties
            // the queue, what it held of this message too. Once it has had time to read,
            // the message goes again from its start: the partial one is cut off by it.
            if (clock_.now() >= deadline) {
                fail("The MIDI port \"" + outPeer_.name +
                     "\" did not take the message in time. Is the program behind it still "
                     "running?");
                return status::kPortFailure;
            }
            clock_.waitFor(kRefusedPause, [this] { return failed_.load(); });
            if (failed_) return status::kPortFailure;
            at = 0;
            continue;
        }
        if (rc < 0) {
            fail("Sending to the MIDI port \"" + outPeer_.name + "\" failed: " + snd_strerror(rc));
            return status::kPortFailure;
        }
        {
            std::lock_guard lock(pacerMutex_);
            pacer_.sent(length, clock_.now());
        }
        at += length;
    }
    return failed_ ? status::kPortFailure : status::kOk;
}

size_t AlsaSeqPorts::maxMessageSize() const {
    return size_t{1} << 20;
}

std::string AlsaSeqPorts::failureText() const {
    std::lock_guard lock(mutex_);
    return failureText_;
}

void AlsaSeqPorts::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failed_) return;
        failureText_ = why;
        failed_ = true;
    }
    clock_.notify();
    if (failure_) failure_(why);
}

MidiSystem alsaMidiSystem() {
    return {"alsa", "ALSA", sequencerMissing,
            [](Clock& clock, MidiPorts::InputSink input, MidiPorts::FailureSink failure) {
                return std::make_unique<AlsaSeqPorts>(clock, std::move(input), std::move(failure));
            }};
}

}  // namespace halden

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "transport/port_watch.h"

namespace halden {

namespace {

class AlsaPortWatch : public PortWatch {
public:
    AlsaPortWatch(snd_seq_t* seq, std::function<void()> changed)
        : seq_(seq), changed_(std::move(changed)) {
        if (pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
        thread_ = std::thread([this] { run(); });
    }
    ~AlsaPortWatch() override {
        if (wake_[1] >= 0) (void)!write(wake_[1], "x", 1);
        thread_.join();
        for (int fd : wake_) {
            if (fd >= 0) close(fd);
        }
        snd_seq_close(seq_);
    }

private:
    void run() {
        std::vector<pollfd> fds(static_cast<size_t>(snd_seq_poll_descriptors_count(seq_, POLLIN)));
        snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(fds.size()), POLLIN);
        fds.push_back({wake_[0], POLLIN, 0});
        while (wake_[0] >= 0) {
            if (poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds.back().revents) return;
            bool changed = false;
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input(seq_, &event) >= 0 && event) {
                switch (event->type) {
                    case SND_SEQ_EVENT_CLIENT_START:
                    case SND_SEQ_EVENT_CLIENT_EXIT:
                    case SND_SEQ_EVENT_CLIENT_CHANGE:
                    case SND_SEQ_EVENT_PORT_START:
                    case SND_SEQ_EVENT_PORT_EXIT:
                    case SND_SEQ_EVENT_PORT_CHANGE:
                        changed = true;
                        break;
                    default:
                        break;
                }
                if (snd_seq_event_input_pending(seq_, 0) == 0) break;
            }
            if (changed) changed_();
        }
    }

    snd_seq_t* seq_;
    std::function<void()> changed_;
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<PortWatch> watchAlsaPorts(std::function<void()> changed) {
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) return nullptr;
    // Named as the updater's other clients, whose ports the lists leave out. The port
    // takes the announcements and nothing else: nobody else may connect to it.
    snd_seq_set_client_name(seq, "halden-updater-watch");
    const int port = snd_seq_create_simple_port(seq, "announce",
                                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 ||
        snd_seq_connect_from(seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
        snd_seq_close(seq);
        return nullptr;
    }
    return std::make_unique<AlsaPortWatch>(seq, std::move(changed));
}

}  // namespace halden

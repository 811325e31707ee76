#include "sim/rawmidi/raw_midi_device.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halden {

RawMidiDevice::~RawMidiDevice() {
    if (reader_.joinable()) {
        const char stop = 0;
        (void)!::write(wake_[1], &stop, 1);
        reader_.join();
    }
    for (int fd : {fd_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

Outcome RawMidiDevice::open(const std::string& path, SysExFramer::OnMessage onMessage) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        return portFailure("Can't open the raw MIDI device " + path + ": " + std::strerror(errno));
    }
    if (::pipe(wake_) != 0)
        return portFailure(std::string("Can't make a pipe: ") + std::strerror(errno));
    onMessage_ = std::move(onMessage);
    reader_ = std::thread([this] { read(); });
    return {};
}

void RawMidiDevice::read() {
    SysExFramer framer(onMessage_);
    uint8_t buffer[4096];
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) return;
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            framer.feed(ByteView(buffer, static_cast<size_t>(n)));
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else {
            failure_ = n == 0 ? "the device was closed" : std::strerror(errno);
            failed_ = true;
            return;
        }
    }
}

void RawMidiDevice::send(ByteView bytes) {
    while (!bytes.empty() && fd_ >= 0) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a device does not care whether anybody listens
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
}

std::string RawMidiDevice::failure() const {
    return failed_ ? failure_ : std::string();
}

}  // namespace halden

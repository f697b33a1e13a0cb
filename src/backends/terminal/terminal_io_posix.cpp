#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "backends/terminal/terminal_io.h"

namespace tv::terminal {

struct Io::State {
    int in = -1, out = -1;
    int wake[2] = {-1, -1};  // written by wake(), read by nobody: it only wakes poll
};

Io::Io(int in, int out) : state_(std::make_shared<State>()) {
    state_->in = in;
    state_->out = out;
    if (::pipe2(state_->wake, O_CLOEXEC | O_NONBLOCK) != 0) state_->wake[0] = state_->wake[1] = -1;
}

Io::~Io() {
    for (int fd : state_->wake)
        if (fd >= 0) ::close(fd);
}

Io::Got Io::read(std::string& text) {
    const State& s = *state_;
    for (;;) {
        if (s.in < 0) return Got::End;
        struct pollfd fds[2] = {{s.in, POLLIN, 0}, {s.wake[0], POLLIN, 0}};
        int r = ::poll(fds, s.wake[0] >= 0 ? 2 : 1, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Got::End;
        }
        if (fds[1].revents != 0) return Got::Woken;
        if (fds[0].revents == 0) continue;
        char buf[512];
        ssize_t n = ::read(s.in, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return Got::End;
        text.append(buf, static_cast<std::size_t>(n));
        return Got::Data;
    }
}

void Io::wake() {
    if (state_->wake[1] >= 0) {
        char c = 1;
        (void)!::write(state_->wake[1], &c, 1);
    }
}

void Io::write(std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(state_->out, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nobody reads: the question still waits for its line
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace tv::terminal
#endif

#include "platform/process.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace tv::platform {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

void prepareTerminal() {}

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

int terminalColumns(int fd) {
    struct winsize ws {};
    if (::ioctl(fd, TIOCGWINSZ, &ws) != 0) return 0;
    return ws.ws_col;
}

void holdStopSignals() {
    sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int waitForStopSignal(int timeoutMs) {
    sigset_t set = stopSignals();
    struct timespec wait {};
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
    for (;;) {
        int s = ::sigtimedwait(&set, nullptr, &wait);
        if (s > 0) return s;
        // Another signal's handler ran: the wait is simply taken up again.
        if (errno == EINTR) continue;
        return 0;
    }
}

}  // namespace tv::platform

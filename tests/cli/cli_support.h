// The real tarvolin-batch run as a child process: its arguments, folder and
// environment; its standard output and error read as it writes them.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/hang_guard.h"

namespace clitest {

constexpr const char* Executable = TARVOLIN_BATCH_EXE;

struct Result {
    int status = -1;  // the exit code, or 128 + the signal that ended it
    std::string out, err;
};

class Child {
public:
    struct Setup {
        std::vector<std::string> args;
        std::string cwd;
        std::vector<std::pair<std::string, std::string>> env;  // set in the child
        // On a pseudo-terminal (standard input, output and error all on it);
        // else standard input is /dev/null and the outputs are pipes.
        bool terminal = false;
        std::function<void()> inChild;  // after fork, before exec
    };

    explicit Child(Setup s) {
        std::vector<std::string> argv{Executable};
        argv.insert(argv.end(), s.args.begin(), s.args.end());
        int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
        if (s.terminal) {
            struct winsize ws {};
            ws.ws_col = 100;
            ws.ws_row = 30;
            pid_ = forkpty(&out_, nullptr, nullptr, &ws);
        } else {
            if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return;
            pid_ = fork();
        }
        if (pid_ == 0) {
            if (!s.terminal) {
                int null = open("/dev/null", O_RDONLY);
                dup2(null, 0);
                dup2(outPipe[1], 1);
                dup2(errPipe[1], 2);
            }
            if (!s.cwd.empty() && chdir(s.cwd.c_str()) != 0) _exit(127);
            for (auto& [k, v] : s.env) setenv(k.c_str(), v.c_str(), 1);
            if (s.inChild) s.inChild();
            std::vector<char*> raw;
            for (auto& a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            execv(Executable, raw.data());
            _exit(127);
        }
        if (!s.terminal) {
            close(outPipe[1]);
            close(errPipe[1]);
            out_ = outPipe[0];
            err_ = errPipe[0];
        }
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            finish();
        }
        for (int fd : {out_, err_})
            if (fd >= 0) close(fd);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Reads until the output (standard error, or the terminal) holds text
    // from `from` on; false when the child ended or the guard ran out first.
    bool waitFor(const std::string& text, std::size_t& from, bool onErr = true) {
        const std::string& seen = onErr && err_ >= 0 ? result_.err : result_.out;
        const auto end = std::chrono::steady_clock::now() + tvtest::HangGuard;
        while (seen.find(text, from) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end || !readSome(500)) return false;
        }
        from = seen.find(text, from) + text.size();
        return true;
    }

    // Writes to the terminal, as typed.
    void type(const std::string& keys) {
        std::size_t at = 0;
        while (at < keys.size()) {
            ssize_t n = write(out_, keys.data() + at, keys.size() - at);
            if (n <= 0) return;
            at += static_cast<std::size_t>(n);
        }
    }

    // Reads everything to the end and reaps the child.
    Result finish() {
        const auto end = std::chrono::steady_clock::now() + tvtest::HangGuard;
        while (readSome(500))
            if (std::chrono::steady_clock::now() > end) kill(pid_, SIGKILL);
        if (pid_ > 0 && !reaped_) {
            int st = 0;
            if (waitpid(pid_, &st, 0) == pid_)
                result_.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            reaped_ = true;
        }
        return result_;
    }

private:
    // False once every output reached its end.
    bool readSome(int ms) {
        pollfd fds[2];
        int n = 0;
        if (out_ >= 0 && !outEnded_) fds[n++] = {out_, POLLIN, 0};
        if (err_ >= 0 && !errEnded_) fds[n++] = {err_, POLLIN, 0};
        if (n == 0) return false;
        if (poll(fds, static_cast<nfds_t>(n), ms) < 0) return true;
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            const bool isOut = fds[i].fd == out_;
            // A terminal whose last holder closed it reads as an error.
            if (got <= 0) (isOut ? outEnded_ : errEnded_) = true;
            else (isOut ? result_.out : result_.err).append(buf, static_cast<std::size_t>(got));
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool outEnded_ = false, errEnded_ = false, reaped_ = false;
    Result result_;
};

// One whole run without a terminal, in the C locale unless env says otherwise.
inline Result run(std::vector<std::string> args, const std::string& cwd = {},
                  std::vector<std::pair<std::string, std::string>> env = {}) {
    env.insert(env.begin(), {{"LC_ALL", "C"}, {"LANG", "C"}});
    Child c({std::move(args), cwd, std::move(env), false, {}});
    return c.finish();
}

}  // namespace clitest

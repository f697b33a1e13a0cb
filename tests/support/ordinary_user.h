// Permission tests that must hold when the tests run as root, who may write
// any file: the code under test runs in a child process as a user without
// special rights.
#pragma once

// POSIX only: Windows has no root who writes every file, and no setuid.
#ifndef _WIN32

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace tvtest {

constexpr int NoOrdinaryUser = -1;

// Runs body in a child process as the user "nobody" (uid 65534) when the
// tests run as root, after handing it tree (chown -R); as the user itself
// otherwise. Returns the child's exit code (body's result), or
// NoOrdinaryUser when no such user can be had. Whatever body must tell the
// parent goes through files or the exit code.
inline int runAsOrdinaryUser(const std::string& tree, const std::function<int()>& body) {
    const uid_t nobody = 65534;
    const bool root = geteuid() == 0;
    if (root) {
        std::string cmd = "chown -R " + std::to_string(nobody) + ":" + std::to_string(nobody) + " '" + tree + "'";
        if (std::system(cmd.c_str()) != 0) return NoOrdinaryUser;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return NoOrdinaryUser;
    if (pid == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(125);
        if (geteuid() == 0) _exit(125);
        _exit(body());
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 126;
    return WEXITSTATUS(status) == 125 ? NoOrdinaryUser : WEXITSTATUS(status);
}

}  // namespace tvtest

#endif  // _WIN32

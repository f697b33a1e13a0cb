#include "platform/desktop.h"

#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/files.h"

extern char** environ;

namespace tv::platform {

namespace {

std::string envText(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// One value of user-dirs.dirs: quotes removed, a leading $HOME expanded.
std::string xdgValue(std::string value, const std::string& home) {
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.compare(0, 6, "$HOME/") == 0) {
        if (home.empty()) return "";
        value = home + value.substr(5);
    } else if (value == "$HOME") {
        value = home;
    }
    return value;
}

void* reapChild(void* arg) {
    pid_t pid = static_cast<pid_t>(reinterpret_cast<std::intptr_t>(arg));
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
}

}  // namespace

std::string localeLanguageCountry() {
    std::string value;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        value = envText(name);
        if (!value.empty()) break;
    }
    if (value.empty()) return "";
    std::size_t cut = value.find_first_of(".@");
    if (cut != std::string::npos) value.resize(cut);
    // A bare language still joins as "language_" with an empty country.
    if (value.find('_') == std::string::npos) value += '_';
    return value;
}

std::string picturesFolder() {
    std::string home = envText("HOME");
    std::string config = envText("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') config = home.empty() ? "" : home + "/.config";
    if (!config.empty()) {
        std::string content;
        if (readWholeFile(config + "/user-dirs.dirs", content)) {
            std::size_t pos = 0;
            while (pos < content.size()) {
                std::size_t end = content.find('\n', pos);
                if (end == std::string::npos) end = content.size();
                std::string line = content.substr(pos, end - pos);
                pos = end + 1;
                std::size_t start = line.find_first_not_of(" \t");
                if (start == std::string::npos || line[start] == '#') continue;
                line = line.substr(start);
                const std::string key = "XDG_PICTURES_DIR=";
                if (line.compare(0, key.size(), key) != 0) continue;
                std::string folder = xdgValue(line.substr(key.size()), home);
                if (!folder.empty()) return folder;
            }
        }
    }
    if (!home.empty() && isDirectory(home + "/Pictures")) return home + "/Pictures";
    return "";
}

bool openFolder(const std::string& path) {
    if (path.empty()) return false;
    char program[] = "xdg-open";
    std::string argument = path;
    char* argv[] = {program, argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
    // The caller does not wait; a detached thread collects the child so no
    // zombie is left behind.
    pthread_attr_t attr;
    pthread_t thread;
    bool reaped = false;
    if (pthread_attr_init(&attr) == 0) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        reaped = pthread_create(&thread, &attr, reapChild, reinterpret_cast<void*>(static_cast<std::intptr_t>(pid))) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!reaped) waitpid(pid, nullptr, WNOHANG);
    return true;
}

}  // namespace tv::platform

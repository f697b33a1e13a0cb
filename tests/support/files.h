// Small file utilities for the tests that drive whole batches: existence,
// whole-file reads and writes, folder listings and file dates.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace tvtest {

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The whole file; empty when it cannot be opened.
inline std::string readBytes(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Names of the entries of a folder, without "." and "..", sorted.
inline std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> out;
    DIR* d = opendir(folder.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

// Sets both the access and the modification time.
inline bool setModificationTime(const std::string& path, std::time_t seconds, long nanoseconds = 0) {
    struct timespec t[2];
    t[0].tv_sec = seconds;
    t[0].tv_nsec = nanoseconds;
    t[1].tv_sec = seconds;
    t[1].tv_nsec = nanoseconds;
    return utimensat(AT_FDCWD, path.c_str(), t, 0) == 0;
}

}  // namespace tvtest

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <limits>

namespace tv::platform {

namespace {

// "a/b///" names the same thing as "a/b"; "/" stays the root.
std::string withoutTrailingSeparators(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == Separator) p.pop_back();
    return p;
}

// Offset of the local wall clock from UTC in force now, in seconds. Both
// directions of the date conversion use this one value, so a date read and
// written back lands on the same instant whatever the season of the date.
long currentUtcOffset() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return 0;
    return local.tm_gmtoff;
}

}  // namespace

std::int64_t fileSize(const std::string& path) {
    if (path.empty()) return -1;
    struct stat st {};
    if (stat(withoutTrailingSeparators(path).c_str(), &st) != 0) return -1;
    if (S_ISDIR(st.st_mode)) return -2;
    return static_cast<std::int64_t>(st.st_size);
}

bool isDirectory(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode);
}

std::vector<std::string> listDirectory(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
    return names;
}

bool deleteFile(const std::string& path) {
    if (path.empty()) return false;
    return unlink(path.c_str()) == 0;
}

bool renameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool makeSurePathExists(const std::string& path) {
    std::size_t last = path.rfind(Separator);
    if (last == std::string::npos) return true;  // no folder part: the working folder
    std::string folder = path.substr(0, last + 1);
    // Walk every separator and create what is missing on the way down.
    for (std::size_t pos = folder.find(Separator, 1); pos != std::string::npos;
         pos = folder.find(Separator, pos + 1)) {
        std::string part = folder.substr(0, pos);
        if (part.empty() || part.back() == Separator) continue;  // "//" inside a path
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return isDirectory(withoutTrailingSeparators(folder));
}

bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    if (path.empty()) return false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    // Only regular files: a FIFO or device would block or never end.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (std::int64_t{1} << 30)) {
        close(fd);
        return false;
    }
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            close(fd);
            out.clear();
            return false;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return true;
}

bool writeNewFile(const std::string& path, std::string_view bytes) {
    if (path.empty()) return false;
    unlink(path.c_str());
    // Anything at path now is not ours: never write through a link, and cut
    // a file that survived the removal to size.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        ssize_t done = write(fd, data, left);
        if (done < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        data += done;
        left -= static_cast<std::size_t>(done);
    }
    if (close(fd) != 0) ok = false;
    return ok;
}

std::FILE* openFile(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    return std::fopen(path, mode);
}

bool isWritable(const std::string& path) { return !path.empty() && access(path.c_str(), W_OK) == 0; }

std::optional<FileDate> readFileDate(const std::string& path, DateKind kind) {
    if (path.empty()) return std::nullopt;
    struct statx sx {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return std::nullopt;
    std::int64_t utc = 0;
    switch (kind) {
    case DateKind::Creation:
        if (!(sx.stx_mask & STATX_BTIME)) return std::nullopt;  // file system keeps no birth time
        utc = sx.stx_btime.tv_sec;
        break;
    case DateKind::Access:
        utc = sx.stx_atime.tv_sec;
        break;
    case DateKind::Modification:
        utc = sx.stx_mtime.tv_sec;
        break;
    }
    std::int64_t local = 0;
    if (__builtin_add_overflow(utc, static_cast<std::int64_t>(currentUtcOffset()), &local)) return std::nullopt;
    return local;
}

bool writeFileDate(const std::string& path, DateKind kind, FileDate value) {
    if (kind == DateKind::Creation) return false;  // Linux cannot set a birth time
    if (path.empty()) return false;
    std::int64_t utc = 0;
    if (__builtin_sub_overflow(value, static_cast<std::int64_t>(currentUtcOffset()), &utc)) return false;
    if (utc < static_cast<std::int64_t>(std::numeric_limits<time_t>::min()) ||
        utc > static_cast<std::int64_t>(std::numeric_limits<time_t>::max()))
        return false;
    // Opening for writing is the permission check: a file we may not write
    // keeps its dates. O_NONBLOCK so a FIFO without reader fails instead of hanging.
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = 0;
    times[1].tv_nsec = UTIME_OMIT;
    struct timespec& target = kind == DateKind::Access ? times[0] : times[1];
    target.tv_sec = static_cast<time_t>(utc);
    target.tv_nsec = 0;
    bool ok = futimens(fd, times) == 0;
    if (close(fd) != 0) ok = false;
    return ok;
}

}  // namespace tv::platform

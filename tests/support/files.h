// Small file utilities for the tests that drive whole batches: existence,
// whole-file reads and writes, folder listings and file dates. Paths are
// UTF-8 text, as inside the program; on Windows they reach the system as
// UTF-16, so that names outside any code page work too.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tvtest {

// A UTF-8 path for std::filesystem and the streams. Not from std::string on
// Windows: that is taken in the ANSI code page.
inline std::filesystem::path fsPath(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

inline std::string utf8Of(const std::filesystem::path& p) {
#ifdef _WIN32
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
#else
    return p.native();
#endif
}

// "/" in a test's path text as the program's own separator ("\" on Windows).
inline std::string native(std::string path) {
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

// fopen in binary mode ("rb", "wb") for a UTF-8 path.
inline std::FILE* openFile(const std::string& path, const char* mode) {
#ifdef _WIN32
    const std::wstring m(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(fsPath(path).c_str(), m.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

inline bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(fsPath(path), ec);
}

inline bool makeFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::create_directory(fsPath(path), ec);
}

// The whole file; empty when it cannot be opened.
inline std::string readBytes(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// Names of the entries of a folder, without "." and "..", sorted.
inline std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(fsPath(folder), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        out.push_back(utf8Of(it->path().filename()));
    std::sort(out.begin(), out.end());
    return out;
}

// A file time: seconds since 1970 UTC and the nanoseconds within.
struct FileTime {
    std::int64_t seconds = 0;
    long nanoseconds = 0;
    bool operator==(const FileTime&) const = default;
};

#ifdef _WIN32
namespace filetimes {
constexpr std::int64_t TicksTo1970 = 116444736000000000LL;  // 100 ns ticks from 1601
inline FILETIME fileTimeOf(const FileTime& t) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(TicksTo1970 + t.seconds * 10000000LL + t.nanoseconds / 100);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}
inline FileTime timeOf(const FILETIME& ft) {
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) -
        TicksTo1970;
    std::int64_t seconds = ticks / 10000000LL, rest = ticks % 10000000LL;
    if (rest < 0) {
        --seconds;
        rest += 10000000LL;
    }
    return {seconds, static_cast<long>(rest * 100)};
}
// creation, modification: whichever is given is read or written.
inline bool fileTimes(const std::string& path, FileTime* creation, FileTime* modification, bool write) {
    HANDLE h = CreateFileW(fsPath(path).c_str(), write ? FILE_WRITE_ATTRIBUTES : FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    FILETIME c{}, m{};
    bool ok;
    if (write) {
        if (creation) c = fileTimeOf(*creation);
        if (modification) m = fileTimeOf(*modification);
        ok = SetFileTime(h, creation ? &c : nullptr, modification ? &m : nullptr, modification ? &m : nullptr) != 0;
    } else {
        ok = GetFileTime(h, &c, nullptr, &m) != 0;
        if (ok && creation) *creation = timeOf(c);
        if (ok && modification) *modification = timeOf(m);
    }
    CloseHandle(h);
    return ok;
}
}  // namespace filetimes
#endif

// Sets both the access and the modification time.
inline bool setModificationTime(const std::string& path, std::time_t seconds, long nanoseconds = 0) {
#ifdef _WIN32
    FileTime t{seconds, nanoseconds};
    return filetimes::fileTimes(path, nullptr, &t, true);
#else
    struct timespec t[2];
    t[0].tv_sec = seconds;
    t[0].tv_nsec = nanoseconds;
    t[1].tv_sec = seconds;
    t[1].tv_nsec = nanoseconds;
    return utimensat(AT_FDCWD, path.c_str(), t, 0) == 0;
#endif
}

// Empty when the file cannot be looked at.
inline std::optional<FileTime> modificationTime(const std::string& path) {
#ifdef _WIN32
    FileTime t;
    if (!filetimes::fileTimes(path, nullptr, &t, false)) return std::nullopt;
    return t;
#else
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileTime{static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec)};
#endif
}

#ifdef _WIN32
// Creation times exist to be set on Windows only (Linux keeps a birth time
// no program may set).
inline bool setCreationTime(const std::string& path, std::time_t seconds) {
    FileTime t{seconds, 0};
    return filetimes::fileTimes(path, &t, nullptr, true);
}
inline std::optional<FileTime> creationTime(const std::string& path) {
    FileTime t;
    if (!filetimes::fileTimes(path, &t, nullptr, false)) return std::nullopt;
    return t;
}
#endif

}  // namespace tvtest

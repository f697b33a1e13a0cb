#include "platform/files.h"

#include <cctype>
#include <limits>

#include "platform/windows/wide.h"

namespace tv::platform {

namespace {

using win::Handle;
using win::pathFor;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// "C:\photos\\" names the same thing as "C:\photos"; a text made only of
// separators stays the root.
std::string withoutTrailingSeparators(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && isSeparator(p.back())) p.pop_back();
    return p;
}

// "C:" or "C:\": a letter and a colon, with or without one separator.
bool isBareDrive(const std::string& p) {
    if (p.size() < 2 || p.size() > 3) return false;
    if (!std::isalpha(static_cast<unsigned char>(p[0])) || p[1] != ':') return false;
    return p.size() == 2 || isSeparator(p[2]);
}

bool driveExists(const std::string& p) {
    const wchar_t root[] = {static_cast<wchar_t>(p[0]), L':', L'\\', 0};
    const UINT type = GetDriveTypeW(root);
    return type != DRIVE_UNKNOWN && type != DRIVE_NO_ROOT_DIR;
}

// The offset of the local wall clock from UTC in force now, in ticks, as
// FileTimeToLocalFileTime applies it; both directions use it.
std::int64_t currentOffsetTicks() {
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
    return static_cast<std::int64_t>(win::ticksOf(local)) - static_cast<std::int64_t>(win::ticksOf(utc));
}

// Opened for its dates only: any sharing, no data access. Read from a
// folder too; written only on files, as everywhere else.
HANDLE openForDates(const std::string& path, DWORD access, bool folderToo) {
    return CreateFileW(pathFor(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, folderToo ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::int64_t fileSize(const std::string& path) {
    if (path.empty()) return -1;
    const std::string p = withoutTrailingSeparators(path);
    if (isBareDrive(p)) return driveExists(p) ? -2 : -1;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    // A bare "\\server\share" is answered by its attributes like any folder.
    if (!GetFileAttributesExW(pathFor(p).c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool isDirectory(const std::string& path) { return fileSize(path) == -2; }

std::vector<std::string> listDirectory(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) return names;
    std::string pattern = folder;
    if (!isSeparator(pattern.back()) && pattern.back() != ':') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileExW(pathFor(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        // An empty drive root has no entry at all, not even "." and "..":
        // still a folder that could be listed.
        if (GetLastError() == ERROR_FILE_NOT_FOUND && isDirectory(folder)) return {".", ".."};
        return names;
    }
    bool dot = false, dotDot = false;
    do {
        std::string name = win::narrow(found.cFileName);
        dot = dot || name == ".";
        dotDot = dotDot || name == "..";
        names.push_back(std::move(name));
    } while (FindNextFileW(h, &found));
    FindClose(h);
    // A drive's root lists neither: "." and ".." are always there, as the
    // callers expect of a folder that could be read.
    if (!dotDot) names.insert(names.begin(), "..");
    if (!dot) names.insert(names.begin(), ".");
    return names;
}

bool deleteFile(const std::string& path) { return !path.empty() && DeleteFileW(pathFor(path).c_str()) != 0; }

bool renameFile(const std::string& from, const std::string& to) {
    if (from.empty() || to.empty()) return false;
    return MoveFileExW(pathFor(from).c_str(), pathFor(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           0;
}

bool makeSurePathExists(const std::string& path) {
    std::size_t last = path.find_last_of("\\/");
    if (last == std::string::npos) return true;  // no folder part: the working folder
    const std::string folder = path.substr(0, last + 1);
    // What cannot be created: the drive ("C:"), or the server and share of
    // a network path ("\\server\share").
    std::size_t first = 0;
    if (folder.size() >= 2 && folder[1] == ':') {
        first = 2;
    } else if (folder.size() >= 2 && isSeparator(folder[0]) && isSeparator(folder[1])) {
        std::size_t server = folder.find_first_of("\\/", 2);
        std::size_t share = server == std::string::npos ? server : folder.find_first_of("\\/", server + 1);
        if (share == std::string::npos) return isDirectory(folder);
        first = share;
    }
    for (std::size_t pos = folder.find_first_of("\\/", first + 1); pos != std::string::npos;
         pos = folder.find_first_of("\\/", pos + 1)) {
        const std::string part = folder.substr(0, pos);
        if (part.empty() || isSeparator(part.back())) continue;  // "\\" inside a path
        if (!CreateDirectoryW(pathFor(part).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return isDirectory(folder);
}

bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    if (path.empty()) return false;
    Handle h(CreateFileW(pathFor(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.ok()) return false;
    // Only files on a disk: a pipe or a device would block or never end.
    LARGE_INTEGER size{};
    if (GetFileType(h.get()) != FILE_TYPE_DISK || !GetFileSizeEx(h.get(), &size) || size.QuadPart > (1LL << 30))
        return false;
    out.reserve(static_cast<std::size_t>(size.QuadPart));
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h.get(), buffer, sizeof buffer, &got, nullptr)) {
            out.clear();
            return false;
        }
        if (got == 0) break;
        out.append(buffer, got);
    }
    return true;
}

bool writeNewFile(const std::string& path, std::string_view bytes) {
    if (path.empty()) return false;
    const std::wstring w = pathFor(path);
    DeleteFileW(w.c_str());
    // Whatever still stands there is cut to size, never written through a link.
    Handle h(CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.ok()) return false;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD done = 0;
        if (!WriteFile(h.get(), data, chunk, &done, nullptr) || done == 0) return false;
        data += done;
        left -= done;
    }
    return CloseHandle(h.release()) != 0;
}

std::FILE* openFile(const char* path, const char* mode) {
    if (!path || !mode || !*path) return nullptr;
    return _wfopen(pathFor(path).c_str(), win::widen(mode).c_str());
}

bool isWritable(const std::string& path) {
    if (path.empty()) return false;
    const std::wstring w = pathFor(path);
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    Handle h(CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Held by another program without sharing: still the user's to write.
    return h.ok() || GetLastError() == ERROR_SHARING_VIOLATION;
}

std::optional<FileDate> readFileDate(const std::string& path, DateKind kind) {
    if (path.empty()) return std::nullopt;
    Handle h(openForDates(path, FILE_READ_ATTRIBUTES, true));
    if (!h.ok()) return std::nullopt;
    FILETIME created{}, accessed{}, written{};
    if (!GetFileTime(h.get(), &created, &accessed, &written)) return std::nullopt;
    const FILETIME& ft = kind == DateKind::Creation ? created : kind == DateKind::Access ? accessed : written;
    const std::uint64_t ticks = win::ticksOf(ft);
    // Zero is Windows' "no date": it could not be written back either.
    if (ticks == 0 || ticks > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    std::int64_t local = 0;
    if (__builtin_add_overflow(static_cast<std::int64_t>(ticks), currentOffsetTicks(), &local)) return std::nullopt;
    const std::int64_t since1970 = local - static_cast<std::int64_t>(win::TicksTo1970);
    const std::int64_t perSecond = static_cast<std::int64_t>(win::TicksPerSecond);
    // Whole seconds, rounded down also before 1970.
    std::int64_t seconds = since1970 / perSecond;
    if (since1970 % perSecond < 0) --seconds;
    return seconds;
}

bool writeFileDate(const std::string& path, DateKind kind, FileDate value) {
    if (path.empty()) return false;
    const std::int64_t perSecond = static_cast<std::int64_t>(win::TicksPerSecond);
    std::int64_t ticks = 0;
    if (__builtin_mul_overflow(value, perSecond, &ticks) ||
        __builtin_add_overflow(ticks, static_cast<std::int64_t>(win::TicksTo1970), &ticks) ||
        __builtin_sub_overflow(ticks, currentOffsetTicks(), &ticks))
        return false;
    // Zero would mean "leave the date alone"; before 1601 there is nothing.
    if (ticks <= 0) return false;
    // Opening for writing its attributes is the permission check.
    Handle h(openForDates(path, FILE_WRITE_ATTRIBUTES, false));
    // Only a file on a disk: not a device such as NUL.
    if (!h.ok() || GetFileType(h.get()) != FILE_TYPE_DISK) return false;
    const FILETIME ft = win::fileTimeOf(static_cast<std::uint64_t>(ticks));
    const FILETIME* created = kind == DateKind::Creation ? &ft : nullptr;
    const FILETIME* accessed = kind == DateKind::Access ? &ft : nullptr;
    const FILETIME* written = kind == DateKind::Modification ? &ft : nullptr;
    return SetFileTime(h.get(), created, accessed, written) != 0;
}

}  // namespace tv::platform

#include "platform/file_state.h"

#include <fcntl.h>
#include <io.h>

#include "platform/windows/wide.h"

namespace tv::platform {

namespace {

using win::Handle;
using win::pathFor;

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::int64_t nanosecondsSince1970(const FILETIME& ft) {
    const std::int64_t ticks = static_cast<std::int64_t>(win::ticksOf(ft)) - static_cast<std::int64_t>(win::TicksTo1970);
    return ticks * 100;
}

FileStamp fromInfo(HANDLE h, const BY_HANDLE_FILE_INFORMATION& info) {
    FileStamp s;
    s.exists = true;
    s.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    s.regular = !s.folder && GetFileType(h) == FILE_TYPE_DISK;
    // The volume and the file's index on it: one file whatever the spelling
    // or the letter case of its path.
    s.device = info.dwVolumeSerialNumber;
    s.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    s.modifiedNs = nanosecondsSince1970(info.ftLastWriteTime);
    // Windows keeps no permission bits: the read-only attribute stands in.
    s.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    return s;
}

FileStamp stampOfHandle(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return FileStamp{};
    return fromInfo(h, info);
}

// No data access: the answer comes even while another program holds the
// file without sharing it. followLinks false looks at a link itself.
FileStamp stampOfPath(const std::string& path, bool followLinks) {
    if (path.empty()) return FileStamp{};
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    Handle h(CreateFileW(pathFor(path).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!h.ok()) return FileStamp{};
    return stampOfHandle(h.get());
}

bool sameIdentity(HANDLE h, const std::string& path) {
    const FileStamp a = stampOfHandle(h), b = stampOfPath(path, false);
    return sameFile(a, b);
}

// Marks the open file for removal; it goes when its last handle closes.
bool removeOnClose(HANDLE h) {
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = TRUE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

}  // namespace

FileStamp stampOf(const std::string& path) { return stampOfPath(path, true); }

std::FILE* openForReading(const std::string& path, FileStamp& opened) {
    opened = FileStamp{};
    if (path.empty()) return nullptr;
    // Others may go on reading, writing or renaming it: the load takes a copy.
    Handle h(CreateFileW(pathFor(path).c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h.ok()) return nullptr;
    // A pipe, console or device named like a photo is refused, never waited on.
    const FileStamp stamp = stampOfHandle(h.get());
    if (!stamp.exists || !stamp.regular) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h.get()), _O_RDONLY | _O_BINARY);
    if (fd < 0) return nullptr;
    h.release();  // the descriptor owns it now
    std::FILE* f = _fdopen(fd, "rb");
    if (!f) {
        _close(fd);
        return nullptr;
    }
    opened = stamp;
    return f;
}

Hold holdOf(const std::string& path) {
    if (path.empty()) return Hold::Gone;
    const std::wstring w = pathFor(path);
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? Hold::Gone : Hold::Protected;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Hold::Protected;
    if (attributes & FILE_ATTRIBUTE_READONLY) return Hold::Protected;
    // Opening it while refusing to share writing fails when another
    // program has it open for writing (or holds it without any sharing).
    Handle h(CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
    if (h.ok()) return Hold::Free;
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Hold::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Hold::Gone;
    default: return Hold::Protected;
    }
}

bool createTempFile(const std::string& path, bool privateFile, TempFile& out) {
    (void)privateFile;  // a new file takes its folder's access rights; nothing to narrow
    out = TempFile{};
    if (path.empty()) return false;
    // The encoder writes it by name and it is renamed into place while we
    // hold it: shared for both, and without delete access of our own, which
    // the C library's opens, sharing no deletion, would conflict with. A
    // cleaner opens without sharing, so it sees that we hold it.
    HANDLE h = CreateFileW(pathFor(path).c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    out.handle = reinterpret_cast<std::intptr_t>(h);
    out.path = path;
    return true;
}

bool copyPermissions(const TempFile& t, const FileStamp& like) {
    // No bits to copy: the new file has its folder's access rights, as the
    // file it replaces had (a read-only one is never replaced).
    return t.handle >= 0 && like.exists;
}

bool flushFile(const TempFile& t) {
    return t.handle >= 0 && FlushFileBuffers(reinterpret_cast<HANDLE>(t.handle)) != 0;
}

bool stillOurs(const TempFile& t) { return t.handle >= 0 && sameIdentity(reinterpret_cast<HANDLE>(t.handle), t.path); }

void closeTempFile(TempFile& t, bool remove) {
    if (t.handle < 0) return;
    HANDLE h = reinterpret_cast<HANDLE>(t.handle);
    // Only while the name still means the file we made; it goes once our
    // handle, which shares deletion, is closed.
    if (remove && sameIdentity(h, t.path)) DeleteFileW(pathFor(t.path).c_str());
    CloseHandle(h);
    t = TempFile{};
}

bool flushFolder(const std::string& folder) {
    // The rename was written through (MOVEFILE_WRITE_THROUGH): nothing is
    // left to flush for the folder itself.
    (void)folder;
    return true;
}

bool removeUnheldTempFile(const std::string& path) {
    if (path.empty()) return false;
    // No sharing at all: refused while any run still holds the file.
    Handle h(CreateFileW(pathFor(path).c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.ok()) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.get(), &info) || GetFileType(h.get()) != FILE_TYPE_DISK) return false;
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return removeOnClose(h.get());
}

}  // namespace tv::platform

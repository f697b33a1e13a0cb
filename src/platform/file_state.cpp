#include "platform/file_state.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/files.h"

namespace tv::platform {

namespace {

FileStamp fromStat(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.folder = S_ISDIR(st.st_mode);
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    s.owner = static_cast<std::uint32_t>(st.st_uid);
    s.group = static_cast<std::uint32_t>(st.st_gid);
    return s;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind(Separator);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string(1, Separator) : path.substr(0, slash);
}

bool sameInode(int fd, const std::string& path) {
    struct stat a {}, b {};
    if (fstat(fd, &a) != 0 || lstat(path.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Nobody else has the file open for writing. A read lease is refused while
// any writer has it open; where leases cannot be taken (another owner's
// file, a file system without them) nothing can be told, and the file
// counts as free, as it always did.
bool openedByAWriter(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == EWOULDBLOCK;  // another program holds a lease on it
    // A writer opening the file while we hold the lease breaks it with a
    // signal; SIGURG is ignored unless handled, where the default SIGIO
    // would end the program.
    fcntl(fd, F_SETSIG, SIGURG);
    bool writer = false;
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    else
        writer = errno == EAGAIN;
    close(fd);
    return writer;
}

}  // namespace

FileStamp stampOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return FileStamp{};
    return fromStat(st);
}

std::FILE* openForReading(const std::string& path, FileStamp& opened) {
    opened = FileStamp{};
    if (path.empty()) return nullptr;
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return nullptr;
    }
    opened = fromStat(st);
    return f;
}

Hold holdOf(const std::string& path) {
    struct stat st {};
    if (path.empty()) return Hold::Gone;
    if (stat(path.c_str(), &st) != 0) return (errno == ENOENT || errno == ENOTDIR) ? Hold::Gone : Hold::Protected;
    if (S_ISDIR(st.st_mode)) return Hold::Protected;
    // The folder decides whether a name can be replaced or removed, the file
    // whether the user meant it to be changed.
    if (faccessat(AT_FDCWD, folderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) return Hold::Protected;
    if (!S_ISREG(st.st_mode)) return Hold::Free;
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return Hold::Protected;
    return openedByAWriter(path) ? Hold::InUse : Hold::Free;
}

bool createTempFile(const std::string& path, bool privateFile, TempFile& out) {
    out = TempFile{};
    if (path.empty()) return false;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, privateFile ? 0600 : 0666);
    if (fd < 0) return false;
    // Held for as long as it is open: a cleaner only takes what nobody holds.
    flock(fd, LOCK_EX | LOCK_NB);
    out.handle = fd;
    out.path = path;
    return true;
}

bool copyPermissions(const TempFile& t, const FileStamp& like) {
    if (t.handle < 0 || !like.exists) return false;
    // Owner first: a change of owner may clear mode bits. Only root may give
    // a file away; anyone else keeps the new file as theirs.
    if (like.owner != static_cast<std::uint32_t>(geteuid()) || like.group != static_cast<std::uint32_t>(getegid())) {
        int ignored = fchown(static_cast<int>(t.handle), like.owner, like.group);
        (void)ignored;
    }
    return fchmod(static_cast<int>(t.handle), static_cast<mode_t>(like.mode & 0777)) == 0;
}

bool flushFile(const TempFile& t) { return t.handle >= 0 && fsync(static_cast<int>(t.handle)) == 0; }

bool stillOurs(const TempFile& t) { return t.handle >= 0 && sameInode(static_cast<int>(t.handle), t.path); }

void closeTempFile(TempFile& t, bool remove) {
    if (t.handle < 0) return;
    if (remove && sameInode(static_cast<int>(t.handle), t.path)) unlink(t.path.c_str());
    close(static_cast<int>(t.handle));
    t = TempFile{};
}

bool flushFolder(const std::string& folder) {
    std::string f = folder.empty() ? std::string(".") : folder;
    int fd = open(f.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

bool removeUnheldTempFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool removed = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 && sameInode(fd, path))
        removed = unlink(path.c_str()) == 0;
    close(fd);
    return removed;
}

}  // namespace tv::platform

// What the batch needs to know about a file before it replaces or removes
// it, and the pieces of a replacement that can never leave a photo behind
// half-written: a temporary file of our own, flushed to disk, then renamed
// over its destination in one step.
//
// Two spellings of one file (a linked folder, "a/./b", "a//b", a name that
// differs only in letter case on a file system that ignores case) are told
// apart by identity, never by comparing texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tv::platform {

// Which file a path names and how it stood when it was looked at.
struct FileStamp {
    bool exists = false;
    bool regular = false;
    bool folder = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since 1970 UTC
    std::uint32_t mode = 0;       // permission bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

// Follows symbolic links; exists is false when nothing is there.
FileStamp stampOf(const std::string& path);
// Both exist and are one file.
inline bool sameFile(const FileStamp& a, const FileStamp& b) {
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}
// now is the file of then, with the same size and modification time.
inline bool unchangedSince(const FileStamp& then, const FileStamp& now) {
    return sameFile(then, now) && then.size == now.size && then.modifiedNs == now.modifiedNs;
}

// Opens a regular file for reading without ever waiting: a FIFO, socket or
// device named like a photo is refused, not waited on. opened describes the
// very file that was opened. nullptr when it cannot be opened.
std::FILE* openForReading(const std::string& path, FileStamp& opened);

// Whether a file may be replaced or removed now. Protected: the user may
// not write it or its folder (as a read-only file is kept on other
// systems). InUse: another program has it open for writing (a file manager
// still copying it in), so what we read of it may be cut short.
enum class Hold { Free, Gone, Protected, InUse };
Hold holdOf(const std::string& path);

// A temporary file we create and hold open until it is closed; while it is
// held, no other run takes it for a leftover.
struct TempFile {
    std::intptr_t handle = -1;  // a descriptor, or on Windows a HANDLE
    std::string path;
};

// Creates path exclusively (never an existing file, never through a link).
// A private file (owner only) while it may stand in for one that is
// replaced; otherwise the usual permissions for new files.
bool createTempFile(const std::string& path, bool privateFile, TempFile& out);
// The permission bits (and, where allowed, owner) of the file it replaces.
bool copyPermissions(const TempFile& t, const FileStamp& like);
// Waits until the file's contents and metadata are on disk.
bool flushFile(const TempFile& t);
// What the temporary file's path names now: the file we created, unless
// something replaced it meanwhile.
bool stillOurs(const TempFile& t);
// Closes it, first removing it from the folder when remove is set.
void closeTempFile(TempFile& t, bool remove);
// Waits until the folder's entries (a rename or removal in it) are on disk.
bool flushFolder(const std::string& folder);
// Removes a leftover temporary file of an earlier run, unless some run still
// holds it or it is not a regular file.
bool removeUnheldTempFile(const std::string& path);

}  // namespace tv::platform

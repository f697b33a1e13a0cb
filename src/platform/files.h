// File services of the operating system, as the program needs them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv::platform {

#ifdef _WIN32
// "/" is taken too wherever a path is handed to the system.
constexpr char Separator = '\\';
constexpr const char* Separators = "\\/";
#else
constexpr char Separator = '/';
constexpr const char* Separators = "/";
#endif

// Size in bytes; -1 when the path is empty or names nothing, -2 when it
// names a folder. Trailing separators are ignored. On Windows a bare drive
// ("C:", "C:\") is a folder when the drive exists, and a network path
// ("\\server\share") when its attributes say so.
std::int64_t fileSize(const std::string& path);
bool isDirectory(const std::string& path);
// Every entry name, "." and ".." included, in the order the OS returns them;
// empty when the folder cannot be listed.
std::vector<std::string> listDirectory(const std::string& folder);
bool deleteFile(const std::string& path);
// Atomic rename within one file system, replacing an existing target.
bool renameFile(const std::string& from, const std::string& to);
// Creates every missing folder of the folder part of path (up to its last
// separator); the result says whether the folder exists afterwards.
bool makeSurePathExists(const std::string& path);
// Whole-file helpers for small files (options, texts).
bool readWholeFile(const std::string& path, std::string& out);
// Makes path anew holding exactly bytes: what stood there is removed first,
// and no link is followed. False when it could not be written in full.
bool writeNewFile(const std::string& path, std::string_view bytes);
// fopen for a UTF-8 path, in binary mode ("rb", "wb"): on Windows through
// the wide name, so that every file can be reached.
std::FILE* openFile(const char* path, const char* mode);
// The user may write the file (it need not exist: false then).
bool isWritable(const std::string& path);

// Seconds since 1970-01-01 00:00:00 of the local wall clock, taken as if it
// were UTC; 64-bit so that dates outside 1970-2038 survive.
using FileDate = std::int64_t;
enum class DateKind { Creation = 0, Access = 1, Modification = 2 };
// Both directions use the offset from UTC in force now, so a date read and
// written back gives the same UTC time, cut to whole seconds. Empty when
// the date cannot be read (1970-01-01 00:00:00 is a date like any other).
std::optional<FileDate> readFileDate(const std::string& path, DateKind kind);
// Creation times cannot be set on Linux: that kind reports false there.
bool writeFileDate(const std::string& path, DateKind kind, FileDate value);

}  // namespace tv::platform

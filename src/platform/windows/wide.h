// Inside the program text is UTF-8; Windows takes and gives UTF-16. Only
// the Windows files of the platform layer include this.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace tv::platform::win {

// UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD, so a bad name
// fails to open instead of opening another file.
std::wstring widen(const std::string& text);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string narrow(const std::wstring& text);
std::string narrow(const wchar_t* text);

// path for the wide file functions: "/" taken as "\", and an absolute path
// too long for the plain form given the "\\?\" prefix that lifts the limit.
std::wstring pathFor(const std::string& path);

// A FILETIME as 100-nanosecond ticks since 1601, and back.
inline std::uint64_t ticksOf(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME fileTimeOf(std::uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}
// Ticks from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t TicksTo1970 = 116444736000000000ULL;
constexpr std::uint64_t TicksPerSecond = 10000000ULL;

// Closes a handle at the end of a scope.
class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void reset() {
        if (ok()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

}  // namespace tv::platform::win

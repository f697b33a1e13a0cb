// UTF-8 test texts for the wide Win32 calls a Windows-only test makes itself.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

namespace tvtest {

inline std::wstring wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

}  // namespace tvtest
#endif

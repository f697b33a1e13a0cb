#include "platform/windows/wide.h"

namespace tv::platform::win {

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string narrow(const wchar_t* text) { return text ? narrow(std::wstring(text)) : std::string(); }

std::wstring pathFor(const std::string& path) {
    std::wstring w = widen(path);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    // Below the old limit, or already in the long form: as it is.
    if (w.size() < MAX_PATH - 12 || w.rfind(L"\\\\?\\", 0) == 0) return w;
    const bool drive = w.size() >= 3 && w[1] == L':' && w[2] == L'\\';
    const bool network = w.size() >= 2 && w[0] == L'\\' && w[1] == L'\\';
    if (!drive && !network) return w;  // relative: the long form cannot carry it
    // The long form takes every name literally: "." and ".." must go first.
    std::wstring f(32768, L'\0');
    const DWORD n = GetFullPathNameW(w.c_str(), static_cast<DWORD>(f.size()), f.data(), nullptr);
    if (n == 0 || n >= f.size()) return w;
    f.resize(n);
    if (f.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + f.substr(2);
    return L"\\\\?\\" + f;
}

}  // namespace tv::platform::win

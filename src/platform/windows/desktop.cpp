#include "platform/desktop.h"

#include "platform/windows/wide.h"

#include <shellapi.h>

namespace tv::platform {

namespace {

// One locale answer into a buffer filled with spaces beforehand: a failed
// call leaves the spaces, which then take part in the joined text.
std::string localeInfo(LCTYPE what) {
    char buffer[1000];
    for (char& c : buffer) c = ' ';
    if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, what, buffer, static_cast<int>(sizeof buffer)) <= 0)
        return std::string(buffer, sizeof buffer);
    std::size_t n = 0;
    while (n < sizeof buffer && buffer[n] != '\0') ++n;
    return std::string(buffer, n);
}

// One REG_SZ value; empty when the key, the value or its type is missing.
std::string registryText(HKEY root, std::string keyPath, const std::string& valueName) {
    if (!keyPath.empty() && keyPath.back() == '\\') keyPath.pop_back();
    HKEY key = nullptr;
    // Read access is all a read needs; asking for full access would fail
    // where a policy keeps the user from changing the key.
    if (RegOpenKeyExW(root, win::widen(keyPath).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
    const std::wstring name = win::widen(valueName);
    std::string result;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ &&
        bytes > 0 && bytes < (1u << 20)) {
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            value.resize(got / sizeof(wchar_t));
            while (!value.empty() && value.back() == L'\0') value.pop_back();
            result = win::narrow(value);
        }
    }
    RegCloseKey(key);
    return result;
}

}  // namespace

std::string localeLanguageCountry() {
    return localeInfo(LOCALE_SISO639LANGNAME) + "_" + localeInfo(LOCALE_SISO3166CTRYNAME);
}

std::string picturesFolder() {
    return registryText(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\",
                        "My Pictures");
}

bool openFolder(const std::string& path) {
    if (path.empty()) return false;
    // Straight to the shell's default action: starting the text as a program
    // first could run "photos.exe" beside a folder named "photos".
    const std::wstring w = win::widen(path);
    std::wstring folder = w;
    const std::size_t cut = folder.find_last_of(L"\\/");
    folder = cut == std::wstring::npos ? std::wstring() : folder.substr(0, cut + 1);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpFile = w.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != 0;
}

}  // namespace tv::platform

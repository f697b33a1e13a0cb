// tarvolin-batch.exe run for real on Windows: its arguments through the
// wide command line, backslash paths, and names outside any code page.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/jpeg_write.h"
#include "support/temp_dir.h"
#include "support/wide_text.h"

namespace {

using tvtest::wide;

// The program beside the tests in the build: src\app\tarvolin-batch.exe.
std::wstring program() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, n);
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    return folder + L"..\\src\\app\\tarvolin-batch.exe";
}

std::string backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

struct Result {
    DWORD status = 0xFFFFFFFF;
    std::string out;  // standard output and error, in order
};

Result run(const std::vector<std::string>& args) {
    std::wstring line = L"\"" + program() + L"\"";
    for (const std::string& a : args) {
        // Backslashes before the closing quote are doubled, or the quote
        // would be taken as one of the argument's characters.
        std::wstring w = wide(a);
        std::size_t trailing = 0;
        while (trailing < w.size() && w[w.size() - 1 - trailing] == L'\\') ++trailing;
        line += L" \"" + w + std::wstring(trailing, L'\\') + L"\"";
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    Result r;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    // English whatever the machine's locale.
    SetEnvironmentVariableW(L"LC_ALL", L"C");
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return r;
    }
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got > 0) r.out.append(buf, got);
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &r.status);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return r;
}

}  // namespace

TEST(WindowsBatchCommand, WideNamesBackslashPathsAndTheWindowsTexts) {
    tvtest::TempDir dir;
    const std::string photos = backslashed(dir.sub("photos")), out = backslashed(dir.sub("out"));
    const std::string name = "\xc3\xa9t\xc3\xa9 \xe6\x9d\xb1\xe4\xba\xac.jpg";  // été 東京.jpg
    // Written through the wide name: the C library's own would take the code page.
    {
        std::vector<std::uint8_t> jpeg = tvtest::encodeRgbJpeg(64, 48, 90, [](int, unsigned char* row) {
            for (int x = 0; x < 64 * 3; ++x) row[x] = static_cast<unsigned char>(x);
        });
        FILE* f = _wfopen(wide(photos + name).c_str(), L"wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(jpeg.data(), 1, jpeg.size(), f);
        std::fclose(f);
    }

    Result r = run({photos, "--to", out, "--mask", "Holiday #", "--size", "50%", "--on-collision", "overwrite",
                    "--on-error", "stop"});
    EXPECT_EQ(r.status, 0u) << r.out;
    EXPECT_NE(r.out.find(name + " -> " + out + "Holiday 001.JPG: saved"), std::string::npos) << r.out;
    const std::wstring output = wide(out + "Holiday 001.JPG");
    EXPECT_NE(GetFileAttributesW(output.c_str()), INVALID_FILE_ATTRIBUTES);

    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{photos, "--mask", "a\\b#"}, "tarvolin-batch: Invalide filename: '\\' unexpected !"},
        {{photos, "--size", "1/0", "--language", "fr"},
         "tarvolin-batch: Taille de l'image incorrecte: Division par z\xc3\xa9ro impossible !"},
        {{photos + "missing"}, "is not a folder"},
    };
    for (const Case& c : cases) {
        Result bad = run(c.args);
        EXPECT_EQ(bad.status, 2u) << c.message;
        EXPECT_NE(bad.out.find(c.message), std::string::npos) << bad.out;
    }
}
#endif

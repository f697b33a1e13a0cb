// What only Windows has: drives, letter case, creation times, the registry's
// pictures folder, the system locale, files held open by another program,
// names outside any code page and paths past the old length limit.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <regex>

#include "platform/desktop.h"
#include "platform/file_state.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/wide_text.h"

using namespace tv::platform;
using tvtest::TempDir;

namespace {

using tvtest::wide;

// Wine keeps files on a Linux file system, which cannot be given a birth
// time: there the creation time reads back as another of the file's dates.
bool creationTimesKept() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr;
}

// A drive letter Windows does not know.
std::string missingDrive() {
    const DWORD drives = GetLogicalDrives();
    for (char c = 'Z'; c > 'C'; --c)
        if (!(drives & (1u << (c - 'A')))) return std::string(1, c) + ":";
    return "";
}

// Sets the pictures folder value for one test and puts back what was there.
class PicturesValue {
public:
    PicturesValue() {
        RegCreateKeyExW(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD bytes = sizeof old_;
        had_ = RegQueryValueExW(key_, L"My Pictures", nullptr, &oldType_, reinterpret_cast<BYTE*>(old_), &bytes) ==
               ERROR_SUCCESS;
        oldBytes_ = bytes;
    }
    ~PicturesValue() {
        if (had_)
            RegSetValueExW(key_, L"My Pictures", 0, oldType_, reinterpret_cast<BYTE*>(old_), oldBytes_);
        else
            RegDeleteValueW(key_, L"My Pictures");
        RegCloseKey(key_);
    }
    void text(const std::string& value) {
        std::wstring w = wide(value);
        RegSetValueExW(key_, L"My Pictures", 0, REG_SZ, reinterpret_cast<const BYTE*>(w.c_str()),
                       static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t)));
    }
    void number(DWORD value) {
        RegSetValueExW(key_, L"My Pictures", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

private:
    static constexpr const wchar_t* Key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    HKEY key_ = nullptr;
    bool had_ = false;
    DWORD oldType_ = 0, oldBytes_ = 0;
    wchar_t old_[1024] = {};
};

}  // namespace

TEST(WindowsFiles, BareDrivesAndTrailingBackslashes) {
    EXPECT_EQ(Separator, '\\');
    for (const char* p : {"C:", "C:\\", "C:/", "C:\\\\"}) EXPECT_EQ(fileSize(p), -2) << p;
    const std::string none = missingDrive();
    if (!none.empty()) {
        EXPECT_EQ(fileSize(none), -1) << none;
        EXPECT_EQ(fileSize(none + "\\"), -1) << none;
    }
    TempDir dir;
    std::string folder = dir.path();
    for (char& c : folder)
        if (c == '/') c = '\\';
    EXPECT_EQ(fileSize(folder + "\\\\\\"), -2);
    EXPECT_TRUE(isDirectory(folder + "\\"));
}

TEST(WindowsFiles, OneFileWhateverTheLetterCase) {
    TempDir dir;
    dir.write("A.JPG", "x");
    const FileStamp upper = stampOf(dir.file("A.JPG")), lower = stampOf(dir.file("a.jpg"));
    ASSERT_TRUE(upper.exists && lower.exists);
    EXPECT_TRUE(sameFile(upper, lower));
    EXPECT_FALSE(sameFile(upper, stampOf(dir.write("b.jpg", "x"))));
}

TEST(WindowsFiles, CreationAndModificationTimesAreBothSet) {
    TempDir dir;
    const std::string p = dir.write("photo.jpg", "x");
    const FileDate created = 1262304000;   // 2010-01-01 00:00:00 on the wall clock
    const FileDate modified = 1500000007;  // 2017
    ASSERT_TRUE(writeFileDate(p, DateKind::Creation, created));
    ASSERT_TRUE(writeFileDate(p, DateKind::Modification, modified));
    EXPECT_EQ(readFileDate(p, DateKind::Modification), modified);
    // Before 1970 too; before 1601 there is nothing to write.
    ASSERT_TRUE(writeFileDate(p, DateKind::Modification, -86400 * 365));
    EXPECT_EQ(readFileDate(p, DateKind::Modification), -86400 * 365);
    EXPECT_FALSE(writeFileDate(p, DateKind::Creation, -12000000000LL));
    if (creationTimesKept()) {
        ASSERT_TRUE(writeFileDate(p, DateKind::Creation, created));
        EXPECT_EQ(readFileDate(p, DateKind::Creation), created);
    }
    // Nothing but files: not a folder, a device or a missing name (not made).
    EXPECT_FALSE(writeFileDate(dir.path(), DateKind::Modification, modified));
    EXPECT_FALSE(writeFileDate("NUL", DateKind::Modification, modified));
    EXPECT_FALSE(writeFileDate(dir.file("missing"), DateKind::Modification, modified));
    EXPECT_EQ(fileSize(dir.file("missing")), -1);
    EXPECT_EQ(readFileDate(dir.file("missing"), DateKind::Modification), std::nullopt);
    std::string content;
    ASSERT_TRUE(readWholeFile(p, content));
    EXPECT_EQ(content, "x");
}

TEST(WindowsDesktop, PicturesFolderFromTheRegistry) {
    PicturesValue value;
    value.text("C:\\Users\\Zo\xc3\xab\\Images");
    EXPECT_EQ(picturesFolder(), "C:\\Users\\Zo\xc3\xab\\Images");
    // Only a plain text value counts.
    value.number(7);
    EXPECT_EQ(picturesFolder(), "");
}

TEST(WindowsDesktop, LocaleIsLanguageAndCountryCodes) {
    const std::string lc = localeLanguageCountry();
    EXPECT_TRUE(std::regex_match(lc, std::regex("[a-z]{2,3}_[A-Z]{2}"))) << lc;
}

TEST(WindowsFileState, HeldOpenForWritingIsInUseAndReadOnlyIsProtected) {
    TempDir dir;
    const std::string p = dir.write("held.jpg", "x");
    EXPECT_EQ(holdOf(p), Hold::Free);
    HANDLE writer = CreateFileW(wide(p).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(holdOf(p), Hold::InUse);
    // It cannot be replaced while held so: the rename is refused, the file whole.
    const std::string other = dir.write("other.jpg", "new");
    EXPECT_FALSE(renameFile(other, p));
    CloseHandle(writer);
    EXPECT_EQ(holdOf(p), Hold::Free);
    SetFileAttributesW(wide(p).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(holdOf(p), Hold::Protected);
    SetFileAttributesW(wide(p).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(holdOf(dir.file("gone.jpg")), Hold::Gone);
}

TEST(WindowsFileState, TemporaryFileWrittenByNameRenamedWhileHeldAndRemovedByItsHolder) {
    TempDir dir;
    const std::string target = dir.write("photo.jpg", "old");
    TempFile t;
    ASSERT_TRUE(createTempFile(dir.file(".photo.jpg.tmp"), true, t));
    TempFile again;
    EXPECT_FALSE(createTempFile(t.path, true, again)) << "never an existing file";
    // The encoder opens it by name, as the C library does.
    std::FILE* f = _wfopen(wide(t.path).c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fputs("new picture", f);
    std::fclose(f);
    EXPECT_TRUE(stillOurs(t));
    EXPECT_TRUE(flushFile(t));
    EXPECT_FALSE(removeUnheldTempFile(t.path)) << "a held file is never taken for a leftover";
    ASSERT_TRUE(renameFile(t.path, target));
    std::string content;
    ASSERT_TRUE(readWholeFile(target, content));
    EXPECT_EQ(content, "new picture");
    closeTempFile(t, false);

    TempFile abandoned;
    ASSERT_TRUE(createTempFile(dir.file(".photo.jpg.tmp2"), true, abandoned));
    const std::string path = abandoned.path;
    closeTempFile(abandoned, true);
    EXPECT_EQ(fileSize(path), -1);

    // A leftover nobody holds goes.
    const std::string leftover = dir.write(".left.tmp", "x");
    EXPECT_TRUE(removeUnheldTempFile(leftover));
    EXPECT_EQ(fileSize(leftover), -1);
}

TEST(WindowsFiles, NamesOutsideAnyCodePageAndLongPaths) {
    TempDir dir;
    const std::string name = "\xc3\xa9t\xc3\xa9 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x8c\x9e.jpg";  // été 東京 🌞
    ASSERT_TRUE(writeNewFile(dir.file(name), "abc"));
    bool listed = false;
    for (const std::string& n : listDirectory(dir.folder())) listed = listed || n == name;
    EXPECT_TRUE(listed);
    FileStamp stamp;
    std::FILE* f = openForReading(dir.file(name), stamp);
    ASSERT_NE(f, nullptr);
    char buf[4] = {};
    EXPECT_EQ(std::fread(buf, 1, 3, f), 3u);
    std::fclose(f);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(stamp.size, 3);

    std::string deep = dir.path();
    for (int i = 0; i < 12; ++i) deep += "\\" + std::string(30, static_cast<char>('a' + i));
    deep += "\\photo.jpg";
    ASSERT_GT(deep.size(), 300u);
    ASSERT_TRUE(makeSurePathExists(deep));
    ASSERT_TRUE(writeNewFile(deep, "long"));
    std::string content;
    ASSERT_TRUE(readWholeFile(deep, content));
    EXPECT_EQ(content, "long");
    EXPECT_EQ(fileSize(deep), 4);
    ASSERT_TRUE(writeFileDate(deep, DateKind::Modification, 1262304000));
    EXPECT_EQ(readFileDate(deep, DateKind::Modification), 1262304000);
}
#endif

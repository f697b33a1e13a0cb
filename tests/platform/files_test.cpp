#include <gtest/gtest.h>
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/ordinary_user.h"
#endif

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>

#include "platform/files.h"
#include "support/temp_dir.h"

using namespace tv::platform;
using tvtest::TempDir;

namespace {

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(FileSize, AnswersSizeMissingAndFolder) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    EXPECT_EQ(fileSize(dir.write("six.bin", "abcdef")), 6);
    EXPECT_EQ(fileSize(dir.write("empty.bin", "")), 0);
    EXPECT_EQ(fileSize(dir.file("missing.bin")), -1);
    EXPECT_EQ(fileSize(""), -1);
    EXPECT_EQ(fileSize(dir.path()), -2);
    EXPECT_EQ(fileSize(dir.folder()), -2);
    EXPECT_EQ(fileSize(dir.path() + "///"), -2);
}

TEST(FileSize, SizesBeyondFourGigabytesAreExact) {
    TempDir dir;
    std::string p = dir.write("big.bin", "");
    const std::uintmax_t big = (std::uintmax_t{5} << 30) + 123;  // sparse where it can be
    std::error_code ec;
    std::filesystem::resize_file(p, big, ec);
    if (ec) GTEST_SKIP() << "file system refuses a 5 GiB file";
    EXPECT_EQ(fileSize(p), static_cast<std::int64_t>(big));
}

TEST(IsDirectory, TellsFoldersFromFiles) {
    TempDir dir;
    EXPECT_TRUE(isDirectory(dir.path()));
    EXPECT_TRUE(isDirectory(dir.folder()));
    EXPECT_FALSE(isDirectory(dir.write("f", "x")));
    EXPECT_FALSE(isDirectory(dir.file("nothing")));
    EXPECT_FALSE(isDirectory(""));
}

TEST(ListDirectory, ReturnsEveryNameInTheSystemsOrder) {
    TempDir dir;
    dir.write("b.jpg", "1");
    dir.write("a.png", "2");
    dir.write("Name with spaces.BMP", "3");
    std::filesystem::create_directory(dir.file("sub"));
    std::vector<std::string> names = listDirectory(dir.folder());
    // The system's own order, as its directory walk gives it.
    std::vector<std::string> expected, listed;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        expected.push_back(entry.path().filename().string());
    for (const std::string& n : names)
        if (n != "." && n != "..") listed.push_back(n);
    EXPECT_EQ(listed, expected);
    EXPECT_TRUE(contains(names, "."));
    EXPECT_TRUE(contains(names, ".."));
    EXPECT_TRUE(contains(names, "Name with spaces.BMP"));
    EXPECT_TRUE(contains(names, "sub"));
    EXPECT_EQ(names.size(), 6u);
}

TEST(ListDirectory, UnlistableFolderGivesNothing) {
    TempDir dir;
    EXPECT_TRUE(listDirectory(dir.file("missing")).empty());
    EXPECT_TRUE(listDirectory(dir.write("file", "x")).empty());
    EXPECT_TRUE(listDirectory("").empty());
}

TEST(DeleteAndRename, ReportWhatHappened) {
    TempDir dir;
    std::string a = dir.write("a", "first");
    std::string b = dir.write("b", "second");
    EXPECT_TRUE(renameFile(a, b));
    EXPECT_EQ(tvtest::readFile(b), "first");
    EXPECT_EQ(fileSize(a), -1);
    EXPECT_FALSE(renameFile(a, b));
    EXPECT_TRUE(deleteFile(b));
    EXPECT_EQ(fileSize(b), -1);
    EXPECT_FALSE(deleteFile(b));
    EXPECT_FALSE(deleteFile(dir.path()));  // folders are not files
    EXPECT_TRUE(isDirectory(dir.path()));
}

TEST(MakeSurePathExists, CreatesEveryMissingFolderOfTheFolderPart) {
    TempDir dir;
    EXPECT_TRUE(makeSurePathExists(dir.file("one/two/three/photo.jpg")));
    EXPECT_TRUE(isDirectory(dir.file("one/two/three")));
    EXPECT_EQ(fileSize(dir.file("one/two/three/photo.jpg")), -1);  // the file part is not made
    EXPECT_TRUE(makeSurePathExists(dir.file("x/y/")));
    EXPECT_TRUE(isDirectory(dir.file("x/y")));
    EXPECT_TRUE(makeSurePathExists(dir.file("x//z/")));
    EXPECT_TRUE(isDirectory(dir.file("x/z")));
    EXPECT_TRUE(makeSurePathExists(dir.file("one/two/three/again.jpg")));  // already there
    EXPECT_TRUE(makeSurePathExists("no-folder-part.jpg"));
}

TEST(MakeSurePathExists, FileInTheWayFails) {
    TempDir dir;
    dir.write("blocker", "x");
    EXPECT_FALSE(makeSurePathExists(dir.file("blocker/sub/photo.jpg")));
    EXPECT_EQ(tvtest::readFile(dir.file("blocker")), "x");
}

TEST(ReadWholeFile, ReadsBytesExactly) {
    TempDir dir;
    std::string content("a\0b\r\n\xE9", 6);
    std::string out = "stale";
    EXPECT_TRUE(readWholeFile(dir.write("f", content), out));
    EXPECT_EQ(out, content);
    EXPECT_FALSE(readWholeFile(dir.file("missing"), out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(readWholeFile(dir.path(), out));
}

TEST(ReadWholeFile, FifoOrDeviceFailsInsteadOfBlocking) {
    std::string out;
#ifdef _WIN32
    EXPECT_FALSE(readWholeFile("NUL", out));
    EXPECT_FALSE(readWholeFile("CON", out));
#else
    TempDir dir;
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(readWholeFile(fifo, out));
#endif
}

// The wall clock's zone is set through TZ, which only the C library's
// clock follows; Windows' own dates are checked in windows_test.cpp.
#ifndef _WIN32

// ---- file dates ----

// Dates are tested in a fixed zone three hours east of UTC, without summer time.
class FileDates : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            hadTz_ = true;
            oldTz_ = tz;
        }
        setenv("TZ", "TST-3", 1);
        tzset();
        ASSERT_TRUE(dir.ok());
        path = dir.write("photo.jpg", "data");
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", oldTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    void setUtc(std::int64_t atimeSec, long atimeNs, std::int64_t mtimeSec, long mtimeNs) {
        struct timespec t[2];
        t[0].tv_sec = static_cast<time_t>(atimeSec);
        t[0].tv_nsec = atimeNs;
        t[1].tv_sec = static_cast<time_t>(mtimeSec);
        t[1].tv_nsec = mtimeNs;
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
    }
    struct stat statOf() {
        struct stat st {};
        stat(path.c_str(), &st);
        return st;
    }

    static constexpr std::int64_t Offset = 3 * 3600;
    static constexpr std::int64_t Utc20100301 = 1267437600;  // 2010-03-01 10:00:00 UTC
    TempDir dir;
    std::string path;

private:
    bool hadTz_ = false;
    std::string oldTz_;
};

TEST_F(FileDates, ReadGivesLocalWallClockInWholeSeconds) {
    setUtc(Utc20100301 + 60, 0, Utc20100301, 750000000);  // modification at 10:00:00.750
    EXPECT_EQ(readFileDate(path, DateKind::Modification), Utc20100301 + Offset);
    EXPECT_EQ(readFileDate(path, DateKind::Access), Utc20100301 + 60 + Offset);
}

TEST_F(FileDates, WriteSetsOnlyTheGivenKind) {
    setUtc(Utc20100301 + 60, 0, Utc20100301, 0);
    EXPECT_TRUE(writeFileDate(path, DateKind::Modification, Utc20100301 + Offset + 3600));
    struct stat st = statOf();
    EXPECT_EQ(st.st_mtim.tv_sec, Utc20100301 + 3600);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    EXPECT_EQ(st.st_atim.tv_sec, Utc20100301 + 60);
    EXPECT_TRUE(writeFileDate(path, DateKind::Access, Utc20100301 + Offset));
    st = statOf();
    EXPECT_EQ(st.st_atim.tv_sec, Utc20100301);
    EXPECT_EQ(st.st_mtim.tv_sec, Utc20100301 + 3600);
}

TEST_F(FileDates, DatesBefore1970At1970AndAfter2038RoundTrip) {
    // 0 is 1970-01-01 00:00:00 on the local clock: a date, not "unreadable".
    for (std::int64_t date : {std::int64_t{-1000000000}, std::int64_t{0}, std::int64_t{4102444800 + 17}}) {
        ASSERT_TRUE(writeFileDate(path, DateKind::Modification, date)) << date;
        EXPECT_EQ(readFileDate(path, DateKind::Modification), std::optional<FileDate>(date));
        EXPECT_EQ(statOf().st_mtim.tv_sec, date - Offset);
    }
}

TEST_F(FileDates, CreationTimeCannotBeWritten) {
    setUtc(Utc20100301, 0, Utc20100301, 0);
    EXPECT_FALSE(writeFileDate(path, DateKind::Creation, Utc20100301));
    EXPECT_EQ(statOf().st_mtim.tv_sec, Utc20100301);
}

TEST_F(FileDates, CreationTimeIsNowishOrUnknown) {
    std::optional<FileDate> created = readFileDate(path, DateKind::Creation);
    if (!created) GTEST_SKIP() << "file system keeps no birth time";
    std::int64_t nowLocal = static_cast<std::int64_t>(std::time(nullptr)) + Offset;
    EXPECT_LE(std::llabs(*created - nowLocal), 120);
}

TEST_F(FileDates, MissingOrUnwritableFilesFail) {
    EXPECT_EQ(readFileDate(dir.file("missing"), DateKind::Modification), std::nullopt);
    EXPECT_FALSE(writeFileDate(dir.file("missing"), DateKind::Modification, Utc20100301));
    EXPECT_EQ(fileSize(dir.file("missing")), -1);  // not created by the attempt
    EXPECT_FALSE(writeFileDate(dir.path(), DateKind::Modification, Utc20100301));
    std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_FALSE(writeFileDate(fifo, DateKind::Modification, Utc20100301));  // no reader: no hang
}

TEST_F(FileDates, ReadOnlyFileKeepsItsDates) {
    setUtc(Utc20100301, 0, Utc20100301, 0);
    chmod(path.c_str(), 0444);
    int written = tvtest::runAsOrdinaryUser(dir.path(), [&] {
        return writeFileDate(path, DateKind::Modification, Utc20100301 + 5000) ? 1 : 0;
    });
    if (written == tvtest::NoOrdinaryUser) GTEST_SKIP() << "no user without special rights to run as";
    EXPECT_EQ(written, 0);
    EXPECT_EQ(statOf().st_mtim.tv_sec, Utc20100301);
}

TEST_F(FileDates, WritingLeavesContentAlone) {
    ASSERT_TRUE(writeFileDate(path, DateKind::Modification, Utc20100301));
    EXPECT_EQ(tvtest::readFile(path), "data");
}

#endif

}  // namespace

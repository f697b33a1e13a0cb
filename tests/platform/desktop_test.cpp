// The Linux desktop: locale variables, user-dirs.dirs, xdg-open. Windows'
// registry, locale and shell are checked in windows_test.cpp.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/desktop.h"
#include "platform/files.h"
#include "support/hang_guard.h"
#include "support/temp_dir.h"

using namespace tv::platform;
using tvtest::ScopedEnv;
using tvtest::TempDir;

namespace {

// What another process writes into the named pipe at path, until it closes
// it. Waits for the writer however long it takes to come; the pipe must
// exist before the writer starts.
std::string readPipe(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return {};
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + tvtest::HangGuard;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        // Until a writer has come and gone, no data means waiting, not an end.
        pollfd ready{fd, POLLIN, 0};
        int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) break;
        char buf[256];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;  // the writer has closed it
        }
    }
    close(fd);
    return text;
}

TEST(LocaleLanguageCountry, FirstNonEmptyVariableWins) {
    ScopedEnv all("LC_ALL", "");
    ScopedEnv messages("LC_MESSAGES", "de_DE.UTF-8");
    ScopedEnv lang("LANG", "fr_CA.UTF-8");
    EXPECT_EQ(localeLanguageCountry(), "de_DE");
    {
        ScopedEnv all2("LC_ALL", "fr_BE@euro");
        EXPECT_EQ(localeLanguageCountry(), "fr_BE");
    }
    ScopedEnv noMessages("LC_MESSAGES", nullptr);
    EXPECT_EQ(localeLanguageCountry(), "fr_CA");
}

TEST(LocaleLanguageCountry, CodesetModifierAndBareLanguage) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    {
        ScopedEnv lang("LANG", "en_US.ISO-8859-1@mod");
        EXPECT_EQ(localeLanguageCountry(), "en_US");
    }
    {
        ScopedEnv lang("LANG", "fr");
        EXPECT_EQ(localeLanguageCountry(), "fr_");
    }
    {
        ScopedEnv lang("LANG", "fr.UTF-8");
        EXPECT_EQ(localeLanguageCountry(), "fr_");
    }
    ScopedEnv lang("LANG", nullptr);
    EXPECT_EQ(localeLanguageCountry(), "");
}

TEST(PicturesFolder, ReadsUserDirsWithHomeExpandedAndQuotesRemoved) {
    TempDir home;
    TempDir config;
    config.write("user-dirs.dirs",
                 "# written by xdg-user-dirs-update\n"
                 "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                 "  XDG_PICTURES_DIR=\"$HOME/My Photos\"\n");
    ScopedEnv h("HOME", home.path().c_str());
    ScopedEnv c("XDG_CONFIG_HOME", config.path().c_str());
    EXPECT_EQ(picturesFolder(), home.path() + "/My Photos");
}

TEST(PicturesFolder, AbsoluteValueAndDefaultConfigFolder) {
    TempDir home;
    ASSERT_TRUE(makeSurePathExists(home.file(".config/")));
    home.write(".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/shared pictures\"\n");
    ScopedEnv h("HOME", home.path().c_str());
    ScopedEnv c("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(picturesFolder(), "/srv/shared pictures");
}

TEST(PicturesFolder, FallsBackToPicturesThenNothing) {
    TempDir home;
    TempDir config;  // no user-dirs.dirs
    ScopedEnv h("HOME", home.path().c_str());
    ScopedEnv c("XDG_CONFIG_HOME", config.path().c_str());
    EXPECT_EQ(picturesFolder(), "");
    home.write("Pictures", "a file, not a folder");
    EXPECT_EQ(picturesFolder(), "");
    deleteFile(home.file("Pictures"));
    mkdir(home.file("Pictures").c_str(), 0755);
    EXPECT_EQ(picturesFolder(), home.path() + "/Pictures");
}

TEST(OpenFolder, StartsXdgOpenWithThePathAsItsOneArgument) {
    TempDir bin;
    TempDir out;
    std::string script =
        bin.write("xdg-open", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$TV_OPEN_RESULT\"\n");
    chmod(script.c_str(), 0755);
    // The program is not waited for: it tells its arguments through a pipe.
    std::string result = out.file("result");
    ASSERT_EQ(mkfifo(result.c_str(), 0600), 0);
    ScopedEnv path("PATH", (bin.path() + ":/usr/bin:/bin").c_str());
    ScopedEnv target("TV_OPEN_RESULT", result.c_str());
    // Shell characters in the path reach the program untouched.
    std::string folder = "/tmp/Photos $(touch x); 'quoted' &/";
    EXPECT_TRUE(openFolder(folder));
    EXPECT_EQ(readPipe(result), "1|" + folder);
}

TEST(OpenFolder, MissingProgramReportsFailure) {
    TempDir empty;
    ScopedEnv path("PATH", empty.path().c_str());
    EXPECT_FALSE(openFolder("/tmp/"));
    EXPECT_FALSE(openFolder(""));
}

}  // namespace
#endif

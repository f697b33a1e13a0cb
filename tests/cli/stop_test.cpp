// A stop signal mid-photo, and questions answered on a terminal.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli_support.h"
#include "e2e/e2e_support.h"

using clitest::Child;
using e2e::listNames;
using e2e::readBytes;
using e2e::writeBytes;

namespace {

using Names = std::vector<std::string>;

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe2(fd, O_CLOEXEC), 0); }
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
};

}  // namespace

TEST(BatchStop, SignalMidPhotoAbandonsItAndLeavesTheOriginal) {
    for (int sig : {SIGINT, SIGTERM}) {
        tvtest::TempDir dir;
        const std::string photos = dir.sub("photos");
        ASSERT_TRUE(e2e::writeJpeg(photos + "a.jpg", 64, 48, 1));
        ASSERT_TRUE(e2e::writeJpeg(photos + "b.jpg", 64, 48, 2));
        const std::string a = readBytes(photos + "a.jpg"), b = readBytes(photos + "b.jpg");
        Pipe notify, release;
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        Child::Setup s;
        // Each photo would replace itself: the original is what is at stake.
        s.args = {photos, "--lower-case", "--size", "50%", "--on-collision", "overwrite", "--on-error", "stop"};
        s.env = {{"LC_ALL", "C"},
                 {"LD_PRELOAD", FSYNC_HOLD_LIB},
                 {"TV_HOLD_FDS", "60,61"},
                 // The preloaded shim comes before the sanitizer's runtime.
                 {"ASAN_OPTIONS", asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0"}};
        s.inChild = [&] {
            dup2(notify.fd[1], 60);
            dup2(release.fd[0], 61);
        };
        Child c(s);
        ASSERT_TRUE(c.started());
        char byte = 0;
        ASSERT_EQ(read(notify.fd[0], &byte, 1), 1) << "the batch never reached its first save";
        // Held with the temporary file complete beside the original.
        EXPECT_EQ(listNames(photos).size(), 3u);
        ASSERT_EQ(kill(c.pid(), sig), 0);
        std::size_t from = 0;
        EXPECT_TRUE(c.waitFor("Stopping: the photo under way is abandoned", from));
        ASSERT_EQ(write(release.fd[1], "g", 1), 1);
        auto r = c.finish();
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        EXPECT_EQ(listNames(photos), (Names{"a.jpg", "b.jpg"}));
        EXPECT_EQ(readBytes(photos + "a.jpg"), a);
        EXPECT_EQ(readBytes(photos + "b.jpg"), b);
        EXPECT_EQ(r.out.find("saved"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("0 converted"), std::string::npos) << r.err;
    }
}

TEST(BatchStop, AskPutsTheQuestionsOnTheTerminal) {
    tvtest::TempDir dir;
    const std::string photos = dir.sub("photos"), out = dir.sub("out");
    for (const char* n : {"a", "b", "c"}) {
        ASSERT_TRUE(e2e::writeJpeg(photos + n + ".jpg", 32, 24, n[0]));
        writeBytes(out + n + ".JPG", "old");
    }
    Child c({{photos, "--to", out, "--language", "en"}, {}, {{"LC_ALL", "C"}}, true, {}});
    ASSERT_TRUE(c.started());
    std::size_t at = 0;
    auto answer = [&](const std::string& question, const std::string& keys) {
        ASSERT_TRUE(c.waitFor(question, at, false)) << question;
        c.type(keys);
    };
    const std::string yesNo = "[y]es, [n]o, [c]ancel: ";
    answer("Overwrite the file: '" + out + "a.JPG' ?\r\n" + yesNo, "n\n");
    answer("New image name : " + out + "a.JPG\r\n(Enter: keep this name; Ctrl+D: no name) > ", out + "new.JPG\n");
    answer("Overwrite the file: '" + out + "b.JPG' ?\r\n" + yesNo, "y\n");
    answer("Overwrite the file: '" + out + "c.JPG' ?\r\n" + yesNo, "c\n");
    auto r = c.finish();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("3/3 100%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 converted, 1 skipped, 0 failed"), std::string::npos) << r.out;
    EXPECT_EQ(listNames(out), (Names{"a.JPG", "b.JPG", "c.JPG", "new.JPG"}));
    EXPECT_EQ(readBytes(out + "a.JPG"), "old");
    EXPECT_NE(readBytes(out + "b.JPG"), "old");
    EXPECT_EQ(readBytes(out + "c.JPG"), "old");
    EXPECT_EQ(readBytes(out + "new.JPG").rfind("\xFF\xD8\xFF", 0), 0u);
}

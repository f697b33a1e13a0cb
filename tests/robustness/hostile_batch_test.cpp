// Whole batches over folders full of hostile files and files that change
// under the worker's feet. Afterwards: the batch ended, every source is
// exactly as it was, every output is a complete picture or absent, no
// hidden temporary file is left, and each file that cannot be loaded got
// the load-failure question.
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>
#include <set>

#include "batch/batch_support.h"
#include "hostile_files.h"

using namespace batchtest;
namespace answer = tv::answer;
namespace img = tv::img;

namespace {

std::string str(const robust::Bytes& b) { return std::string(b.begin(), b.end()); }

// Gives up at every question: No to retry or overwrite, Cancel to a rename.
int giveUp(const Request& r) {
    unsigned buttons = r.type & tv::mb::ButtonMask;
    if (buttons == tv::mb::YesNoCancel) return answer::Cancel;
    if (buttons == tv::mb::YesNo) return answer::No;
    return answer::Ok;
}

std::string loadFailedText(const Bench& b, const std::string& name) {
    return tv::replaceAll(b.text("Info.LoadImageFailed.Text2"), "%", name) + "\n" + b.text("Info.TryAgain");
}

int countMessages(Bench& b, const std::string& text) {
    int n = 0;
    for (const Request& r : b.ui.log())
        if (r.kind == Request::Message && r.text == text) ++n;
    return n;
}

class HostileBatch : public ::testing::Test {
protected:
    HostileBatch() {
        b.ui.policy = giveUp;
        b.ui.failOnUnscripted = false;
    }
    // A source file of the catalogue with exactly these bytes.
    void add(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(writeBytes(b.src + name, bytes)) << name;
        sources[name] = bytes;
        b.addEntry(name);
    }
    int runGuarded(const std::string& target) {
        robust::Watchdog w("RunBatch", 60);
        return b.run(target);
    }
    void expectSourcesIntact() {
        for (const auto& [name, bytes] : sources) EXPECT_EQ(readBytes(b.src + name), bytes) << "source changed: " << name;
        EXPECT_EQ(hiddenNames(b.src), std::vector<std::string>{}) << "left behind in the source folder";
        EXPECT_EQ(hiddenNames(b.out), std::vector<std::string>{}) << "left behind in the output folder";
    }
    // Whether the engine alone can load the source (judged on a fresh engine
    // with the same limit).
    bool loadable(const std::string& name) {
        img::Engine e;
        tvtest::registerCodecs(e);
        e.maxPixelBytes = b.p.engine.maxPixelBytes;
        img::ImageHandle h = img::image_load(e, b.src + name);
        bool ok = h != img::NoImage;
        img::image_free(e, h);
        return ok;
    }

    Bench b;
    std::map<std::string, std::string> sources;
};

std::string outputName(const std::string& source) {
    return source.substr(0, source.rfind('.')) + ".jpg";
}

TEST_F(HostileBatch, FolderOfHostileFiles) {
    b.p.engine.maxPixelBytes = 16u << 20;
    robust::Bytes huge = robust::bmp24(4, 4);
    robust::setBmpSize(huge, 32767, 32767);
    robust::Bytes negative = robust::bmp24(4, 4);
    robust::setBmpSize(negative, -20, 4);
    robust::Bytes hugePng = robust::png(4, 4);
    robust::setPngSize(hugePng, 32767, 32767);
    robust::Bytes hugeJpeg = robust::jpeg(16, 16);
    robust::setJpegSize(hugeJpeg, 32767, 32767);
    robust::Bytes badCrc = robust::png(8, 8);
    badCrc[robust::findChunk(badCrc, "IHDR") + 21] ^= 0x11;
    robust::Bytes palette = robust::bmp8(16, 8, 16);
    palette.resize(14 + 40 + 4 * 3);
    const robust::Bytes goodJpeg = robust::jpeg(40, 30), goodPng = robust::png(30, 20), goodBmp = robust::bmp24(9, 7);

    add("empty.jpg", "");
    add("two.jpg", "\xFF\xD8");
    add("two-p.png", "\x89P");
    add("huge.bmp", str(huge));
    add("huge-p.png", str(hugePng));
    add("huge-j.jpg", str(hugeJpeg));
    add("negative.bmp", str(negative));
    add("badcrc.png", str(badCrc));
    add("palette.bmp", str(palette));
    for (int tenth : {1, 3, 5, 7, 9}) {
        const std::string t = std::to_string(tenth);
        add("cut" + t + "j.jpg", str(goodJpeg).substr(0, goodJpeg.size() * tenth / 10));
        add("cut" + t + "p.png", str(goodPng).substr(0, goodPng.size() * tenth / 10));
        add("cut" + t + "b.bmp", str(goodBmp).substr(0, goodBmp.size() * tenth / 10));
    }
    // Every output name differs, so no overwrite question comes in the way.
    add("good.jpeg", str(goodJpeg));
    add("good-p.png", str(goodPng));
    add("with space.bmp", str(goodBmp));
#ifndef _WIN32
    // Characters and bytes Windows takes in no name.
    add("quo\"te's.jpg", str(goodJpeg));
    add("new\nline.png", str(goodPng));
    add("\xff\xfe\x80 bytes.jpg", str(goodJpeg));
#else
    add("quo'te's.jpg", str(goodJpeg));
#endif
    // The longest name the file system takes.
    add(std::string(251, 'L') + ".png", str(goodPng));
    // Not files: a folder and, on POSIX, links to nowhere, a FIFO, a socket
    // and a device.
    std::vector<std::string> notFiles{"x.jpg"};
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(b.src + "x.jpg")));
    b.addEntry("x.jpg");
#ifndef _WIN32
    ASSERT_EQ(symlink((b.src + "nowhere.jpg").c_str(), (b.src + "dangling.jpg").c_str()), 0);
    b.addEntry("dangling.jpg");
    // Nor are a FIFO, a socket and a device named like photos: opening them
    // must not wait for a writer or read for ever.
    ASSERT_EQ(mkfifo((b.src + "pipe.jpg").c_str(), 0644), 0);
    b.addEntry("pipe.jpg");
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%ssock.png", b.src.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    b.addEntry("sock.png");
    ASSERT_EQ(symlink("/dev/zero", (b.src + "zero.jpg").c_str()), 0);
    b.addEntry("zero.jpg");
    notFiles.insert(notFiles.end(), {"dangling.jpg", "pipe.jpg", "sock.png", "zero.jpg"});
#endif
    b.p.run.removeSources = false;

    std::set<std::string> expectLoaded, expectFailed;
    for (const auto& [name, bytes] : sources) (loadable(name) ? expectLoaded : expectFailed).insert(name);
    for (const std::string& n : notFiles) expectFailed.insert(n);
    // The honest pictures and the JPEGs cut past their header must load.
    for (const char* n : {"good.jpeg", "good-p.png", "with space.bmp", "cut5j.jpg", "cut9j.jpg"})
        EXPECT_TRUE(expectLoaded.count(n)) << n;
    for (const char* n : {"empty.jpg", "two.jpg", "huge.bmp", "huge-p.png", "huge-j.jpg", "negative.bmp", "badcrc.png"})
        EXPECT_TRUE(expectFailed.count(n)) << n;

    runGuarded(b.out);

    EXPECT_EQ(b.p.ProcessedCount.load(), static_cast<int>(b.p.catalogue.size()));
    expectSourcesIntact();
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(b.src + "x.jpg")));
#ifndef _WIN32
    struct stat st;
    EXPECT_TRUE(lstat((b.src + "dangling.jpg").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_TRUE(stat((b.src + "pipe.jpg").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    close(sock);
#endif

    for (const std::string& n : expectFailed) {
        EXPECT_FALSE(exists(b.out + outputName(n))) << "output for unloadable " << n;
        EXPECT_EQ(countMessages(b, loadFailedText(b, n)), 1) << "load-failure question for " << n;
    }
    for (const std::string& n : expectLoaded) {
        EXPECT_TRUE(isCompleteJpeg(b.out + outputName(n))) << "no complete output for " << n;
        EXPECT_EQ(countMessages(b, loadFailedText(b, n)), 0) << n;
    }
    // Nothing else appeared in the output folder.
    std::set<std::string> outputs;
    for (const std::string& n : expectLoaded) outputs.insert(outputName(n));
    const std::vector<std::string> listed = listNames(b.out);
    EXPECT_EQ(outputs.size(), expectLoaded.size()) << "two sources share an output name";
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), outputs);
    // No question but the load failures was asked.
    EXPECT_EQ(b.ui.log().size(), expectFailed.size());
}

TEST_F(HostileBatch, FilesVanishingOrUnreadableBetweenListingAndLoading) {
    const std::string pic = str(robust::jpeg(24, 16));
    add("a.jpg", pic);
    add("vanish.jpg", pic);
    add("unreadable.jpg", pic);
    add("later.jpg", pic);
    add("z.jpg", pic);
    sources.erase("vanish.jpg");
    sources.erase("later.jpg");
    // vanish.jpg disappears right before it is loaded; unreadable.jpg cannot
    // be read (refused as a permission error would, which root never sees).
    tv::FileOps real = tv::platformFileOps();
    b.ops.loadImage = [&, real](img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
        if (path == b.src + "vanish.jpg") std::remove(path.c_str());
        if (path == b.src + "unreadable.jpg") return img::NoImage;
        return real.loadImage(e, path, s);
    };
    // While the question about vanish.jpg is open, later.jpg is deleted too.
    b.ui.answer(answer::No, [&] { std::remove((b.src + "later.jpg").c_str()); });

    runGuarded(b.out);

    expectSourcesIntact();
    EXPECT_EQ(b.p.ProcessedCount.load(), 5);
    for (const char* n : {"vanish.jpg", "unreadable.jpg", "later.jpg"}) {
        EXPECT_EQ(countMessages(b, loadFailedText(b, n)), 1) << n;
        EXPECT_FALSE(exists(b.out + n)) << n;
    }
    EXPECT_TRUE(isCompleteJpeg(b.out + "a.jpg"));
    EXPECT_TRUE(isCompleteJpeg(b.out + "z.jpg"));
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"a.jpg", "z.jpg"}));
}

TEST_F(HostileBatch, SourceVanishingAfterItWasLoaded) {
    // The picture is in memory, so it is still written; removing the source
    // then finds nothing to remove and the batch goes on.
    const std::string pic = str(robust::jpeg(24, 16));
    add("gone.jpg", pic);
    add("kept.jpg", pic);
    sources.erase("gone.jpg");
    tv::FileOps real = tv::platformFileOps();
    b.ops.loadImage = [&, real](img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
        img::ImageHandle h = real.loadImage(e, path, s);
        if (path == b.src + "gone.jpg") std::remove(path.c_str());
        return h;
    };
    b.p.run.removeSources = true;

    runGuarded(b.out);

    EXPECT_EQ(hiddenNames(b.out), std::vector<std::string>{});
    EXPECT_TRUE(isCompleteJpeg(b.out + "gone.jpg"));
    EXPECT_TRUE(isCompleteJpeg(b.out + "kept.jpg"));
    EXPECT_FALSE(exists(b.src + "kept.jpg"));  // removed as asked, after its output was complete
    EXPECT_EQ(b.p.ProcessedCount.load(), 2);
}

TEST_F(HostileBatch, PictureOverThePixelLimitGetsTheLoadFailureQuestion) {
    const std::string big = str(robust::jpeg(100, 100)), small = str(robust::jpeg(10, 10));
    add("big.jpg", big);
    add("small.jpg", small);
    b.p.engine.maxPixelBytes = 10000;  // 100 x 100 x 3 needs 30000
    b.ui.failOnUnscripted = true;
    b.ui.policy = nullptr;
    b.ui.answer(answer::Yes);  // try again: still over the limit
    b.ui.answer(answer::No);

    runGuarded(b.out);

    std::vector<Request> log = b.ui.log();
    ASSERT_EQ(log.size(), 2u);
    for (const Request& r : log) {
        EXPECT_EQ(r.text, loadFailedText(b, "big.jpg"));
        EXPECT_EQ(r.type & tv::mb::ButtonMask, tv::mb::YesNo);
    }
    expectSourcesIntact();
    EXPECT_FALSE(exists(b.out + "big.jpg"));
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "small.jpg", w, h));
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 10);
}

}  // namespace

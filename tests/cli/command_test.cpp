// tarvolin-batch run for real: its messages, exit codes, answers to the
// batch's questions and the files it leaves, next to the window's own batch.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli_support.h"
#include "e2e/harness.h"
#include "support/ordinary_user.h"

using clitest::run;
using e2e::exists;
using e2e::listNames;
using e2e::readBytes;
using e2e::writeBytes;
using e2e::writeJpeg;

namespace {

using Names = std::vector<std::string>;

struct Folders {
    tvtest::TempDir dir;
    std::string photos = dir.sub("photos");
    std::string out = dir.sub("out");

    void photo(const std::string& name, int seed = 1) { ASSERT_TRUE(writeJpeg(photos + name, 40 + seed, 30, seed)); }
};

bool isJpeg(const std::string& path) { return readBytes(path).rfind("\xFF\xD8\xFF", 0) == 0; }

}  // namespace

TEST(BatchCommand, BadSizeTellsTheRatioFieldsTexts) {
    struct Case {
        const char* size;
        const char* language;
        const char* message;
    };
    const Case cases[] = {
        {"1/0", "en", "Incorrect file ratio: Unable to divise by zero !"},
        {"1.5/2", "en", "Incorrect file ratio: Fraction requires two integers !"},
        {"1.5%", "en", "Incorrect file ratio: Integer attending before '%' !"},
        {"abc", "en", "Incorrect file ratio: Wrong value !"},
        {"1/0", "fr", "Taille de l'image incorrecte: Division par zéro impossible !"},
        {"abc", "fr", "Taille de l'image incorrecte: Valeur erronée !"},
    };
    Folders f;
    f.photo("a.jpg");
    for (const Case& c : cases) {
        auto r = run({f.photos, "--size", c.size, "--language", c.language, "--on-collision", "skip", "--on-error",
                      "skip"});
        EXPECT_EQ(r.status, 2) << c.size;
        EXPECT_EQ(r.err, std::string("tarvolin-batch: ") + c.message + "\n") << c.size;
    }
    EXPECT_EQ(listNames(f.photos), (Names{"a.jpg"}));
}

TEST(BatchCommand, UnusableFoldersAndAskWithoutTerminalEndBeforeAnyPhoto) {
    Folders f;
    f.photo("a.jpg");
    const std::string file = f.photos + "a.jpg";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{f.dir.file("none")}, "'" + f.dir.file("none") + "' is not a folder"},
        {{file}, "'" + file + "' is not a folder"},
        // The window's own texts for a bad destination or mask.
        {{f.photos, "--to", f.dir.file("none")}, "Unexisting path !"},
        {{f.photos, "--mask", "a#b#"}, "Filename should contain exactly one '#' !"},
        {{f.photos, "--mask", "a/b#"}, "Invalide filename: '/' unexpected !"},
        {{f.photos},
         "questions need a terminal to be answered on (--on-collision ask, --on-error ask): give --on-collision "
         "overwrite|rename-with-suffix|skip, --on-error skip|stop so that the batch never waits for an answer"},
        {{f.photos, "--on-collision", "skip"},
         "questions need a terminal to be answered on (--on-error ask): give --on-error skip|stop so that the "
         "batch never waits for an answer"},
        {{f.photos, "--only", "b*.jpg", "--on-collision", "skip", "--on-error", "skip"},
         "no photo of the folder is named 'b*.jpg'"},
        {{f.photos, "--quality", "x"}, "--quality takes a whole number from 0 to 10, not 'x'"},
    };
    for (const Case& c : cases) {
        auto r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        EXPECT_NE(r.err.find("tarvolin-batch: " + c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(listNames(f.photos), (Names{"a.jpg"}));
    EXPECT_TRUE(listNames(f.out).empty());

    // A folder without photos is no error: the window's message, status 0.
    auto empty = run({f.out, "--on-collision", "skip", "--on-error", "skip"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "None image found in this folder.\n  Program will shut down.\n");
}

TEST(BatchCommand, UnreadableFolderIsRefused) {
    Folders f;
    f.photo("a.jpg");
    chmod(f.dir.path().c_str(), 0755);
    chmod(f.photos.c_str(), 0300);
    const std::string photos = f.photos;
    constexpr int CannotRun = 3;
    int status = tvtest::runAsOrdinaryUser(f.dir.path(), [&] {
        if (access(clitest::Executable, X_OK) != 0) return CannotRun;
        auto r = run({photos, "--on-collision", "skip", "--on-error", "skip"});
        return r.status == 2 && r.err.find("cannot be read") != std::string::npos ? 0 : 1;
    });
    if (status == tvtest::NoOrdinaryUser) GTEST_SKIP() << "no user without special rights to run as";
    if (status == CannotRun) GTEST_SKIP() << "the build folder is closed to a user without special rights";
    EXPECT_EQ(status, 0);
}

TEST(BatchCommand, CollisionPoliciesAgainstAnExistingOutput) {
    struct Case {
        const char* policy;
        int status;
        Names outFiles;
        const char* line;  // what standard output says of a.jpg
    };
    const Case cases[] = {
        {"overwrite", 0, {"a (1).JPG", "a.JPG", "b.JPG"}, "a.jpg -> OUT/a.JPG: saved over the existing file\n"},
        {"rename-with-suffix", 0, {"a (1).JPG", "a (2).JPG", "a.JPG", "b.JPG"},
         "a.jpg -> OUT/a (2).JPG: saved under a new name (OUT/a.JPG exists)\n"},
        {"skip", 1, {"a (1).JPG", "a.JPG", "b.JPG"}, "a.jpg: skipped: OUT/a.JPG exists\n"},
    };
    for (const Case& c : cases) {
        Folders f;
        f.photo("a.jpg", 1);
        f.photo("b.jpg", 2);
        writeBytes(f.out + "a.JPG", "old");
        writeBytes(f.out + "a (1).JPG", "older");
        auto r = run({f.photos, "--to", f.out, "--on-collision", c.policy, "--on-error", "stop"});
        EXPECT_EQ(r.status, c.status) << c.policy << "\n" << r.err;
        EXPECT_EQ(listNames(f.out), c.outFiles) << c.policy;
        std::string line = c.line;
        for (std::size_t at; (at = line.find("OUT/")) != std::string::npos;) line.replace(at, 4, f.out);
        EXPECT_NE(r.out.find(line), std::string::npos) << c.policy << "\n" << r.out;
        EXPECT_NE(r.out.find("b.jpg -> " + f.out + "b.JPG: saved\n"), std::string::npos) << r.out;
        EXPECT_EQ(readBytes(f.out + "a (1).JPG"), "older");
        EXPECT_EQ(readBytes(f.out + "a.JPG") == "old", std::string(c.policy) != "overwrite") << c.policy;
        EXPECT_TRUE(isJpeg(f.out + "b.JPG"));
        EXPECT_EQ(listNames(f.photos), (Names{"a.jpg", "b.jpg"}));
    }
}

TEST(BatchCommand, AnOutputThatIsItsSourceReplacesItUnderEveryPolicy) {
    for (const char* policy : {"overwrite", "rename-with-suffix", "skip"}) {
        Folders f;
        f.photo("a.jpg", 3);
        e2e::setModificationTime(f.photos + "a.jpg", 1500000000L);
        const std::string before = readBytes(f.photos + "a.jpg");
        auto r = run({f.photos, "--lower-case", "--size", "50%", "--on-collision", policy, "--on-error", "stop"});
        EXPECT_EQ(r.status, 0) << policy << "\n" << r.err;
        EXPECT_EQ(r.out, "a.jpg -> " + f.photos + "a.jpg: saved in place of the photo itself\n") << policy;
        EXPECT_EQ(listNames(f.photos), (Names{"a.jpg"})) << policy;
        int w = 0, h = 0;
        ASSERT_TRUE(e2e::jpegSize(f.photos + "a.jpg", w, h));
        EXPECT_EQ(w, 22);
        EXPECT_NE(readBytes(f.photos + "a.jpg"), before);
        EXPECT_EQ(e2e::modificationTime(f.photos + "a.jpg"), 1500000000L);
    }
}

TEST(BatchCommand, ErrorPoliciesAndRemovedSources) {
    struct Case {
        std::vector<std::string> extra;
        int status;
        Names outFiles;
        Names photosLeft;
        bool quiet;
    };
    const Case cases[] = {
        {{"--on-error", "skip"}, 1, {"a.JPG", "c.JPG"}, {"a.jpg", "b.jpg", "c.jpg"}, false},
        {{"--on-error", "stop"}, 1, {"a.JPG"}, {"a.jpg", "b.jpg", "c.jpg"}, false},
        // Only what loaded and was saved is removed; quiet still tells the failure.
        {{"--on-error", "skip", "--remove-sources", "--quiet"}, 1, {"a.JPG", "c.JPG"}, {"b.jpg"}, true},
    };
    for (const Case& c : cases) {
        Folders f;
        f.photo("a.jpg", 1);
        writeBytes(f.photos + "b.jpg", "\xFF\xD8\xFF not a photo");
        f.photo("c.jpg", 3);
        std::vector<std::string> args{f.photos, "--to", f.out, "--on-collision", "overwrite"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        auto r = run(args);
        EXPECT_EQ(r.status, c.status) << c.extra[1];
        EXPECT_EQ(listNames(f.out), c.outFiles) << c.extra[1];
        EXPECT_EQ(listNames(f.photos), c.photosLeft) << c.extra[1];
        const std::string failed = "b.jpg: failed: the photo could not be loaded";
        if (c.quiet) {
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, failed + "\n");
        } else {
            EXPECT_NE(r.out.find(failed), std::string::npos) << r.out;
            EXPECT_NE(r.err.find(c.outFiles.size() == 2 ? "2 converted, 0 skipped, 1 failed, 0.0 megapixels, "
                                                        : "1 converted, 0 skipped, 1 failed, 0.0 megapixels, "),
                      std::string::npos)
                << r.err;
        }
    }
}

TEST(BatchCommand, DryRunTellsEachPathAndWritesNothing) {
    Folders f;
    for (const char* n : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) f.photo(n);
    writeBytes(f.out + "Pic 001.PNG", "old");
    writeBytes(f.out + "Pic 001 (1).PNG", "old");
    auto r = run({f.photos, "--dry-run", "--format", "png", "--mask", "Pic #", "--to", f.out, "--skip", "c.jpg",
                  "--on-collision", "rename-with-suffix", "--remove-sources"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string o = f.out;
    EXPECT_EQ(r.out, "a.jpg -> " + o + "Pic 001.PNG: exists: would be written as " + o +
                         "Pic 001 (2).PNG; the source would be removed\n"
                         "b.jpg -> " + o + "Pic 002.PNG: new file; the source would be removed\n"
                         "d.jpg -> " + o + "Pic 003.PNG: new file; the source would be removed\n");
    EXPECT_EQ(r.err, "3 photo(s) to convert; nothing was written\n");
    EXPECT_EQ(listNames(f.out), (Names{"Pic 001 (1).PNG", "Pic 001.PNG"}));
    EXPECT_EQ(listNames(f.photos).size(), 4u);
}

// The same choices made in the windows and on the command line write the same
// files, byte for byte, under the same numbers.
TEST(BatchCommand, WritesWhatTheWindowsWrite) {
    e2e::ProgramRun window;
    window.storeOptions({5, 0, 0, 0, 1, 0x65});
    window.makePhotos(6);
    tvtest::TempDir other;
    const std::string photos = other.sub("photos");
    for (const std::string& n : listNames(window.photos)) {
        writeBytes(photos + n, readBytes(window.photos + n));
        e2e::setModificationTime(photos + n, e2e::modificationTime(window.photos + n));
    }

    window.onWindow(tv::id::WndMain, [&window] {
        EXPECT_TRUE(window.ui.selectComboRow(tv::id::ComboSize, 4));
        EXPECT_TRUE(window.ui.click(tv::id::ButtonList));
    });
    window.onWindow(tv::id::WndList, [&window] {
        EXPECT_TRUE(window.ui.tickRow(tv::id::ListImgList, 1, false));
        EXPECT_TRUE(window.ui.click(tv::id::ButtonNext));
    });
    window.onWindow(tv::id::WndCompress, [&window] { EXPECT_TRUE(window.ui.click(tv::id::CheckboxRenameImage)); });
    // The mask and number fields open once the tick has been taken in.
    window.when([&window] { return !window.ui.isGadgetDisabled(tv::id::StringFileName); }, [&window] {
        EXPECT_TRUE(window.ui.typeText(tv::id::StringFileName, "Holiday #"));
        EXPECT_TRUE(window.ui.typeText(tv::id::SpinCount, "996"));
        EXPECT_TRUE(window.ui.click(tv::id::ButtonLaunchCompression));
    });
    ASSERT_EQ(window.run(), 0);
    ASSERT_TRUE(window.scriptDone());

    auto r = run({photos, "--size", " 50%: 1/2", "--mask", "Holiday #", "--start", "996", "--lower-case", "--skip",
                  "IMG_0002.jpg", "--on-collision", "skip", "--on-error", "stop"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Names written{"Holiday 0996.jpg", "Holiday 0997.jpg", "Holiday 0998.jpg", "Holiday 0999.jpg",
                        "Holiday 1000.jpg"};
    EXPECT_EQ(listNames(photos), listNames(window.photos));
    for (const std::string& n : written) {
        ASSERT_TRUE(exists(photos + n)) << n;
        EXPECT_EQ(readBytes(photos + n), readBytes(window.photos + n)) << n;
        EXPECT_EQ(e2e::modificationTime(photos + n), e2e::modificationTime(window.photos + n)) << n;
    }
}

// Output placement: same-file rule, overwrite and new-name questions, save
// and removal questions, file dates, resize and load failures.
#include <set>

#include "batch_support.h"

using namespace batchtest;
namespace mb = tv::mb;
namespace answer = tv::answer;

namespace {

const unsigned OverwriteType = mb::YesNoCancel | mb::IconWarning;
const unsigned DeleteFailType = mb::YesNo | mb::IconError;
const unsigned SaveFailType = mb::YesNoCancel | mb::IconWarning;
const unsigned WarnYesNo = mb::YesNo | mb::IconWarning;

std::string overwriteText(const Bench& b, const std::string& path) {
    return tv::replaceAll(b.text("Info.FileOverwrite.Message"), "%", path);
}
std::string deleteFailText(const Bench& b, const std::string& path) {
    return b.text("Info.DeleteImage.Text1") + " :\n" + path + "\n" + b.text("Info.DeleteImage.Text2") + "\n\n" +
           b.text("Info.DeleteImage.Text3");
}
std::string saveFailText(const Bench& b, const std::string& path) {
    return b.text("Info.UnableSaveImage.Title") + " :\n" + path + "\n\n" + b.text("Info.UnableSaveImage.Message");
}

}  // namespace

class Placement : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(b.textsLoaded); }
    Bench b;
};

TEST_F(Placement, TextsAreTheEnglishOnes) {
    EXPECT_EQ(overwriteText(b, "/o/x.jpg"), "Overwrite the file: '/o/x.jpg' ?");
    EXPECT_EQ(saveFailText(b, "/o/x.jpg"),
              "Unable to save this image :\n/o/x.jpg\n\nTry again and change the image name ?");
    EXPECT_EQ(deleteFailText(b, "/o/x.jpg"),
              "Unable to delete the file :\n/o/x.jpg\nThis image is probably used by another program !\n\n"
              "Try again to delete this file ?");
    EXPECT_EQ(b.text("Info.FileOverwrite.Title"), "File overwrite ?");
    EXPECT_EQ(b.text("Info.UnableDeleteImage.Text1") + " :", "Unable to delete the original image :");
    EXPECT_EQ(b.text("Info.FileOverwrite.New.Message") + " :", "New image name :");
    EXPECT_EQ(tv::replaceAll(b.text("Info.UnableRedimImage") + "\r\n" + b.text("Info.DisableImageRedim"), "%", "a.jpg"),
              "Unable to resize this image: 'a.jpg' !\r\nDisable resizing for next images ?");
}

TEST_F(Placement, SameFileIgnoringCaseAsksNothingAndKeepsOneFile) {
    b.addJpeg("IMG_1.JPG", 12, 6);
    std::time_t when = localTime(2011, 5, 2, 12, 30, 15);
    ASSERT_TRUE(setModificationTime(b.src + "IMG_1.JPG", when));
    b.p.run.removeSources = true;
    b.run("");
    EXPECT_TRUE(b.ui.log().empty());
    // The source made room for its own output; nothing else is left.
    const std::vector<std::string> names = listNames(b.src);
#ifdef _WIN32
    // One file: which spelling stays is the file system's choice.
    EXPECT_TRUE(names == std::vector<std::string>{"IMG_1.jpg"} || names == std::vector<std::string>{"IMG_1.JPG"});
#else
    EXPECT_EQ(names, (std::vector<std::string>{"IMG_1.jpg"}));
#endif
    EXPECT_TRUE(isCompleteJpeg(b.src + "IMG_1.jpg"));
    EXPECT_EQ(modificationTime(b.src + "IMG_1.jpg").seconds, when);
}

// Not on Windows: there two names of one folder that differ only in letter
// case are one file.
#ifndef _WIN32
TEST_F(Placement, SameFileWithADifferentFileAtTheOutputStillAsks) {
    // Where letter case matters IMG_1.jpg may be another photo: it is not
    // replaced without the overwrite question.
    b.addJpeg("IMG_1.JPG", 12, 6);
    ASSERT_TRUE(writeJpeg(b.src + "IMG_1.jpg", 30, 30, 3));
    std::string other = readBytes(b.src + "IMG_1.jpg");
    b.ui.answer(answer::Cancel);
    b.run("");
    ASSERT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.ui.log()[0].text, overwriteText(b, b.src + "IMG_1.jpg"));
    EXPECT_EQ(readBytes(b.src + "IMG_1.jpg"), other);
    EXPECT_TRUE(isCompleteJpeg(b.src + "IMG_1.JPG"));
    EXPECT_EQ(listNames(b.src).size(), 2u);
}
#endif

TEST_F(Placement, PngThenJpgOfTheSameName) {
    ASSERT_TRUE(b.writePng(b.src + "a.png", 40, 20));
    b.addEntry("a.png");
    b.addJpeg("a.jpg", 8, 8);
    b.ui.answer(answer::Yes);
    b.run("");
    // One question, naming the not yet processed source a.jpg.
    ASSERT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.ui.log()[0].title, "Tarvolin - " + b.text("Info.FileOverwrite.Title"));
    EXPECT_EQ(b.ui.log()[0].text, overwriteText(b, b.src + "a.jpg"));
    EXPECT_EQ(b.ui.log()[0].type, OverwriteType);
    // a.jpg now holds a.png's picture (written twice), a.png is kept.
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.src + "a.jpg", w, h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 20);
    EXPECT_EQ(listNames(b.src), (std::vector<std::string>{"a.jpg", "a.png"}));
    EXPECT_EQ(b.p.ProcessedCount.load(), 2);
}

TEST_F(Placement, OverwriteNoThenANewNameThatAlsoExists) {
    b.addJpeg("s.jpg", 10, 10);
    ASSERT_TRUE(writeJpeg(b.out + "x.jpg", 5, 5, 1));
    ASSERT_TRUE(writeJpeg(b.out + "y.jpg", 6, 6, 2));
    std::string x = readBytes(b.out + "x.jpg"), y = readBytes(b.out + "y.jpg");
    b.ui.answer(answer::No);
    b.ui.answerText(b.out + "y.jpg");
    b.ui.answer(answer::No);
    b.ui.answerText(b.out + "z.jpg");
    b.run(b.out + "x.jpg");
    ASSERT_EQ(b.ui.log().size(), 4u);
    EXPECT_EQ(b.ui.log()[0].text, overwriteText(b, b.out + "x.jpg"));
    EXPECT_EQ(b.ui.log()[1].kind, Request::Input);
    EXPECT_EQ(b.ui.log()[1].title, b.text("Info.FileOverwrite.New.Title"));
    EXPECT_EQ(b.ui.log()[1].text, b.text("Info.FileOverwrite.New.Message") + " :");
    EXPECT_EQ(b.ui.log()[1].defaultText, b.out + "x.jpg");
    EXPECT_EQ(b.ui.log()[2].text, overwriteText(b, b.out + "y.jpg"));
    EXPECT_EQ(b.ui.log()[3].defaultText, b.out + "y.jpg");
    EXPECT_EQ(readBytes(b.out + "x.jpg"), x);
    EXPECT_EQ(readBytes(b.out + "y.jpg"), y);
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "z.jpg", w, h));
    EXPECT_EQ(w, 10);
}

TEST_F(Placement, OverwriteYesReplacesTheOldFileCompletely) {
    b.addJpeg("s.jpg", 10, 4);
    ASSERT_TRUE(writeJpeg(b.out + "x.jpg", 5, 5, 1));
    b.ui.answer(answer::Yes);
    b.run(b.out + "x.jpg");
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "x.jpg", w, h));
    EXPECT_EQ(w, 10);
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"x.jpg"}));
}

TEST_F(Placement, OverwriteCancelEndsTheImageOnly) {
    b.addJpeg("s1.jpg");
    b.addJpeg("s2.jpg");
    ASSERT_TRUE(writeJpeg(b.out + "n001.jpg", 5, 5, 1));
    std::string before = readBytes(b.out + "n001.jpg");
    b.ui.answer(answer::Cancel);
    b.run(b.out + "n#.jpg");
    EXPECT_EQ(readBytes(b.out + "n001.jpg"), before);
    EXPECT_TRUE(isCompleteJpeg(b.out + "n002.jpg"));
    EXPECT_EQ(b.p.ProcessedCount.load(), 2);
}

TEST_F(Placement, OutputNamingAFolderGivesTheSaveQuestionNotOverwrite) {
    b.addJpeg("s.jpg");
    ASSERT_TRUE(makeFolder(b.out + "dir.jpg"));
    b.ui.answer(answer::Cancel);
    b.run(b.out + "dir.jpg");
    ASSERT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.ui.log()[0].title, "Tarvolin");
    EXPECT_EQ(b.ui.log()[0].text, saveFailText(b, b.out + "dir.jpg"));
    EXPECT_EQ(b.ui.log()[0].type, SaveFailType);
    EXPECT_TRUE(listNames(b.out + "dir.jpg").empty());
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"dir.jpg"}));
}

TEST_F(Placement, SaveFailsYesAndAnExistingNameIsReplacedWithoutQuestion) {
    b.addJpeg("s.jpg", 9, 3);
    ASSERT_TRUE(writeJpeg(b.out + "taken.jpg", 4, 4, 1));
    ASSERT_TRUE(makeFolder(b.out + "dir.jpg"));
    b.ui.answer(answer::Yes);
    b.ui.answerText(b.out + "taken.jpg");
    b.run(b.out + "dir.jpg");
    ASSERT_EQ(b.ui.log().size(), 2u);
    EXPECT_EQ(b.ui.log()[1].kind, Request::Input);
    EXPECT_EQ(b.ui.log()[1].defaultText, b.out + "dir.jpg");
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "taken.jpg", w, h));
    EXPECT_EQ(w, 9);
}

TEST_F(Placement, AFailedSaveUnderATypedNameLeavesThatFileWhole) {
    b.addJpeg("s.jpg", 9, 3);
    ASSERT_TRUE(writeJpeg(b.out + "taken.jpg", 4, 4, 1));
    std::string taken = readBytes(b.out + "taken.jpg");
    b.ops.saveImage = [](tv::img::Engine&, tv::img::ImageHandle, const std::string& path, std::uint32_t, int) {
        writeBytes(path, "\xFF\xD8" "cut");
        return 0;
    };
    b.ui.answer(answer::Yes);
    b.ui.answerText(b.out + "taken.jpg");
    b.ui.answer(answer::Cancel);
    b.run(b.out + "o.jpg");
    EXPECT_EQ(readBytes(b.out + "taken.jpg"), taken);
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"taken.jpg"}));
}

TEST_F(Placement, EmptyNewNameMeetsTheSaveQuestionWithAnEmptyPath) {
    b.addJpeg("s.jpg");
    ASSERT_TRUE(writeJpeg(b.out + "x.jpg", 4, 4, 1));
    b.ui.answer(answer::No);
    b.ui.answerText("");
    b.ui.answer(answer::Cancel);
    b.run(b.out + "x.jpg");
    ASSERT_EQ(b.ui.log().size(), 3u);
    EXPECT_EQ(b.ui.log()[2].text, saveFailText(b, ""));
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"x.jpg"}));
}

TEST_F(Placement, SaveFailingThreeTimesThenSucceeding) {
    b.addJpeg("s.jpg", 7, 7);
    std::time_t when = localTime(2011, 5, 2, 12, 30, 15);
    ASSERT_TRUE(setModificationTime(b.src + "s.jpg", when));
    int calls = 0;
    auto real = b.ops.saveImage;
    b.ops.saveImage = [&](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& path, std::uint32_t enc,
                          int opt) {
        ++calls;
        if (calls <= 3) {
            writeBytes(path, "\xFF\xD8partial");  // the disk filled up mid-write
            return 0;
        }
        return real(e, h, path, enc, opt);
    };
    for (int i = 0; i < 3; ++i) b.ui.answer(answer::No);
    b.run(b.out + "o.jpg");
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(b.ui.messages(SaveFailType).size(), 3u);
    EXPECT_TRUE(isCompleteJpeg(b.out + "o.jpg"));
    EXPECT_EQ(modificationTime(b.out + "o.jpg").seconds, when);
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"o.jpg"}));
}

TEST_F(Placement, SaveCancelledKeepsTheOldFileAndTheSource) {
    b.addJpeg("s.jpg", 7, 7);
    ASSERT_TRUE(writeJpeg(b.out + "o.jpg", 3, 3, 9));
    std::string old = readBytes(b.out + "o.jpg"), source = readBytes(b.src + "s.jpg");
    tvtest::FileTime oldTime = modificationTime(b.out + "o.jpg");
    b.p.run.removeSources = true;
    b.ops.saveImage = [](tv::img::Engine&, tv::img::ImageHandle, const std::string& path, std::uint32_t, int) {
        writeBytes(path, "\xFF\xD8half");
        return 0;
    };
    b.ui.answer(answer::Yes);     // overwrite
    b.ui.answer(answer::Cancel);  // save failed
    b.run(b.out + "o.jpg");
    EXPECT_EQ(readBytes(b.out + "o.jpg"), old);
    EXPECT_EQ(modificationTime(b.out + "o.jpg").seconds, oldTime.seconds);
    EXPECT_EQ(readBytes(b.src + "s.jpg"), source);
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"o.jpg"}));
    EXPECT_TRUE(hiddenNames(b.src).empty());
}

TEST_F(Placement, SameFileSaveCancelledKeepsTheSourceByteForByte) {
    b.addJpeg("a.jpg", 7, 7);
    std::string source = readBytes(b.src + "a.jpg");
    b.ops.saveImage = [](tv::img::Engine&, tv::img::ImageHandle, const std::string&, std::uint32_t, int) { return 0; };
    b.ui.answer(answer::Cancel);
    b.run("");
    EXPECT_EQ(readBytes(b.src + "a.jpg"), source);
    EXPECT_EQ(listNames(b.src), (std::vector<std::string>{"a.jpg"}));
}

TEST_F(Placement, SameFileSavedElsewhereAfterRenamePutsTheSourceBack) {
    // The source only made room for an output that went to another name.
    b.addJpeg("a.jpg", 7, 7);
    std::string source = readBytes(b.src + "a.jpg");
    int calls = 0;
    auto real = b.ops.saveImage;
    b.ops.saveImage = [&](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& path, std::uint32_t enc,
                          int opt) { return ++calls == 1 ? 0 : real(e, h, path, enc, opt); };
    b.ui.answer(answer::Yes);
    b.ui.answerText(b.out + "elsewhere.jpg");
    b.run("");
    EXPECT_EQ(readBytes(b.src + "a.jpg"), source);
    EXPECT_TRUE(isCompleteJpeg(b.out + "elsewhere.jpg"));
    EXPECT_TRUE(hiddenNames(b.src).empty());
}

TEST_F(Placement, OverwriteYesWhenTheOldFileIsInUse) {
    b.addJpeg("s1.jpg");
    b.addJpeg("s2.jpg");
    ASSERT_TRUE(writeJpeg(b.out + "n001.jpg", 3, 3, 4));
    std::string old = readBytes(b.out + "n001.jpg");
    std::string locked = b.out + "n001.jpg";
    WriterHolding writer(locked);  // another program still writing it
    b.ui.answer(answer::Yes);  // overwrite
    b.ui.answer(answer::Yes);  // try again to delete
    b.ui.answer(answer::No);   // give up
    b.run(b.out + "n#.jpg");
    auto fails = b.ui.messages(DeleteFailType);
    ASSERT_EQ(fails.size(), 2u);
    EXPECT_EQ(fails[0].title, "Tarvolin");
    EXPECT_EQ(fails[0].text, deleteFailText(b, locked));
    EXPECT_EQ(readBytes(locked), old);
    // The batch goes on with the next number.
    EXPECT_TRUE(isCompleteJpeg(b.out + "n002.jpg"));
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"n001.jpg", "n002.jpg"}));
}

TEST_F(Placement, SameFileSourceInUseAsksAndSkips) {
    b.addJpeg("a.jpg");
    std::string source = readBytes(b.src + "a.jpg");
    WriterHolding writer(b.src + "a.jpg");
    b.ui.answer(answer::No);
    b.run("");
    ASSERT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.ui.log()[0].text, deleteFailText(b, b.src + "a.jpg"));
    EXPECT_EQ(b.ui.log()[0].type, DeleteFailType);
    EXPECT_EQ(readBytes(b.src + "a.jpg"), source);
}

TEST_F(Placement, RemoveSourceAfterASuccessfulSave) {
    b.addJpeg("a.jpg");
    b.addJpeg("b.jpg");
    b.p.run.removeSources = true;
    b.run(b.out);
    EXPECT_TRUE(listNames(b.src).empty());
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(Placement, SourceThatCannotBeRemovedAsksAndStays) {
    b.addJpeg("a.jpg");
    b.addJpeg("b.jpg");
    b.p.run.removeSources = true;
    std::string locked = b.src + "a.jpg";
    auto real = b.ops.deleteFile;
    b.ops.deleteFile = [&](const std::string& path) { return path == locked ? false : real(path); };
    b.ui.answer(answer::Yes);
    b.ui.answer(answer::No);
    b.run(b.out);
    auto asks = b.ui.messages(WarnYesNo);
    ASSERT_EQ(asks.size(), 2u);
    EXPECT_EQ(asks[0].title, "Tarvolin");
    EXPECT_EQ(asks[0].text, b.text("Info.UnableDeleteImage.Text1") + " :\n" + locked + "\n\n" + b.text("Info.TryAgain"));
    EXPECT_EQ(listNames(b.src), (std::vector<std::string>{"a.jpg"}));
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

TEST_F(Placement, DatesAreCopiedToTheSecond) {
    b.addJpeg("a.jpg");
    std::time_t when = localTime(2010, 3, 1, 10, 0, 0);
    ASSERT_TRUE(setModificationTime(b.src + "a.jpg", when, 750'000'000L));
    b.run(b.out);
    tvtest::FileTime t = modificationTime(b.out + "a.jpg");
    EXPECT_EQ(t.seconds, when);
    EXPECT_EQ(t.nanoseconds, 0);
}

TEST_F(Placement, DatesOutside1970To2038AndAtItsStartAreCopiedExactly) {
    // 1970-01-01 00:00:00 on the local clock is a date like any other.
    const std::pair<const char*, std::time_t> dates[] = {{"old.jpg", localTime(1960, 6, 15, 8, 0, 0)},
                                                         {"epoch.jpg", localTime(1970, 1, 1, 0, 0, 0)},
                                                         {"new.jpg", localTime(2050, 1, 2, 3, 4, 5)}};
    for (const auto& [name, when] : dates) {
        b.addJpeg(name);
        ASSERT_TRUE(setModificationTime(b.src + name, when));
    }
    b.run(b.out);
    for (const auto& [name, when] : dates) EXPECT_EQ(modificationTime(b.out + name).seconds, when) << name;
}

TEST_F(Placement, WholeDatePathThroughCopyFileDates) {
    ASSERT_TRUE(writeJpeg(b.out + "f.jpg", 2, 2));
    std::time_t when = localTime(2011, 5, 2, 12, 30, 15);
    ASSERT_TRUE(setModificationTime(b.out + "f.jpg", when));
    tv::SourceDates wanted;
    wanted.creation = wanted.modification =
        tv::platform::readFileDate(b.out + "f.jpg", tv::platform::DateKind::Modification);
    ASSERT_TRUE(wanted.modification.has_value());
    ASSERT_TRUE(setModificationTime(b.out + "f.jpg", when - 5000));
    tv::CopyFileDates(b.out + "f.jpg", wanted);
    EXPECT_EQ(modificationTime(b.out + "f.jpg").seconds, when);
    // An unreadable date leaves the output's own time.
    tv::CopyFileDates(b.out + "f.jpg", tv::SourceDates{});
    EXPECT_EQ(modificationTime(b.out + "f.jpg").seconds, when);
}

TEST_F(Placement, ResizeFailureMessagesFirstAndLater) {
    b.addJpeg("one.jpg", 2, 2);
    b.addJpeg("two.jpg", 2, 2);
    b.p.ScaleRatio = 0.2f;  // asks for 0 x 0
    b.ui.answer(answer::No);
    b.ui.answer(answer::Ok);
    b.run(b.out);
    ASSERT_EQ(b.ui.log().size(), 2u);
    std::string caption = "Tarvolin - " + b.text("Error");
    EXPECT_EQ(b.ui.log()[0].title, caption);
    EXPECT_EQ(b.ui.log()[0].text, tv::replaceAll(b.text("Info.UnableRedimImage") + "\r\n" +
                                                   b.text("Info.DisableImageRedim"),
                                               "%", "one.jpg"));
    EXPECT_EQ(b.ui.log()[0].type, mb::YesNo | mb::IconWarning);
    EXPECT_EQ(b.ui.log()[1].text, tv::replaceAll(b.text("Info.UnableRedimImage"), "%", "two.jpg"));
    EXPECT_EQ(b.ui.log()[1].type, mb::Ok | mb::IconWarning);
    EXPECT_EQ(b.p.ResizeFailureCount, 2);
    EXPECT_EQ(b.p.ScaleRatio.load(), 0.2f);
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "two.jpg", w, h));
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
}

TEST_F(Placement, ResizeFailureYesStopsResizing) {
    b.addJpeg("one.jpg", 2, 2);
    b.addJpeg("two.jpg", 40, 40);
    b.p.ScaleRatio = 0.2f;
    b.ui.answer(answer::Yes);
    b.run(b.out);
    EXPECT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.p.ScaleRatio.load(), 1.0f);
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "two.jpg", w, h));
    EXPECT_EQ(w, 40);
}

TEST_F(Placement, ResizeHalvesWithEvenRounding) {
    {
        tv::img::Image* im = tv::img::detail::create_image(b.p.engine, 4, 4, 24);
        ASSERT_NE(im, nullptr);
        tv::img::ImageHandle h = tv::img::detail::add_to_table(b.p.engine, im);
        int ok = tv::img::image_resize(b.p.engine, h, 2, 2);
        tv::img::image_free(b.p.engine, h);
        if (!ok) GTEST_SKIP() << "the engine cannot resize yet";
    }
    b.addJpeg("a.jpg", 1025, 3);
    b.p.ScaleRatio = 0.5f;
    b.run(b.out);
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "a.jpg", w, h));
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 2);  // 1.5 -> 2
}

TEST_F(Placement, VanishedSourceAsksAgainThenSkips) {
    b.addEntry("gone.jpg");
    b.addJpeg("b.jpg");
    b.ui.answer(answer::Yes);
    b.ui.answer(answer::No);
    b.run(b.out + "n#.jpg");
    ASSERT_EQ(b.ui.log().size(), 2u);
    EXPECT_EQ(b.ui.log()[0].title, "Tarvolin");
    EXPECT_EQ(b.ui.log()[0].text, tv::replaceAll(b.text("Info.LoadImageFailed.Text2"), "%", "gone.jpg") + "\n" +
                                    b.text("Info.TryAgain"));
    EXPECT_EQ(b.ui.log()[0].text, "Fail to load gone.jpg.\nTry again ?");
    EXPECT_EQ(b.ui.log()[0].type, WarnYesNo);
    // The skipped image used number 1.
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"n002.jpg"}));
    EXPECT_EQ(b.p.ProcessedCount.load(), 2);
}

TEST_F(Placement, LoadSucceedingOnTheFourthAttemptAsksNothing) {
    b.addJpeg("a.jpg");
    int loads = 0;
    auto real = b.ops.loadImage;
    b.ops.loadImage = [&](tv::img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
        return ++loads <= 3 ? tv::img::NoImage : real(e, path, s);
    };
    b.run(b.out);
    EXPECT_EQ(loads, 4);
    EXPECT_TRUE(b.ui.log().empty());
    EXPECT_TRUE(isCompleteJpeg(b.out + "a.jpg"));
}

TEST_F(Placement, FiveLoadsBeforeEachQuestion) {
    b.addEntry("gone.jpg");
    int loads = 0;
    auto real = b.ops.loadImage;
    b.ops.loadImage = [&](tv::img::Engine& e, const std::string& path, tv::platform::FileStamp& s) {
        ++loads;
        return real(e, path, s);
    };
    b.ui.answer(answer::Yes, [&] { EXPECT_EQ(loads, 5); });
    b.ui.answer(answer::No, [&] { EXPECT_EQ(loads, 10); });
    b.run(b.out);
    EXPECT_EQ(loads, 10);
    EXPECT_TRUE(listNames(b.out).empty());
}

TEST_F(Placement, FormatFollowsTheExtensionExactly) {
    struct Case {
        const char* ext;
        std::uint32_t encoder;
        int options;
    };
    for (Case c : {Case{"JPG", tv::img::JpegEncoderId, 3}, Case{"jpg", tv::img::JpegEncoderId, 3},
                   Case{"PNG", tv::img::PngEncoderId, 7}, Case{"png", tv::img::PngEncoderId, 7},
                   Case{"BMP", tv::img::BmpEncoderId, 7}, Case{"bmp", tv::img::BmpEncoderId, 7}}) {
        Bench bb;
        bb.addJpeg("a.jpg");
        bb.p.run.outputExtension = c.ext;
        bb.p.run.compressionLevel = 3;
        std::vector<std::pair<std::uint32_t, int>> calls;
        auto real = bb.ops.saveImage;
        bb.ops.saveImage = [&](tv::img::Engine& e, tv::img::ImageHandle h, const std::string& path, std::uint32_t enc,
                               int opt) {
            calls.push_back({enc, opt});
            return real(e, h, path, enc, opt);
        };
        bb.run(bb.out);
        ASSERT_EQ(calls.size(), 1u) << c.ext;
        EXPECT_EQ(calls[0].first, c.encoder) << c.ext;
        EXPECT_EQ(calls[0].second, c.options) << c.ext;
        std::string written = readBytes(bb.out + "a." + c.ext);
        ASSERT_GE(written.size(), 4u) << c.ext;
        std::string magic = c.encoder == tv::img::JpegEncoderId ? written.substr(0, 2)
                            : c.encoder == tv::img::PngEncoderId ? written.substr(1, 3)
                                                                 : written.substr(0, 2);
        EXPECT_EQ(magic, c.encoder == tv::img::JpegEncoderId ? "\xFF\xD8"
                         : c.encoder == tv::img::PngEncoderId ? "PNG"
                                                              : "BM")
            << c.ext;
    }
}

TEST_F(Placement, AnExtensionOfNoKnownFormatIsASaveFailure) {
    b.addJpeg("a.jpg");
    b.p.run.outputExtension = "Jpg";
    b.ui.answer(answer::Cancel);
    b.run(b.out);
    ASSERT_EQ(b.ui.log().size(), 1u);
    EXPECT_EQ(b.ui.log()[0].text, saveFailText(b, b.out + "a.Jpg"));
    EXPECT_TRUE(listNames(b.out).empty());
}

// A name no code page holds: the engine loads it, the output is saved under
// it and given its dates, over itself and into another folder.
TEST_F(Placement, NameOutsideAnyCodePageGoesThroughTheWholeBatch) {
    const std::string name = "\xC3\xA9t\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8C\x9E.jpg";  // "été 東京 🌞.jpg"
    const std::time_t when = localTime(2012, 7, 14, 9, 45, 30);
    for (bool sameFile : {true, false}) {
        Bench bb;
        ASSERT_TRUE(bb.textsLoaded);
        bb.addJpeg(name, 40, 20, 4);
        ASSERT_TRUE(setModificationTime(bb.src + name, when));
        bb.p.ScaleRatio = 0.5f;
        bb.run(sameFile ? std::string() : bb.out);
        const std::string written = (sameFile ? bb.src : bb.out) + name;
        EXPECT_TRUE(bb.ui.log().empty()) << sameFile;
        EXPECT_EQ(listNames(sameFile ? bb.src : bb.out), std::vector<std::string>{name}) << sameFile;
        int w = 0, h = 0;
        ASSERT_TRUE(jpegSize(written, w, h)) << sameFile;
        EXPECT_EQ(w, 20) << sameFile;
        EXPECT_EQ(h, 10) << sameFile;
        EXPECT_EQ(modificationTime(written).seconds, when) << sameFile;
    }
}

#ifdef _WIN32
// Windows keeps a creation time that programs may set: the output takes the
// source's, and its modification time, whether it is new, replaces an older
// output or replaces the source itself.
TEST_F(Placement, CreationAndModificationTimesAreTheSources) {
    enum Output { New, OverOlder, OverItself };
    struct Case {
        const char* name;
        Output output;
    };
    const std::time_t created = localTime(2009, 2, 3, 4, 5, 6), modified = localTime(2010, 11, 12, 13, 14, 15);
    for (Case c : {Case{"new output", New}, Case{"over an older output", OverOlder}, Case{"over itself", OverItself}}) {
        Bench bb;
        ASSERT_TRUE(bb.textsLoaded);
        bb.addJpeg("a.jpg", 20, 10);
        const std::string output = (c.output == OverItself ? bb.src : bb.out) + "a.jpg";
        if (c.output == OverOlder) {
            ASSERT_TRUE(writeJpeg(output, 4, 4, 9));
        }
        ASSERT_TRUE(tvtest::setCreationTime(bb.src + "a.jpg", created));
        ASSERT_TRUE(setModificationTime(bb.src + "a.jpg", modified));
        if (tvtest::creationTime(bb.src + "a.jpg") != tvtest::FileTime{created, 0})
            GTEST_SKIP() << "this file system does not keep the creation times given to it";
        bb.ui.policy = [](const Request&) { return tv::answer::Yes; };  // overwrite
        bb.run(c.output == OverItself ? std::string() : bb.out);
        int w = 0, h = 0;
        ASSERT_TRUE(jpegSize(output, w, h)) << c.name;
        EXPECT_EQ(w, 20) << c.name;
        EXPECT_EQ(tvtest::creationTime(output), (tvtest::FileTime{created, 0})) << c.name;
        EXPECT_EQ(modificationTime(output), (tvtest::FileTime{modified, 0})) << c.name;
    }
}
#endif

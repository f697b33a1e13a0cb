// Numbering, output names and the batch walk.
#include <climits>

#include "batch_support.h"

using namespace batchtest;

TEST(NumberWidth, DigitsOfTheLastNumberAtLeastThree) {
    EXPECT_EQ(tv::NumberWidth(1, 5), 3);
    EXPECT_EQ(tv::NumberWidth(1, 1500), 4);
    EXPECT_EQ(tv::NumberWidth(998, 5), 4);   // last number 1002
    EXPECT_EQ(tv::NumberWidth(998, 2), 3);   // last number 999
    EXPECT_EQ(tv::NumberWidth(9999, 3), 5);  // last number 10001
    EXPECT_EQ(tv::NumberWidth(1, 0), 3);
    EXPECT_EQ(tv::NumberWidth(1, 1000), 4);  // last number 1000
    EXPECT_EQ(tv::NumberWidth(1, 999), 3);
}

TEST(NumberWidth, LargeValuesDoNotOverflow) {
    EXPECT_EQ(tv::NumberWidth(3'000'000'000LL, 1), 10);
    EXPECT_EQ(tv::NumberWidth(INT64_MAX, 1), 19);
    EXPECT_EQ(tv::NumberWidth(INT64_MAX, 5), 19);
}

TEST(ExpandFileNameMask, PadsAndReplacesOnlyInTheNamePart) {
    EXPECT_EQ(tv::ExpandFileNameMask("Holiday #.jpg", 7, 3), "Holiday 007.jpg");
    EXPECT_EQ(tv::ExpandFileNameMask(native("/out/Holiday #.jpg"), 12, 3), native("/out/Holiday 012.jpg"));
    EXPECT_EQ(tv::ExpandFileNameMask(native("/Trip #1/Holiday #.jpg"), 5, 3), native("/Trip #1/Holiday 005.jpg"));
    EXPECT_EQ(tv::ExpandFileNameMask("pic#.png", 1234, 4), "pic1234.png");
    EXPECT_EQ(tv::ExpandFileNameMask("pic#.png", 12345, 3), "pic12345.png");
    EXPECT_EQ(tv::ExpandFileNameMask("a#b#.jpg", 2, 3), "a002b002.jpg");
    EXPECT_EQ(tv::ExpandFileNameMask(native("/x#/"), 2, 3), native("/x#/"));
    EXPECT_EQ(tv::ExpandFileNameMask("n#", 10001, 5), "n10001");
}

TEST(StartNumber, TextValueBelowOneCountsAsOne) {
    EXPECT_EQ(tv::StartNumberFromText("1"), 1);
    EXPECT_EQ(tv::StartNumberFromText("998"), 998);
    EXPECT_EQ(tv::StartNumberFromText(""), 1);
    EXPECT_EQ(tv::StartNumberFromText("0"), 1);
    EXPECT_EQ(tv::StartNumberFromText("-5"), 1);
    EXPECT_EQ(tv::StartNumberFromText("abc"), 1);
    EXPECT_EQ(tv::StartNumberFromText("12abc"), 12);
    EXPECT_EQ(tv::StartNumberFromText(" 42"), 42);
    // Far too many digits: held at a large value, never wrapped to negative.
    std::int64_t huge = tv::StartNumberFromText("99999999999999999999999999999");
    EXPECT_GT(huge, 1'000'000'000'000LL);
    EXPECT_GE(tv::NumberWidth(huge, 100000), 18);
}

TEST(OutputPath, FourFormsOfTheTarget) {
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), "IMG_0001.jpeg", "", "jpg", 1, 3), native("/pics/IMG_0001.jpg"));
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), "photo.PNG", "", "JPG", 1, 3), native("/pics/photo.JPG"));
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), "a.b.png", native("/out/"), "jpg", 1, 3), native("/out/a.b.jpg"));
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), "x.jpg", native("/out/Trip #.png"), "png", 4, 3),
              native("/out/Trip 004.png"));
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), "x.jpg", "Trip #.png", "png", 3, 3), native("/pics/Trip 003.png"));
    // A name without a dot still gets one before the extension.
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), "noext", "", "jpg", 1, 3), native("/pics/noext.jpg"));
    EXPECT_EQ(tv::OutputPathFor(native("/pics/"), ".jpg", "", "png", 1, 3), native("/pics/.png"));
}

TEST(ScaledSize, RoundsHalvesToEven) {
    EXPECT_EQ(tv::ScaledSize(0.5f, 1023), 512);
    EXPECT_EQ(tv::ScaledSize(0.5f, 1025), 512);
    EXPECT_EQ(tv::ScaledSize(0.5f, 1027), 514);
    EXPECT_EQ(tv::ScaledSize(0.2f, 2), 0);
    EXPECT_EQ(tv::ScaledSize(1.5f, 3), 4);  // 4.5 -> 4
    EXPECT_EQ(tv::ScaledSize(-1.0f, 10), 0);
    EXPECT_EQ(tv::ScaledSize(1e30f, 100), INT_MAX);
}

class BatchNumbering : public ::testing::Test {
protected:
    Bench b;
};

// "s<i>.jpg", built by appending: GCC 12 at -O3 warns falsely (-Wrestrict)
// about "s" + std::string.
static std::string sourceName(int i) {
    std::string name = "s";
    name += std::to_string(i);
    name += ".jpg";
    return name;
}

TEST_F(BatchNumbering, FiveEntriesGetThreeDigitNumbersInOrder) {
    ASSERT_TRUE(b.textsLoaded);
    for (int i = 0; i < 5; ++i) b.addJpeg(sourceName(i), 10 + i, 6, i);
    b.run(b.out + "pic #.jpg");
    EXPECT_EQ(b.p.ProcessedCount.load(), 5);
    for (int i = 0; i < 5; ++i) {
        int w = 0, h = 0;
        std::string path = b.out + "pic 00" + std::to_string(i + 1) + ".jpg";
        ASSERT_TRUE(jpegSize(path, w, h)) << path;
        EXPECT_EQ(w, 10 + i) << "output " << i + 1 << " comes from source " << i;
    }
    EXPECT_EQ(listNames(b.out).size(), 5u);
    EXPECT_TRUE(b.ui.log().empty());
}

TEST_F(BatchNumbering, LargePicturesShareTheirPagesAndKeepTheirOrder) {
    // Large enough for page memory; sizes go down, up and down again so
    // that the kept pages are reused, outgrown and reused.
    const int widths[] = {900, 640, 1200, 700, 1200};
    ASSERT_NE(b.p.engine.pages.map, nullptr);
    for (int i = 0; i < 5; ++i) b.addJpeg(sourceName(i), widths[i], 500, i);
    b.run(b.out + "big #.jpg");
    EXPECT_EQ(b.p.ProcessedCount.load(), 5);
    for (int i = 0; i < 5; ++i) {
        int w = 0, h = 0;
        std::string path = b.out + "big 00" + std::to_string(i + 1) + ".jpg";
        ASSERT_TRUE(jpegSize(path, w, h)) << path;
        EXPECT_EQ(w, widths[i]) << path;
        EXPECT_EQ(h, 500) << path;
        EXPECT_TRUE(isCompleteJpeg(path)) << path;
    }
}

TEST_F(BatchNumbering, StartNumbersThatWidenTheNumbers) {
    for (int i = 0; i < 5; ++i) b.addJpeg(sourceName(i));
    b.p.run.startNumber = tv::StartNumberFromText("998");
    b.run(b.out + "n#.jpg");
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"n0998.jpg", "n0999.jpg", "n1000.jpg", "n1001.jpg",
                                                           "n1002.jpg"}));
}

TEST_F(BatchNumbering, StartAt9999GivesFiveDigits) {
    for (int i = 0; i < 3; ++i) b.addJpeg(sourceName(i));
    b.p.run.startNumber = tv::StartNumberFromText("9999");
    b.run(b.out + "n#.jpg");
    EXPECT_EQ(listNames(b.out), (std::vector<std::string>{"n09999.jpg", "n10000.jpg", "n10001.jpg"}));
}

TEST_F(BatchNumbering, OnlyTickedRowsTakeNumbersWidthFromAllEntries) {
    for (int i = 0; i < 10; ++i) {
        b.addJpeg(sourceName(i), 20 + i, 4, i, i == 1 || i == 6);
    }
    b.run(b.out + "n#.jpg");
    EXPECT_EQ(b.p.ProcessedCount.load(), 2);
    ASSERT_EQ(listNames(b.out), (std::vector<std::string>{"n001.jpg", "n002.jpg"}));
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(b.out + "n001.jpg", w, h));
    EXPECT_EQ(w, 21);
    ASSERT_TRUE(jpegSize(b.out + "n002.jpg", w, h));
    EXPECT_EQ(w, 26);
}

TEST_F(BatchNumbering, EmptyZeroOrNegativeStartBeginsAtOne) {
    for (const char* t : {"", "0", "-3", "x"}) {
        Bench bb;
        bb.addJpeg("a.jpg");
        bb.p.run.startNumber = tv::StartNumberFromText(t);
        bb.run(bb.out + "n#.jpg");
        EXPECT_EQ(listNames(bb.out), (std::vector<std::string>{"n001.jpg"})) << "start text '" << t << "'";
    }
}

TEST_F(BatchNumbering, FolderOnlyTargetKeepsNamesAndCreatesTheFolder) {
    b.addJpeg("IMG_1.jpeg");
    b.addJpeg("b.JPG");
    std::string deep = b.root + native("made/here/");
    b.run(deep);
    EXPECT_EQ(listNames(deep), (std::vector<std::string>{"IMG_1.jpg", "b.jpg"}));
    // Sources stay when removal is off.
    EXPECT_EQ(listNames(b.src), (std::vector<std::string>{"IMG_1.jpeg", "b.JPG"}));
}

TEST_F(BatchNumbering, BareNameTargetGoesToTheSourceFolder) {
    b.addJpeg("x.jpg");
    b.p.run.startNumber = tv::StartNumberFromText("3");
    b.run("Trip #.jpg");
    EXPECT_TRUE(isCompleteJpeg(b.src + "Trip 003.jpg"));
}

TEST_F(BatchNumbering, EndOfBatchOpensTheFolderAndSavesOptions) {
    b.addJpeg("a.jpg");
    b.p.run.destinationFolder = b.out;
    b.openFolderBox = true;
    b.run(b.out);
    EXPECT_EQ(b.opened, (std::vector<std::string>{b.out}));
    EXPECT_EQ(readBytes(b.work + "data.tvl").size(), 6u);
}

TEST_F(BatchNumbering, NoTickedRowFinishesAtOnce) {
    b.addJpeg("a.jpg", 16, 8, 0, false);
    b.openFolderBox = false;
    b.run(b.out);
    EXPECT_EQ(b.p.ProcessedCount.load(), 0);
    EXPECT_TRUE(listNames(b.out).empty());
    EXPECT_TRUE(b.opened.empty());
    EXPECT_EQ(readBytes(b.work + "data.tvl").size(), 6u);
}

TEST_F(BatchNumbering, StoppedBeforeTheStartDoesNothingButFinishes) {
    b.addJpeg("a.jpg");
    b.openFolderBox = true;
    tv::stopWorker(b.p);
    b.run(b.out);
    EXPECT_TRUE(listNames(b.out).empty());
    EXPECT_TRUE(b.opened.empty());
    EXPECT_FALSE(exists(b.work + "data.tvl"));
}

#include "options/catalogue.h"
#include "windows/settings.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "options_fixture.h"
#include "platform/files.h"

namespace {

namespace fs = std::filesystem;
using tvtest::OptionsTest;
using tvtest::Sep;

class CatalogueTest : public OptionsTest {
protected:
    fs::path folder;

    void SetUp() override {
        OptionsTest::SetUp();
        folder = scratch / "Photos";
        fs::create_directory(folder);
        // The shell's table: slots 1..4.
        p.extensions[1] = "bmp";
        p.extensions[2] = "jpg";
        p.extensions[3] = "jpeg";
        p.extensions[4] = "png";
        p.extensionCount = 4;
        buildWindows();
    }

    // Just the gadgets the catalogue reads and fills.
    void buildWindows() {
        using namespace tv;
        ASSERT_TRUE(ui.openWindow(id::WndMain, 0, 0, 340, 200, "main", wflag::TitleBar));
        ASSERT_TRUE(ui.stringGadget(id::StringPath, {10, 25, 230, 22}, ""));
        ASSERT_TRUE(ui.comboGadget(id::ComboFormat, {75, 82, 60, 20}));
        for (const char* f : {"JPG", "PNG", "BMP"}) ui.addItem(id::ComboFormat, -1, f);
        ui.setState(id::ComboFormat, 0);
        ASSERT_TRUE(ui.comboGadget(id::ComboCompression, {260, 82, 60, 20}));
        for (int i = 0; i <= 10; ++i) ui.addItem(id::ComboCompression, -1, std::to_string(i));
        ui.setState(id::ComboCompression, 5);
        ASSERT_TRUE(ui.openWindow(id::WndList, 0, 0, 460, 340, "list", wflag::TitleBar | wflag::Invisible));
        ASSERT_TRUE(ui.listGadget(id::ListImgList, {10, 10, 440, 270}, "Images", 355, 0));
        ui.addColumn(id::ListImgList, 1, "Size", 80);
        ASSERT_TRUE(ui.textGadget(id::TextContainsVideo, {80, 285, 300, 14}, "video", Align::Center));
        ui.hideGadget(id::TextContainsVideo, true);
        ASSERT_TRUE(ui.openWindow(id::WndCompress, 0, 0, 280, 220, "compress", wflag::TitleBar | wflag::Invisible));
        ASSERT_TRUE(ui.checkBoxGadget(id::CheckboxExtensionCase, {10, 160, 145, 20}, "lower"));
        ui.setState(id::CheckboxExtensionCase, 1);
    }

    // name in UTF-8, as the program sees it.
    void makeFile(const std::string& name, std::size_t bytes) { writeFile(folder / fs::u8path(name), bytes); }

    std::vector<std::string> catalogueNames() {
        std::vector<std::string> out;
        for (const auto& e : p.catalogue) out.push_back(e.name);
        return out;
    }
};

// ---- formatSize ----

TEST_F(CatalogueTest, FormatSizeUnitsAndRounding) {
    loadTexts(tv::LangEnglish);
    EXPECT_EQ(tv::formatSize(p, 0), "0 byte");
    EXPECT_EQ(tv::formatSize(p, -1), "0 byte");
    EXPECT_EQ(tv::formatSize(p, -2), "0 byte");
    EXPECT_EQ(tv::formatSize(p, 1), "1.0 o");
    EXPECT_EQ(tv::formatSize(p, 1023), "1023.0 o");
    EXPECT_EQ(tv::formatSize(p, 1024), "1024.0 o");
    EXPECT_EQ(tv::formatSize(p, 1025), "1.0 Ko");
    EXPECT_EQ(tv::formatSize(p, 1536), "1.5 Ko");
    EXPECT_EQ(tv::formatSize(p, 1048576), "1024.0 Ko");
    EXPECT_EQ(tv::formatSize(p, 1048577), "1.0 Mo");
    EXPECT_EQ(tv::formatSize(p, 3000000), "2.9 Mo");
    EXPECT_EQ(tv::formatSize(p, 1073741824), "1024.0 Mo");
}

TEST_F(CatalogueTest, FormatSizeOfFilesFromTwoGibibytesUp) {
    loadTexts(tv::LangEnglish);
    // Cut to 32 bits these would be 0, negative or tiny.
    EXPECT_EQ(tv::formatSize(p, 2147483648LL), "2.0 Go");
    EXPECT_EQ(tv::formatSize(p, 3221225472LL), "3.0 Go");
    EXPECT_EQ(tv::formatSize(p, 4294967296LL + 1536), "4.0 Go");
    // Past the last unit the number simply grows.
    EXPECT_EQ(tv::formatSize(p, 2199023255552LL), "2048.0 Go");
}

TEST_F(CatalogueTest, FormatSizeZeroTextInFrench) {
    loadTexts(tv::LangFrench);
    EXPECT_EQ(tv::formatSize(p, 0), "0 octet");
    EXPECT_EQ(tv::formatSize(p, 1536), "1.5 Ko");
}

TEST(CatalogueExtension, AfterTheLastDotLowerCased) {
    EXPECT_EQ(tv::fileExtension("a.JPG"), "jpg");
    EXPECT_EQ(tv::fileExtension("archive.tar.PnG"), "png");
    EXPECT_EQ(tv::fileExtension("photo.jpg.txt"), "txt");
    EXPECT_EQ(tv::fileExtension(".jpg"), "jpg");
    EXPECT_EQ(tv::fileExtension("noext"), "");
    EXPECT_EQ(tv::fileExtension("trailing."), "");
    EXPECT_EQ(tv::fileExtension("dir.png/file"), "");
    EXPECT_EQ(tv::fileExtension("dir.png\\file"), "");
    EXPECT_EQ(tv::fileExtension("caf\xc3\x89.\xc3\x89JPG"), "\xc3\x89jpg");  // only ASCII lower-cased
}

// ---- buildCatalogue ----

TEST_F(CatalogueTest, ListsImagesInListingOrderWithVideoWarning) {
    loadTexts(tv::LangEnglish);
    makeFile("a.JPG", 1536);
    makeFile("b.jpeg", 1);
    makeFile("c.Png", 3000000);
    makeFile("d.gif", 10);
    makeFile("e.MOV", 10);
    makeFile("photo.jpg.txt", 10);
    makeFile("archive.tar.png", 1025);
    makeFile(".jpg", 1024);
    makeFile("noext", 10);
    fs::create_directory(folder / "old.png");
    ui.setText(tv::id::StringPath, "  " + folder.string() + "  ");
    ui.setState(tv::id::ComboFormat, 1);
    ui.setState(tv::id::ComboCompression, 7);

    tv::buildCatalogue(p);

    EXPECT_FALSE(p.ended);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(p.run.sourceFolder, folder.string() + Sep);
    EXPECT_EQ(p.run.outputExtension, "png");
    EXPECT_EQ(p.run.compressionLevel, 7);
    EXPECT_FALSE(ui.isWindowVisible(tv::id::WndMain));
    EXPECT_TRUE(ui.isWindowVisible(tv::id::WndList));
    EXPECT_EQ(ui.activeWindow(), tv::id::WndList);
    EXPECT_FALSE(ui.isGadgetHidden(tv::id::TextContainsVideo));

    const std::vector<std::string> expected = {".jpg", "a.JPG", "archive.tar.png", "b.jpeg", "c.Png", "old.png"};
    EXPECT_EQ(catalogueNames(), expected);

    const std::map<std::string, std::string> sizes = {
        {"a.JPG", "1.5 Ko"},         {"b.jpeg", "1.0 o"}, {"c.Png", "2.9 Mo"},
        {"archive.tar.png", "1.0 Ko"}, {".jpg", "1024.0 o"}, {"old.png", "0 byte"},
    };
    ASSERT_EQ(ui.countItems(tv::id::ListImgList), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ui.getItemText(tv::id::ListImgList, i, 0), expected[i]);
        EXPECT_EQ(ui.getItemText(tv::id::ListImgList, i, 1), sizes.at(expected[i])) << expected[i];
        EXPECT_EQ(ui.getItemState(tv::id::ListImgList, i), tv::row::Ticked) << expected[i];
    }
}

TEST_F(CatalogueTest, NameOrderWhateverOrderTheFolderListsThem) {
    loadTexts(tv::LangEnglish);
    // Made in an order that neither it nor its reverse is name order, so a
    // hash-ordered or a creation-ordered listing both differ from it.
    std::vector<std::string> made = {"IMG_2.jpg", "b.jpg", "IMG_10.jpg", "Z.png", "a_b.jpg", "aab.JPG",
                                     "A.jpg",     "a.jpg", "img_3.jpg",  "[1].bmp", "\xc3\xa9t\xc3\xa9.jpg", "~.jpg"};
    // Letters fold to upper case, so "_" comes after them and "[" after "Z";
    // digits compare one by one; bytes past ASCII come last.
    std::vector<std::string> expected = {"A.jpg",     "a.jpg", "aab.JPG", "a_b.jpg", "b.jpg", "IMG_10.jpg",
                                         "IMG_2.jpg", "img_3.jpg", "Z.png", "[1].bmp", "~.jpg", "\xc3\xa9t\xc3\xa9.jpg"};
#ifdef _WIN32
    // Names that differ only in case are one file there.
    std::erase(made, "a.jpg");
    std::erase(expected, "a.jpg");
#endif
    for (const std::string& n : made) makeFile(n, 10);
    ui.setText(tv::id::StringPath, folder.string());
    tv::buildCatalogue(p);
    EXPECT_EQ(catalogueNames(), expected);
    ASSERT_EQ(ui.countItems(tv::id::ListImgList), static_cast<int>(expected.size()));
    for (int i = 0; i < ui.countItems(tv::id::ListImgList); ++i)
        EXPECT_EQ(ui.getItemText(tv::id::ListImgList, i, 0), expected[i]);
}

TEST_F(CatalogueTest, NoVideoLeavesTheWarningHidden) {
    loadTexts(tv::LangEnglish);
    makeFile("only.bmp", 54);
    makeFile("movie.avi.txt", 5);
    ui.setText(tv::id::StringPath, folder.string() + Sep);
    tv::buildCatalogue(p);
    EXPECT_FALSE(p.ended);
    EXPECT_TRUE(ui.isGadgetHidden(tv::id::TextContainsVideo));
    EXPECT_EQ(catalogueNames(), std::vector<std::string>{"only.bmp"});
    EXPECT_EQ(ui.getItemText(tv::id::ListImgList, 0, 1), "54.0 o");
}

TEST_F(CatalogueTest, ExtensionKeepsItsCaseWhenTheBoxIsClear) {
    loadTexts(tv::LangEnglish);
    makeFile("x.png", 5);
    ui.setText(tv::id::StringPath, folder.string());
    ui.setState(tv::id::ComboFormat, 2);
    ui.setState(tv::id::ComboCompression, 10);
    ui.setState(tv::id::CheckboxExtensionCase, 0);
    tv::buildCatalogue(p);
    EXPECT_EQ(p.run.outputExtension, "BMP");
    EXPECT_EQ(p.run.compressionLevel, 10);
}

TEST_F(CatalogueTest, FolderTextWithOrWithoutSeparatorGivesTheSameSource) {
    loadTexts(tv::LangEnglish);
    makeFile("x.jpg", 5);
    ui.setText(tv::id::StringPath, " " + folder.string() + Sep + " ");
    tv::buildCatalogue(p);
    EXPECT_EQ(p.run.sourceFolder, folder.string() + Sep);
    EXPECT_EQ(catalogueNames(), std::vector<std::string>{"x.jpg"});
}

TEST_F(CatalogueTest, OnlyVideosWarnsThenEndsWithTheEmptyFolderMessage) {
    loadTexts(tv::LangEnglish);
    makeFile("a.avi", 5);
    makeFile("b.MPEG", 5);
    makeFile("c.mpg", 5);
    ui.setText(tv::id::StringPath, folder.string());
    tv::buildCatalogue(p);
    EXPECT_FALSE(ui.isGadgetHidden(tv::id::TextContainsVideo));
    EXPECT_TRUE(p.catalogue.empty());
    EXPECT_EQ(ui.countItems(tv::id::ListImgList), 0);
    const auto log = boxes();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].title, "Tarvolin");
    EXPECT_EQ(log[0].type, tv::mb::Ok | tv::mb::IconNone);
    EXPECT_EQ(log[0].text, "None image found in this folder.\r\n  Program will shut down.");
    EXPECT_FALSE(log[0].afterShutdown);  // shown before the end, not swallowed by it
    EXPECT_TRUE(p.ended);
}

TEST_F(CatalogueTest, MissingFolderEndsWithTheEmptyFolderMessage) {
    loadTexts(tv::LangEnglish);
    ui.setText(tv::id::StringPath, (folder / "nothere").string());
    tv::buildCatalogue(p);
    EXPECT_TRUE(p.ended);
    EXPECT_TRUE(ui.isGadgetHidden(tv::id::TextContainsVideo));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "None image found in this folder.\r\n  Program will shut down.");
}

TEST_F(CatalogueTest, EmptyFolderFieldNamesNoFolder) {
    loadTexts(tv::LangEnglish);
    ui.setText(tv::id::StringPath, "   ");
    tv::buildCatalogue(p);
    EXPECT_TRUE(p.catalogue.empty());
    EXPECT_TRUE(p.ended);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title, "Tarvolin");
}

TEST_F(CatalogueTest, FileOfThreeGibibytesShowsItsTrueSize) {
    loadTexts(tv::LangEnglish);
    const fs::path big = folder / "huge.jpg";
    writeFile(big, 0);
    std::error_code ec;
    fs::resize_file(big, 3221225472ULL, ec);  // sparse where it can be: no disk space used
    if (ec) GTEST_SKIP() << "the file system refuses a 3 GiB file: " << ec.message();
    ui.setText(tv::id::StringPath, folder.string());
    tv::buildCatalogue(p);
    ASSERT_EQ(ui.countItems(tv::id::ListImgList), 1);
    EXPECT_EQ(ui.getItemText(tv::id::ListImgList, 0, 1), "3.0 Go");
}

#ifndef _WIN32
// Windows file names cannot hold control characters.
TEST_F(CatalogueTest, NameWithLineFeedStaysInItsColumn) {
    loadTexts(tv::LangEnglish);
    const std::string odd = "two\nlines.jpg";
    makeFile(odd, 1536);
    ui.setText(tv::id::StringPath, folder.string());
    tv::buildCatalogue(p);
    ASSERT_EQ(catalogueNames(), std::vector<std::string>{odd});  // the real name, for the worker
    EXPECT_EQ(ui.getItemText(tv::id::ListImgList, 0, 0), "two?lines.jpg");
    EXPECT_EQ(ui.getItemText(tv::id::ListImgList, 0, 1), "1.5 Ko");
    EXPECT_EQ(ui.getItemState(tv::id::ListImgList, 0), tv::row::Ticked);
}
#endif

TEST_F(CatalogueTest, FrenchRunShowsFrenchTexts) {
    loadTexts(tv::LangFrench);
    makeFile("clip.mov", 5);
    fs::create_directory(folder / "dossier.jpg");
    ui.setText(tv::id::StringPath, folder.string());
    tv::buildCatalogue(p);
    EXPECT_FALSE(p.ended);
    EXPECT_FALSE(ui.isGadgetHidden(tv::id::TextContainsVideo));
    ASSERT_EQ(ui.countItems(tv::id::ListImgList), 1);
    EXPECT_EQ(ui.getItemText(tv::id::ListImgList, 0, 1), "0 octet");
}

TEST_F(CatalogueTest, FrenchEmptyFolderMessage) {
    loadTexts(tv::LangFrench);
    ui.setText(tv::id::StringPath, folder.string());
    tv::buildCatalogue(p);
    EXPECT_TRUE(p.ended);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Il n'y a aucune image dans ce dossier.\r\n  Le programme va donc se terminer.");
}

}  // namespace

#include "options/file_mask.h"
#include "windows/settings.h"

#include <string>

#include "options_fixture.h"

namespace {

namespace fs = std::filesystem;
using tvtest::OptionsTest;

class FileMaskTest : public OptionsTest {
protected:
    std::string out;  // an existing folder, no trailing separator

    void SetUp() override {
        OptionsTest::SetUp();
        out = (scratch / "out").string();
        fs::create_directory(out);
        using namespace tv;
        ASSERT_TRUE(ui.openWindow(id::WndCompress, 0, 0, 280, 220, "compress", wflag::TitleBar));
        ASSERT_TRUE(ui.checkBoxGadget(id::CheckboxRenameImage, {10, 30, 130, 20}, "rename"));
        ASSERT_TRUE(ui.stringGadget(id::StringFileName, {20, 50, 250, 20}, "Nouvel album #"));
        ASSERT_TRUE(ui.checkBoxGadget(id::CheckboxOtherFolder, {10, 100, 155, 20}, "other"));
        ASSERT_TRUE(ui.stringGadget(id::StringOtherFolder, {20, 120, 210, 20}, ""));
    }

    void options(bool rename, const std::string& mask, bool other, const std::string& folder) {
        ui.setState(tv::id::CheckboxRenameImage, rename ? 1 : 0);
        ui.setText(tv::id::StringFileName, mask);
        ui.setState(tv::id::CheckboxOtherFolder, other ? 1 : 0);
        ui.setText(tv::id::StringOtherFolder, folder);
    }

    // Validates; on refusal returns the one warning's text, else "".
    std::string refusal() {
        const std::size_t before = boxes().size();
        ui.pushAnswer(tv::answer::Ok);
        const bool ok = tv::validateCompressionOptions(p);
        const auto log = boxes();
        if (ok) {
            EXPECT_EQ(log.size(), before) << "accepted options showed a box";
            return "";
        }
        EXPECT_EQ(log.size(), before + 1) << "a refusal shows exactly one box";
        if (log.size() != before + 1) return "<no single box>";
        EXPECT_EQ(log.back().type, tv::mb::Ok | tv::mb::IconWarning);
        return log.back().text;
    }
};

const std::string Diese = "Filename should contain exactly one '#' !";
const std::string Invalid = "Invalide filename: '/' unexpected !";
const std::string Missing = "Unexisting path !";

TEST_F(FileMaskTest, MaskNeedsExactlyOneNumberSign) {
    loadTexts(tv::LangEnglish);
    options(true, "Photo", false, "");
    EXPECT_EQ(refusal(), Diese);
    options(true, "a#b#", false, "");
    EXPECT_EQ(refusal(), Diese);
    options(true, "", false, "");
    EXPECT_EQ(refusal(), Diese);
    options(true, "#/#", false, "");  // the count comes before the character check
    EXPECT_EQ(refusal(), Diese);
    options(true, "pic #", false, "");
    EXPECT_EQ(refusal(), "");
    EXPECT_EQ(boxes().back().title, "Tarvolin - Error");
}

TEST_F(FileMaskTest, SeparatorInTheMaskIsRefused) {
    loadTexts(tv::LangEnglish);
    options(true, "sub/pic#", false, "");
    EXPECT_EQ(refusal(), Invalid);
    options(true, "/pic#", true, "");  // before the folder check, one box only
    EXPECT_EQ(refusal(), Invalid);
    options(true, "pic\\#", false, "");  // a backslash is an ordinary character here
    EXPECT_EQ(refusal(), "");
}

TEST_F(FileMaskTest, OptionsThatAreOffAreNotChecked) {
    loadTexts(tv::LangEnglish);
    options(false, "Photo", false, "");
    EXPECT_EQ(refusal(), "");
    options(false, "sub/x", false, out + "/missing");
    EXPECT_EQ(refusal(), "");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(FileMaskTest, OtherFolderMustBeAnExistingDirectory) {
    loadTexts(tv::LangEnglish);
    options(false, "", true, out + "/missing");
    EXPECT_EQ(refusal(), Missing);
    options(false, "", true, "");
    EXPECT_EQ(refusal(), Missing);
    writeFile(scratch / "plain.txt", 3);
    options(false, "", true, (scratch / "plain.txt").string());
    EXPECT_EQ(refusal(), Missing);
    options(false, "", true, " " + out);  // not trimmed
    EXPECT_EQ(refusal(), Missing);
    options(false, "", true, out);
    EXPECT_EQ(refusal(), "");
    options(false, "", true, out + "/");
    EXPECT_EQ(refusal(), "");
    options(false, "", true, out + "///");
    EXPECT_EQ(refusal(), "");
    options(false, "", true, "/");
    EXPECT_EQ(refusal(), "");
    options(true, "pic#", true, out + "/missing");
    EXPECT_EQ(refusal(), Missing);
}

TEST_F(FileMaskTest, OutputTargetInItsFourForms) {
    loadTexts(tv::LangEnglish);
    options(true, "pic#", true, out);
    EXPECT_EQ(tv::buildOutputTemplate(p, "jpg"), out + "/pic#.jpg");
    options(true, "pic#", true, out + "/");
    EXPECT_EQ(tv::buildOutputTemplate(p, "jpg"), out + "/pic#.jpg");
    options(false, "pic#", true, out);
    EXPECT_EQ(tv::buildOutputTemplate(p, "jpg"), out + "/");
    options(false, "pic#", true, out + "/");
    EXPECT_EQ(tv::buildOutputTemplate(p, "jpg"), out + "/");
    options(true, "Nouvel album #", false, out);
    EXPECT_EQ(tv::buildOutputTemplate(p, "JPG"), "Nouvel album #.JPG");
    options(false, "Nouvel album #", false, out);
    EXPECT_EQ(tv::buildOutputTemplate(p, "png"), "");
    // The mask is not trimmed.
    options(true, " a # ", false, "");
    EXPECT_EQ(tv::buildOutputTemplate(p, "bmp"), " a # .bmp");
}

TEST(FileMaskJoin, JoinPathAddsOneSeparatorWhenNeeded) {
    EXPECT_EQ(tv::joinPath("/out", ""), "/out");
    EXPECT_EQ(tv::joinPath("", "pic#"), "pic#");
    EXPECT_EQ(tv::joinPath("", ""), "");
    EXPECT_EQ(tv::joinPath("/out/", "pic#"), "/out/pic#");
    EXPECT_EQ(tv::joinPath("/out", "/pic#"), "/out/pic#");
    EXPECT_EQ(tv::joinPath("/out", "pic#"), "/out/pic#");
    EXPECT_EQ(tv::joinPath("out\\", "pic"), "out\\/pic");  // only "/" separates
}

TEST_F(FileMaskTest, FrenchRunShowsFrenchTexts) {
    loadTexts(tv::LangFrench);
    options(true, "Photo", false, "");
    EXPECT_EQ(refusal(), "Le nom de fichier doit comporter un et un seul '#' !");
    options(true, "sub/pic#", false, "");
    EXPECT_EQ(refusal(), "Le nom de fichier n'est pas valide: '/' non admis !");
    options(false, "", true, out + "/missing");
    EXPECT_EQ(refusal(), "Le dossier n'existe pas !");
    EXPECT_EQ(boxes().back().title, "Tarvolin - Erreur");
}

}  // namespace

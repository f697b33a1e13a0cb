#include "options/file_mask.h"
#include "windows/settings.h"

#include <string>

#include "options_fixture.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;
using tvtest::OptionsTest;
using tvtest::Sep;

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
const std::string Invalid = "Invalide filename: '" + Sep + "' unexpected !";
const std::string Missing = "Unexisting path !";

#ifdef _WIN32
// "C:": the drive the scratch folder is on.
std::string driveOf(const std::string& path) { return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ""; }

// "Q:": a letter no drive has; empty when every letter is taken.
std::string absentDrive() {
    const DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 0; --i)
        if (!(drives & (1u << i))) return std::string(1, static_cast<char>('A' + i)) + ":";
    return "";
}
#endif

TEST_F(FileMaskTest, MaskNeedsExactlyOneNumberSign) {
    loadTexts(tv::LangEnglish);
    options(true, "Photo", false, "");
    EXPECT_EQ(refusal(), Diese);
    options(true, "a#b#", false, "");
    EXPECT_EQ(refusal(), Diese);
    options(true, "", false, "");
    EXPECT_EQ(refusal(), Diese);
    options(true, "#" + Sep + "#", false, "");  // the count comes before the character check
    EXPECT_EQ(refusal(), Diese);
    options(true, "pic #", false, "");
    EXPECT_EQ(refusal(), "");
    EXPECT_EQ(boxes().back().title, "Tarvolin - Error");
}

TEST_F(FileMaskTest, SeparatorInTheMaskIsRefused) {
    loadTexts(tv::LangEnglish);
    const struct {
        std::string mask;
        bool other;
        std::string refusal;
    } cases[] = {
        {"sub" + Sep + "pic#", false, Invalid},
        {Sep + "pic#", true, Invalid},  // before the folder check, one box only
#ifdef _WIN32
        // Only "\" is checked; a name the system then refuses fails at the save.
        {"sub/pic#", false, ""},
#else
        {"pic\\#", false, ""},  // a backslash is an ordinary character here
#endif
    };
    for (const auto& c : cases) {
        options(true, c.mask, c.other, "");
        EXPECT_EQ(refusal(), c.refusal) << c.mask;
    }
}

TEST_F(FileMaskTest, OptionsThatAreOffAreNotChecked) {
    loadTexts(tv::LangEnglish);
    options(false, "Photo", false, "");
    EXPECT_EQ(refusal(), "");
    options(false, "sub" + Sep + "x", false, out + Sep + "missing");
    EXPECT_EQ(refusal(), "");
    EXPECT_TRUE(boxes().empty());
}

TEST_F(FileMaskTest, OtherFolderMustBeAnExistingDirectory) {
    loadTexts(tv::LangEnglish);
    writeFile(scratch / "plain.txt", 3);
#ifdef _WIN32
    const std::string drive = driveOf(out);
    const std::string absent = absentDrive();
    ASSERT_FALSE(drive.empty()) << out;
    ASSERT_FALSE(absent.empty());
#endif
    const struct {
        std::string folder;
        bool exists;
    } cases[] = {
        {out + Sep + "missing", false},
        {"", false},
        {(scratch / "plain.txt").string(), false},
        {" " + out, false},  // not trimmed
        {out, true},
        {out + Sep, true},
        {out + Sep + Sep + Sep, true},  // trailing separators do not count
        {Sep, true},                    // the root
#ifdef _WIN32
        {out + "/", true},  // the system takes "/" too
        {drive, true},      // a bare drive is its root
        {drive + "\\", true},
        {drive + "\\\\\\", true},
        {absent, false},  // a letter no drive has
        {absent + "\\", false},
        {":\\", false},  // no letter at all
#endif
    };
    for (const auto& c : cases) {
        options(false, "", true, c.folder);
        EXPECT_EQ(refusal(), c.exists ? "" : Missing) << "'" << c.folder << "'";
    }
    options(true, "pic#", true, out + Sep + "missing");
    EXPECT_EQ(refusal(), Missing);
}

TEST_F(FileMaskTest, OutputTargetInItsFourForms) {
    loadTexts(tv::LangEnglish);
    const struct {
        bool rename;
        std::string mask;
        bool other;
        std::string folder;
        std::string extension;
        std::string target;
    } cases[] = {
        {true, "pic#", true, out, "jpg", out + Sep + "pic#.jpg"},
        {true, "pic#", true, out + Sep, "jpg", out + Sep + "pic#.jpg"},
        {false, "pic#", true, out, "jpg", out + Sep},
        {false, "pic#", true, out + Sep, "jpg", out + Sep},
        {true, "Nouvel album #", false, out, "JPG", "Nouvel album #.JPG"},
        {false, "Nouvel album #", false, out, "png", ""},
        {true, " a # ", false, "", "bmp", " a # .bmp"},  // the mask is not trimmed
#ifdef _WIN32
        // A bare drive stands for its root, not for its current folder.
        {true, "pic#", true, "C:", "jpg", "C:\\pic#.jpg"},
        {true, "pic#", true, "C:\\", "jpg", "C:\\pic#.jpg"},
        {false, "pic#", true, "C:", "jpg", "C:\\"},
#endif
    };
    for (const auto& c : cases) {
        options(c.rename, c.mask, c.other, c.folder);
        EXPECT_EQ(tv::buildOutputTemplate(p, c.extension), c.target) << c.mask << " in " << c.folder;
    }
}

TEST(FileMaskJoin, JoinPathAddsOneSeparatorWhenNeeded) {
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } cases[] = {
        {"", "pic#", "pic#"},
        {"", "", ""},
#ifdef _WIN32
        {"C:\\out", "", "C:\\out"},
        {"C:\\out\\", "pic#", "C:\\out\\pic#"},
        {"C:\\out", "\\pic#", "C:\\out\\pic#"},
        {"C:\\out", "pic#", "C:\\out\\pic#"},
        {"C:", "pic#", "C:\\pic#"},
        {"out/", "pic", "out/\\pic"},  // "/" is not looked at: a backslash is added
#else
        {"/out", "", "/out"},
        {"/out/", "pic#", "/out/pic#"},
        {"/out", "/pic#", "/out/pic#"},
        {"/out", "pic#", "/out/pic#"},
        {"out\\", "pic", "out\\/pic"},  // only "/" separates
#endif
    };
    for (const auto& c : cases)
        EXPECT_EQ(tv::joinPath(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
}

TEST_F(FileMaskTest, FrenchRunShowsFrenchTexts) {
    loadTexts(tv::LangFrench);
    options(true, "Photo", false, "");
    EXPECT_EQ(refusal(), "Le nom de fichier doit comporter un et un seul '#' !");
    options(true, "sub" + Sep + "pic#", false, "");
    EXPECT_EQ(refusal(), "Le nom de fichier n'est pas valide: '" + Sep + "' non admis !");
    options(false, "", true, out + Sep + "missing");
    EXPECT_EQ(refusal(), "Le dossier n'existe pas !");
    EXPECT_EQ(boxes().back().title, "Tarvolin - Erreur");
}

}  // namespace

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <thread>

#include "platform/desktop.h"
#include "platform/files.h"
#include "windows/ids.h"
#include "shell/program.h"
#include "shell/regex.h"
#include "shell/stored_options.h"
#include "windows/settings.h"
#ifndef _WIN32
#include "support/ordinary_user.h"
#endif
#include "support/temp_dir.h"
#include "backends/scripted/scripted_window_system.h"

using namespace tv;
using tvtest::ScopedEnv;
using tvtest::TempDir;

namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

// Locale variables pinned for a test; LC_ALL decides. language is what the
// program must take from them; on Windows the system's locale decides
// instead, whatever the environment holds, so it is what that one gives.
struct Locale {
    Locale(const char* value, [[maybe_unused]] unsigned char expected)
        : all("LC_ALL", value), messages("LC_MESSAGES", nullptr), lang("LANG", nullptr) {
#ifdef _WIN32
        language = detectLanguage();
#else
        language = expected;
#endif
    }
    ScopedEnv all, messages, lang;
    unsigned char language;
};

class StoredOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        p.workDir = dir.path();
    }
    // The five stored controls, as the windows build them from the bytes.
    void buildControls(const StoredOptions& o) {
        ASSERT_TRUE(ui.openWindow(id::WndMain, 0, 0, 400, 300, "Main", wflag::TitleBar));
        ASSERT_TRUE(ui.comboGadget(id::ComboCompression, {0, 0, 50, 20}));
        for (int i = 0; i <= 10; ++i) ui.addItem(id::ComboCompression, -1, std::to_string(i));
        ui.setState(id::ComboCompression, o.bytes[0]);
        ASSERT_TRUE(ui.openWindow(id::WndCompress, 0, 0, 400, 300, "Options", wflag::TitleBar | wflag::Invisible));
        const int boxes[] = {id::CheckboxRenameImage, id::CheckboxOtherFolder, id::CheckboxDeleteImage,
                             id::CheckboxExtensionCase};
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(ui.checkBoxGadget(boxes[i], {0, 20 * i, 100, 20}, "box"));
            ui.setState(boxes[i], o.bytes[1 + i]);
        }
    }
    std::string optionsFile() const { return dir.file("data.tvl"); }

    TempDir dir;
    ScriptedWindowSystem ui;
    Program p{ui};
};

#ifndef _WIN32
// The locale variables decide on POSIX only: Windows asks the system's locale.
TEST(DetectLanguage, FrenchLocalesOnly) {
    const struct {
        const char* locale;
        unsigned char language;
    } cases[] = {
        {"fr_CA.UTF-8", LangFrench}, {"fr_FR@euro", LangFrench},   {"fr", LangFrench},
        {"en_US.UTF-8", LangEnglish}, {"de_DE", LangEnglish},       {"C", LangEnglish},
    };
    for (const auto& c : cases) {
        Locale l(c.locale, c.language);
        EXPECT_EQ(detectLanguage(), c.language) << c.locale;
    }
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv messages("LC_MESSAGES", nullptr);
    ScopedEnv lang("LANG", "fr_BE.UTF-8");
    EXPECT_EQ(detectLanguage(), LangFrench);
}
#endif

#ifdef _WIN32
TEST(DetectLanguage, SystemLocaleGivesEnglishOrFrench) {
    // The ISO names joined as on Linux ("fr_FR"), so that one pattern serves both.
    const std::string locale = platform::localeLanguageCountry();
    EXPECT_TRUE(regexMatch("^[a-z]{2,3}_([A-Z]{2}|[0-9]{3})$", locale)) << locale;
    const unsigned char language = detectLanguage();
    EXPECT_TRUE(language == LangEnglish || language == LangFrench) << static_cast<int>(language);
    EXPECT_EQ(language == LangFrench, locale.rfind("fr_", 0) == 0) << locale;
}
#endif

TEST_F(StoredOptionsTest, MissingFileGivesDefaultsWithDetectedLanguage) {
    Locale l("fr_CA.UTF-8", LangFrench);
    EXPECT_EQ(loadStoredOptions(p).bytes, (std::array<std::uint8_t, 6>{5, 0, 0, 0, 1, l.language}));
    Locale e("en_US.UTF-8", LangEnglish);
    EXPECT_EQ(loadStoredOptions(p).bytes, (std::array<std::uint8_t, 6>{5, 0, 0, 0, 1, e.language}));
}

TEST_F(StoredOptionsTest, SixByteFileIsTakenAsItIs) {
    Locale l("fr_FR.UTF-8", LangFrench);
    // Out-of-range values are not checked here. CR, LF and Ctrl-Z are bytes
    // like any other: a text-mode read on Windows would make CR LF one byte
    // and stop at Ctrl-Z.
    const std::array<std::uint8_t, 6> stored[] = {
        {10, 1, 0, 1, 0, 0x41}, {200, 7, 255, 0, 9, 0x66}, {13, 10, 26, 10, 13, 0x65}};
    for (const auto& b : stored) {
        dir.write("data.tvl", std::string(b.begin(), b.end()));
        EXPECT_EQ(loadStoredOptions(p).bytes, b) << static_cast<int>(b[0]);
    }
}

TEST_F(StoredOptionsTest, FileOfAnotherSizeIsIgnored) {
    Locale l("de_DE.UTF-8", LangEnglish);
    const std::array<std::uint8_t, 6> defaults{5, 0, 0, 0, 1, l.language};
    dir.write("data.tvl", bytes({9, 1, 1, 1, 0, 0x66, 0}));
    EXPECT_EQ(loadStoredOptions(p).bytes, defaults);
    dir.write("data.tvl", bytes({9, 1, 1, 1, 0}));
    EXPECT_EQ(loadStoredOptions(p).bytes, defaults);
    platform::deleteFile(optionsFile());
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(optionsFile()), ec));  // a folder in its place
    EXPECT_EQ(loadStoredOptions(p).bytes, defaults);
}

TEST_F(StoredOptionsTest, FirstFrenchStartWritesDefaults) {
    Locale l("fr_CA.UTF-8", LangFrench);
    p.stored = loadStoredOptions(p);
    buildControls(p.stored);
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({5, 0, 0, 0, 1, l.language}));
}

TEST_F(StoredOptionsTest, SevenByteFileIsReplacedBySixBytes) {
    Locale l("en_US.UTF-8", LangEnglish);
    dir.write("data.tvl", bytes({9, 1, 1, 1, 0, 0x66, 0x66}));
    p.stored = loadStoredOptions(p);
    buildControls(p.stored);
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({5, 0, 0, 0, 1, l.language}));
}

TEST_F(StoredOptionsTest, ForeignLanguageByteIsWrittenBackUnchanged) {
    dir.write("data.tvl", bytes({3, 1, 0, 1, 0, 0x41}));
    p.stored = loadStoredOptions(p);
    buildControls(p.stored);
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({3, 1, 0, 1, 0, 0x41}));
}

TEST_F(StoredOptionsTest, SaveTakesTheControlsCurrentStates) {
    p.stored.bytes = {5, 0, 0, 0, 1, 0x66};
    buildControls(p.stored);
    ui.setState(id::ComboCompression, 8);
    ui.setState(id::CheckboxRenameImage, 1);
    ui.setState(id::CheckboxDeleteImage, 1);
    ui.setState(id::CheckboxExtensionCase, 0);
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({8, 1, 0, 1, 0, 0x66}));
}

TEST_F(StoredOptionsTest, QualityTenIsSavedAsOneByteAndReadBack) {
    // 0x0A is a line feed: written in text mode on Windows it would become
    // CR LF, a 7-byte file that every start would throw away.
    p.stored.bytes = {5, 0, 0, 0, 1, 0x65};
    buildControls(p.stored);
    ui.setState(id::ComboCompression, 10);
    ui.setState(id::CheckboxRenameImage, 1);
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(platform::fileSize(optionsFile()), 6);
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({10, 1, 0, 0, 1, 0x65}));
    EXPECT_EQ(loadStoredOptions(p).bytes, (std::array<std::uint8_t, 6>{10, 1, 0, 0, 1, 0x65}));
}

TEST_F(StoredOptionsTest, SaveFromTheWorkerThread) {
    p.stored.bytes = {5, 0, 0, 0, 1, 0x65};
    buildControls(p.stored);
    ui.setState(id::CheckboxOtherFolder, 1);
    std::thread worker([&] { saveStoredOptions(p, storedOptionsFromWindows(p)); });
    worker.join();
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({5, 0, 1, 0, 1, 0x65}));
}

TEST_F(StoredOptionsTest, SaveIntoAnImpossibleFolderIsSilent) {
    dir.write("plain-file", "x");
    p.workDir = dir.file("plain-file");  // a folder under a regular file cannot exist
    buildControls(p.stored);
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_TRUE(ui.requesterLog().empty());
    EXPECT_EQ(tvtest::readFile(dir.file("plain-file")), "x");
}

#ifndef _WIN32
// chmod bits, checked as a user without special rights: POSIX only.
TEST_F(StoredOptionsTest, ReadOnlyOptionsFileKeepsItsContent) {
    dir.write("data.tvl", bytes({1, 1, 1, 1, 1, 0x66}));
    chmod(optionsFile().c_str(), 0444);
    buildControls(StoredOptions{});
    int code = tvtest::runAsOrdinaryUser(dir.path(), [&] {
        saveStoredOptions(p, storedOptionsFromWindows(p));
        return 0;
    });
    if (code == tvtest::NoOrdinaryUser) GTEST_SKIP() << "no user without special rights to run as";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({1, 1, 1, 1, 1, 0x66}));
}

#endif

#ifdef _WIN32
// The read-only attribute binds every user there, administrators too.
TEST_F(StoredOptionsTest, ReadOnlyAttributeKeepsTheOptionsFile) {
    dir.write("data.tvl", bytes({1, 1, 1, 1, 1, 0x66}));
    namespace fs = std::filesystem;
    const fs::path file = fs::u8path(optionsFile());
    // Taking the write bits away sets the read-only attribute there.
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_EQ(fs::status(file).permissions() & fs::perms::owner_write, fs::perms::none);
    buildControls(StoredOptions{});
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(tvtest::readFile(optionsFile()), bytes({1, 1, 1, 1, 1, 0x66}));
    EXPECT_TRUE(ui.requesterLog().empty());
}
#endif

#ifndef _WIN32
// Symbolic links need a privilege on Windows; the tests cannot make them there.
TEST_F(StoredOptionsTest, SymlinkInPlaceOfOptionsFileIsNotWrittenThrough) {
    std::string victim = dir.write("victim.txt", "precious");
    ASSERT_EQ(symlink(victim.c_str(), optionsFile().c_str()), 0);
    buildControls(StoredOptions{});
    saveStoredOptions(p, storedOptionsFromWindows(p));
    EXPECT_EQ(tvtest::readFile(victim), "precious");
    EXPECT_EQ(platform::fileSize(optionsFile()), 6);
}
#endif

// ---- message table ----

TEST_F(StoredOptionsTest, EnglishTableLoadsAndTempFileIsGone) {
    EXPECT_TRUE(loadMessageTable(p, LangEnglish));
    EXPECT_FALSE(p.ended);
    EXPECT_EQ(p.texts.size(), 64u);
    EXPECT_EQ(p.texts.lookup("Error"), "Error");
    EXPECT_EQ(p.texts.lookup("Button.Next"), "Next >>");
    EXPECT_EQ(p.texts.lookup("Info.NewSize.Message"), "Images will be resized to this scale: #%.");
    EXPECT_EQ(p.texts.lookup("DefaultFileName"), "");
    EXPECT_EQ(platform::fileSize(dir.file("temp.tmp")), -1);
    EXPECT_TRUE(ui.requesterLog().empty());
}

TEST_F(StoredOptionsTest, FrenchTableLoadsForCodeFOnly) {
    EXPECT_TRUE(loadMessageTable(p, LangFrench));
    EXPECT_EQ(p.texts.lookup("Error"), "Erreur");
    EXPECT_EQ(p.texts.lookup("Button.StopCompression"), "Arr\xC3\xAAter");
    p.texts.clear();
    EXPECT_TRUE(loadMessageTable(p, 0x41));
    EXPECT_EQ(p.texts.lookup("Error"), "Error");
}

TEST_F(StoredOptionsTest, StaleTempFileIsReplaced) {
    dir.write("temp.tmp", "Error = Stale\r\nJunk = 1\r\n" + std::string(10000, 'x'));
    EXPECT_TRUE(loadMessageTable(p, LangEnglish));
    EXPECT_EQ(p.texts.lookup("Error"), "Error");
    EXPECT_EQ(p.texts.lookup("Junk"), "");
}

#ifndef _WIN32
// Symbolic links need a privilege on Windows; the tests cannot make them there.
TEST_F(StoredOptionsTest, SymlinkedTempFileDoesNotClobberItsTarget) {
    std::string victim = dir.write("victim.txt", "precious");
    ASSERT_EQ(symlink(victim.c_str(), dir.file("temp.tmp").c_str()), 0);
    EXPECT_TRUE(loadMessageTable(p, LangEnglish));
    EXPECT_EQ(tvtest::readFile(victim), "precious");
}
#endif

TEST_F(StoredOptionsTest, UnwritableFolderShowsEnglishMessageAndEnds) {
    dir.write("plain-file", "x");
    p.workDir = dir.file("plain-file");
    EXPECT_FALSE(loadMessageTable(p, LangEnglish));
    EXPECT_TRUE(p.ended);
    EXPECT_EQ(p.texts.size(), 0u);
    auto log = ui.requesterLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].kind, RequesterKind::MessageBox);
    EXPECT_EQ(log[0].title, "Tarvolin");
    EXPECT_EQ(log[0].text, "Please, run Tarvolin from a directoty with writing access !");
    EXPECT_EQ(log[0].type, mb::Ok | mb::IconError);
}

TEST_F(StoredOptionsTest, UnwritableFolderShowsFrenchMessage) {
    dir.write("plain-file", "x");
    p.workDir = dir.file("plain-file") + "/";
    EXPECT_FALSE(loadMessageTable(p, LangFrench));
    EXPECT_TRUE(p.ended);
    auto log = ui.requesterLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text,
              "Veuillez lancer Tarvolin depuis un r\xC3\xA9pertoire avec des droits d'acc\xC3\xA8s en \xC3\xA9"
              "criture !");
    EXPECT_EQ(log[0].type, 0x10u);
}

#ifndef _WIN32
// A folder's chmod bits, checked as a user without special rights: POSIX
// only (the read-only attribute of a Windows folder does not stop writing
// into it; the folder-under-a-file cases above stand for it there).
TEST_F(StoredOptionsTest, ReadOnlyWorkingFolderEndsTheProgram) {
    chmod(dir.path().c_str(), 0555);
    // Each check a bit of the child's exit code.
    int failed = tvtest::runAsOrdinaryUser(dir.path(), [&] {
        bool loaded = loadMessageTable(p, LangEnglish);
        auto log = ui.requesterLog();
        return (loaded ? 1 : 0) | (p.ended ? 0 : 2) | (log.size() == 1 && log[0].title == "Tarvolin" ? 0 : 4);
    });
    if (failed == tvtest::NoOrdinaryUser) GTEST_SKIP() << "no user without special rights to run as";
    EXPECT_EQ(failed & 1, 0) << "the message table loaded";
    EXPECT_EQ(failed & 2, 0) << "the program did not end";
    EXPECT_EQ(failed & 4, 0) << "not the one box captioned Tarvolin";
}
#endif

// ---- warning box ----

TEST_F(StoredOptionsTest, WarningCaptionIconAndButtons) {
    ASSERT_TRUE(loadMessageTable(p, LangEnglish));
    ui.pushAnswer(answer::Yes);
    EXPECT_EQ(showWarning(p, "Overwrite?", mb::YesNoCancel), answer::Yes);
    EXPECT_EQ(showWarning(p, "Plain", mb::Ok), answer::Ok);
    auto log = ui.requesterLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].title, "Tarvolin - Error");
    EXPECT_EQ(log[0].text, "Overwrite?");
    EXPECT_EQ(log[0].type, 0x33u);
    EXPECT_EQ(log[1].type, 0x30u);
}

TEST_F(StoredOptionsTest, FrenchWarningCaption) {
    ASSERT_TRUE(loadMessageTable(p, LangFrench));
    showWarning(p, "x", mb::YesNo);
    ASSERT_EQ(ui.requesterLog().size(), 1u);
    EXPECT_EQ(ui.requesterLog()[0].title, "Tarvolin - Erreur");
    EXPECT_EQ(ui.requesterLog()[0].type, 0x34u);
}

}  // namespace

#include "options/scale_ratio.h"
#include "windows/settings.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "options_fixture.h"

namespace {

using tvtest::OptionsTest;

class ScaleRatioTest : public OptionsTest {
protected:
    void SetUp() override {
        OptionsTest::SetUp();
        ASSERT_TRUE(ui.openWindow(tv::id::WndMain, 0, 0, 340, 200, "Tarvolin - Settings",
                                  tv::wflag::TitleBar | tv::wflag::Centered));
        ASSERT_TRUE(ui.stringGadget(tv::id::StringRatio, {235, 137, 60, 20}, "100%"));
    }

    // Types the ratio, answers the next box, and parses.
    bool parse(const std::string& text, int answer = tv::answer::Yes) {
        ui.setText(tv::id::StringRatio, text);
        ui.pushAnswer(answer);
        return tv::chooseScaleRatio(p, 0);
    }
};

// ---- presets ----

TEST_F(ScaleRatioTest, PresetRowsSetTheirFactorWithoutAnyMessage) {
    loadTexts(tv::LangEnglish);
    const float expected[11] = {0.0f, 0.2f, 0.25f, 0.33333334f, 0.5f, 0.6666667f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f};
    // A field that would fail to parse proves the presets never read it.
    ui.setText(tv::id::StringRatio, "garbage");
    for (int row = 1; row <= 10; ++row) {
        p.ScaleRatio.store(-1.0f);
        EXPECT_TRUE(tv::chooseScaleRatio(p, row)) << row;
        EXPECT_EQ(p.ScaleRatio.load(), expected[row]) << row;
        EXPECT_EQ(tv::presetScale(row), expected[row]) << row;
    }
    EXPECT_EQ(tv::presetScale(3), 1.0f / 3.0f);
    EXPECT_EQ(tv::presetScale(5), 2.0f / 3.0f);
    EXPECT_TRUE(boxes().empty());
    EXPECT_FALSE(p.ended);
}

// ---- refused ratios ----

struct Refusal {
    const char* typed;
    const char* message;
};

TEST_F(ScaleRatioTest, EveryRefusalShowsItsPrefixedErrorAndKeepsTheRatio) {
    loadTexts(tv::LangEnglish);
    const std::string zero = "Incorrect file ratio: Unable to divise by zero !";
    const std::string fraction = "Incorrect file ratio: Fraction requires two integers !";
    const std::string below = "Incorrect file ratio: Value attended greater than zero !";
    const std::string percent = "Incorrect file ratio: Integer attending before '%' !";
    const std::string wrong = "Incorrect file ratio: Wrong value !";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1/0", zero},
        {" 5 / 0 ", zero},
        {"1/2/3", wrong},
        {"a/2", fraction},
        {"-1/2", fraction},
        {"1/", fraction},
        {"/2", fraction},
        {"1.5/2", fraction},
        {"0%", below},
        {"000 %", below},
        {"%", percent},
        {"x%", percent},
        {"-5%", percent},
        {"1.5%", percent},
        {"2", wrong},
        {".5", wrong},
        {"5.", wrong},
        {"1..5", wrong},
        {"1.2.3", wrong},
        {"", wrong},
        {"     ", wrong},
        {"abc", wrong},
        // The patterns' "$" takes one final line feed, but a percentage must
        // end with its "%", and nothing more may follow.
        {"50%\n", wrong},
        {"1/2 \n", fraction},
        {"12\n\n", wrong},
        // Numbers past 32 bits are refused with the error of their form
        // rather than wrapped to a small value (2^32+1 would become 1,
        // 2^32 would become 0, 2^32+100 would become 100).
        {"4294967297/1", fraction},
        {"1/4294967296", fraction},
        {"2147483648/1", fraction},
        {"4294967396%", percent},
        {"99999999999999999999%", percent},
        // Larger than any float: not an infinite scale.
        {"1000000000000000000000000000000000000000000000000000.5", wrong},
    };
    for (const auto& [typed, message] : cases) {
        p.ScaleRatio.store(0.77f);
        const std::size_t before = boxes().size();
        ui.setText(tv::id::StringRatio, typed);
        ui.pushAnswer(tv::answer::Ok);
        EXPECT_FALSE(tv::chooseScaleRatio(p, 0)) << "'" << typed << "'";
        const auto log = boxes();
        ASSERT_EQ(log.size(), before + 1) << "'" << typed << "'";
        EXPECT_EQ(log.back().text, message) << "'" << typed << "'";
        EXPECT_EQ(log.back().title, "Tarvolin - Error");
        EXPECT_EQ(log.back().type, tv::mb::Ok | tv::mb::IconWarning);
        EXPECT_EQ(p.ScaleRatio.load(), 0.77f) << "'" << typed << "'";
        EXPECT_FALSE(p.ended);
    }
}

TEST_F(ScaleRatioTest, LargestSignedValuesStillParse) {
    loadTexts(tv::LangEnglish);
    EXPECT_TRUE(parse("2147483647/2147483647"));
    EXPECT_EQ(p.ScaleRatio.load(), 1.0f);
    EXPECT_TRUE(parse("0000000000000000000001/4"));
    EXPECT_EQ(p.ScaleRatio.load(), 0.25f);
}

// ---- accepted ratios and the confirmation ----

TEST_F(ScaleRatioTest, AcceptedRatiosAreConfirmedWithTheirPercentage) {
    loadTexts(tv::LangEnglish);
    struct Case {
        const char* typed;
        float ratio;
        const char* percent;
    };
    const Case cases[] = {
        {"1/3", 1.0f / 3.0f, "33.3"},     {" 3 / 4 ", 0.75f, "75.0"},  {"0/7", 0.0f, "0.0"},
        {"2/3", 2.0f / 3.0f, "66.7"},     {"120%", 1.2f, "120.0"},     {"100%", 1.0f, "100.0"},
        {" 50 % ", 0.5f, "50.0"},         {"1%", 0.01f, "1.0"},        {"1.2", 1.2f, "120.0"},
        {"1,2", 1.2f, "120.0"},           {"1,5", 1.5f, "150.0"},      {"12", 12.0f, "1200.0"},
        {"00", 0.0f, "0.0"},              {"0.25", 0.25f, "25.0"},     {"7/2", 3.5f, "350.0"},
        // A pasted text ending in a line feed reads as the patterns see it.
        {"1/2\n", 0.5f, "50.0"},         {"12\n", 12.0f, "1200.0"},  {"1,5\n", 1.5f, "150.0"},
        // One rounding to the nearest float: just above halfway up, the
        // halfway quotient itself to even.
        {"1073741887/1073741823", 1.00000012f, "100.0"},
        {"16777217/16777216", 1.0f, "100.0"},
        {"16777219/16777216", 1.00000024f, "100.0"},
    };
    for (const Case& c : cases) {
        p.ScaleRatio.store(-1.0f);
        const std::size_t before = boxes().size();
        EXPECT_TRUE(parse(c.typed)) << "'" << c.typed << "'";
        EXPECT_EQ(p.ScaleRatio.load(), c.ratio) << "'" << c.typed << "'";
        const auto log = boxes();
        ASSERT_EQ(log.size(), before + 1) << "'" << c.typed << "'";
        EXPECT_EQ(log.back().text,
                  std::string("Images will be resized to this scale: ") + c.percent + "%.\r\nContinue ?")
            << "'" << c.typed << "'";
        EXPECT_EQ(log.back().title, "Tarvolin - Error");
        EXPECT_EQ(log.back().type, tv::mb::YesNoCancel | tv::mb::IconWarning);
    }
    EXPECT_FALSE(p.ended);
}

TEST_F(ScaleRatioTest, InitialFieldTextGivesOneHundredPercent) {
    loadTexts(tv::LangEnglish);
    ui.pushAnswer(tv::answer::Yes);
    EXPECT_TRUE(tv::chooseScaleRatio(p, 0));  // the field still holds "100%"
    EXPECT_EQ(p.ScaleRatio.load(), 1.0f);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].text, "Images will be resized to this scale: 100.0%.\r\nContinue ?");
}

TEST_F(ScaleRatioTest, TinyDecimalIsAZeroFactorNotAnError) {
    loadTexts(tv::LangEnglish);
    const std::string tiny = "0." + std::string(60, '0') + "1";
    EXPECT_TRUE(parse(tiny));
    EXPECT_EQ(p.ScaleRatio.load(), 0.0f);
    EXPECT_EQ(boxes().back().text, "Images will be resized to this scale: 0.0%.\r\nContinue ?");
}

TEST_F(ScaleRatioTest, CancelStaysWithTheParsedRatio) {
    loadTexts(tv::LangEnglish);
    p.ScaleRatio.store(1.0f);
    EXPECT_FALSE(parse("1/2", tv::answer::Cancel));
    EXPECT_FALSE(p.ended);
    EXPECT_EQ(p.ScaleRatio.load(), 0.5f);
    EXPECT_EQ(boxes().size(), 1u);
}

TEST_F(ScaleRatioTest, NoEndsTheProgramAtOnce) {
    loadTexts(tv::LangEnglish);
    EXPECT_FALSE(parse("150%", tv::answer::No));
    EXPECT_TRUE(p.ended);
    EXPECT_TRUE(ui.isShutDown());
    EXPECT_EQ(boxes().size(), 1u);  // no further question
}

TEST_F(ScaleRatioTest, YesGoesOnWithoutEnding) {
    loadTexts(tv::LangEnglish);
    EXPECT_TRUE(parse("3/2", tv::answer::Yes));
    EXPECT_FALSE(p.ended);
    EXPECT_EQ(p.ScaleRatio.load(), 1.5f);
}

// The decimal point of the confirmation and of a typed ratio must not follow
// the user's LC_NUMERIC.
class CommaLocale {
public:
    CommaLocale() {
        saved_ = std::setlocale(LC_NUMERIC, nullptr);
#ifdef _WIN32
        // The C runtime's own names; Windows has every locale installed.
        for (const char* name : {"de-DE", "fr-FR", "German_Germany.1252", "French_France.1252"})
            if (tryLocale(name)) return;
#else
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"})
            if (tryLocale(name)) return;
        // None installed: build one from the system's locale sources.
        const char* tmp = std::getenv("TMPDIR");
        dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tv_locale_XXXXXX";
        if (!mkdtemp(dir_.data())) {
            dir_.clear();
            return;
        }
        const std::string cmd = "localedef -i de_DE -f ISO-8859-1 '" + dir_ + "/de_DE' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return;
        const char* oldPath = std::getenv("LOCPATH");
        if (oldPath) oldLocPath_ = oldPath;
        hadLocPath_ = oldPath != nullptr;
        setenv("LOCPATH", dir_.c_str(), 1);
        tryLocale("de_DE");
#endif
    }
    ~CommaLocale() {
        std::setlocale(LC_NUMERIC, saved_.c_str());
#ifndef _WIN32
        if (hadLocPath_)
            setenv("LOCPATH", oldLocPath_.c_str(), 1);
        else
            unsetenv("LOCPATH");
        if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
#endif
    }
    bool active() const { return active_; }

private:
    bool tryLocale(const char* name) {
        if (!std::setlocale(LC_NUMERIC, name)) return false;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%.1f", 1.5);
        active_ = std::string(buf) == "1,5";
        if (!active_) std::setlocale(LC_NUMERIC, saved_.c_str());
        return active_;
    }
    std::string saved_;
    std::string dir_;
    std::string oldLocPath_;
    bool hadLocPath_ = false;
    bool active_ = false;
};

TEST_F(ScaleRatioTest, DecimalPointIsIndependentOfTheLocale) {
    loadTexts(tv::LangEnglish);
    CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no decimal-comma locale available (none installed, localedef failed)";
    EXPECT_TRUE(parse("1,5"));
    EXPECT_EQ(p.ScaleRatio.load(), 1.5f);
    EXPECT_EQ(boxes().back().text, "Images will be resized to this scale: 150.0%.\r\nContinue ?");
    EXPECT_TRUE(parse("1.25"));
    EXPECT_EQ(p.ScaleRatio.load(), 1.25f);
    EXPECT_EQ(boxes().back().text, "Images will be resized to this scale: 125.0%.\r\nContinue ?");
    EXPECT_TRUE(parse("1/3"));
    EXPECT_EQ(boxes().back().text, "Images will be resized to this scale: 33.3%.\r\nContinue ?");
}

// ---- the two patterns ----

TEST(ScaleRatioPatterns, IntegerIsAsciiDigitsOnly) {
    EXPECT_TRUE(tv::isInteger("0"));
    EXPECT_TRUE(tv::isInteger("0012"));
    EXPECT_FALSE(tv::isInteger(""));
    EXPECT_FALSE(tv::isInteger("1 2"));
    EXPECT_FALSE(tv::isInteger("-1"));
    EXPECT_FALSE(tv::isInteger("+1"));
    EXPECT_FALSE(tv::isInteger("12a"));
    EXPECT_FALSE(tv::isInteger("\xd9\xa1\xd9\xa2"));  // Arabic-Indic digits
}

TEST(ScaleRatioPatterns, DecimalNeedsTwoDigitsAndOneOptionalPoint) {
    EXPECT_TRUE(tv::isDecimal("12"));
    EXPECT_TRUE(tv::isDecimal("1.2"));
    EXPECT_TRUE(tv::isDecimal("1,2"));
    EXPECT_TRUE(tv::isDecimal("10.25"));
    EXPECT_FALSE(tv::isDecimal("1"));
    EXPECT_FALSE(tv::isDecimal(".5"));
    EXPECT_FALSE(tv::isDecimal("5."));
    EXPECT_FALSE(tv::isDecimal("1..2"));
    EXPECT_FALSE(tv::isDecimal("1.2.3"));
    EXPECT_FALSE(tv::isDecimal("1;2"));
    EXPECT_FALSE(tv::isDecimal(""));
}

// ---- French ----

TEST_F(ScaleRatioTest, FrenchRunShowsFrenchTexts) {
    loadTexts(tv::LangFrench);
    ui.setText(tv::id::StringRatio, "1/0");
    ui.pushAnswer(tv::answer::Ok);
    EXPECT_FALSE(tv::chooseScaleRatio(p, 0));
    ui.setText(tv::id::StringRatio, "x%");
    ui.pushAnswer(tv::answer::Ok);
    EXPECT_FALSE(tv::chooseScaleRatio(p, 0));
    EXPECT_TRUE(parse("1/2"));
    const auto log = boxes();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].title, "Tarvolin - Erreur");
    EXPECT_EQ(log[0].text, "Taille de l'image incorrecte: Division par zéro impossible !");
    EXPECT_EQ(log[1].text, "Taille de l'image incorrecte: Entier attendu devant le signe '%' !");
    EXPECT_EQ(log[2].text, "Les images vont être redimensionnées à l'échelle 50.0%.\r\nContinuer ?");
}

}  // namespace

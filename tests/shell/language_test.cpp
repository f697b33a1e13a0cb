#include <gtest/gtest.h>

#include "shell/language.h"
#include "support/temp_dir.h"

using tv::LanguageTable;
using tvtest::TempDir;

namespace {

constexpr int BothTrims = tv::trim::Key | tv::trim::Text;

class PairParsing : public ::testing::Test {
protected:
    int load(const std::string& content, int flags = BothTrims, std::string_view sep = "=") {
        return table.loadPairs(dir.write("pairs.txt", content), sep, flags);
    }
    using Entries = std::vector<std::pair<std::string, std::string>>;
    TempDir dir;
    LanguageTable table;
};

TEST_F(PairParsing, KeyAndTextAroundTheFirstSeparator) {
    EXPECT_EQ(load("Key   =   a = b  \r\n"), 1);
    EXPECT_EQ(table.entries(), (Entries{{"Key", "a = b"}}));
}

TEST_F(PairParsing, EveryKindOfLineEnd) {
    std::string content = std::string("a = 1\r\nb = 2\nc = 3\rd = 4") + '\0' + "e = 5";
    EXPECT_EQ(load(content), 5);
    EXPECT_EQ(table.entries(), (Entries{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));
}

TEST_F(PairParsing, CrLfIsOneLineEndButLfCrIsTwo) {
    EXPECT_EQ(load("a = 1\n\rb = 2\r\n\r\nc = 3\r\n"), 3);
    EXPECT_EQ(table.entries(), (Entries{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
}

TEST_F(PairParsing, BlankAndSeparatorlessLinesAreSkipped) {
    EXPECT_EQ(load("   \r\nno separator here\r\n\r\nx = y\r\n"), 1);
    EXPECT_EQ(table.entries(), (Entries{{"x", "y"}}));
}

TEST_F(PairParsing, EmptyKeyAndEmptyTextEntriesCount) {
    EXPECT_EQ(load("= orphan text\r\nlonely =   \r\nbare=\r\n"), 3);
    EXPECT_EQ(table.entries(), (Entries{{"", "orphan text"}, {"lonely", ""}, {"bare", ""}}));
}

TEST_F(PairParsing, OnlySpacesAreTrimmedTabsStay) {
    EXPECT_EQ(load("\tTabbed = text\t\r\n"), 1);
    EXPECT_EQ(table.entries(), (Entries{{"\tTabbed", "text\t"}}));
    // A tabbed key is never found by its bare name.
    EXPECT_EQ(table.lookup("Tabbed"), "");
    EXPECT_EQ(table.lookup("\tTabbed"), "text\t");
}

TEST_F(PairParsing, TrimFlagsAreIndependent) {
    EXPECT_EQ(load(" k = t \r\n", tv::trim::Key), 1);
    EXPECT_EQ(load(" k = t \r\n", tv::trim::Text), 1);
    EXPECT_EQ(load(" k = t \r\n", 0), 1);
    EXPECT_EQ(table.entries(), (Entries{{"k", " t "}, {" k ", "t"}, {" k ", " t "}}));
}

TEST_F(PairParsing, OnlyTheSeparatorsFirstCharacterIsSearched) {
    // The text is what follows the key less the separator's whole length.
    EXPECT_EQ(load("key=>value\r\nab=c\r\nx=\r\n", BothTrims, "=>"), 2);
    EXPECT_EQ(table.entries(), (Entries{{"key", "value"}, {"ab", ""}}));
}

TEST_F(PairParsing, PairsAreAppendedNotReplaced) {
    EXPECT_EQ(load("a = 1\r\n"), 1);
    EXPECT_EQ(load("a = 2\r\nb = 3\r\n"), 2);
    EXPECT_EQ(table.size(), 3u);
    EXPECT_EQ(table.lookup("a"), "1");  // the first one wins
    EXPECT_EQ(table.lookup("b"), "3");
}

TEST_F(PairParsing, UnreadableFileGivesZero) {
    EXPECT_EQ(table.loadPairs(dir.file("missing.txt"), "=", BothTrims), 0);
    EXPECT_EQ(table.loadPairs(dir.path(), "=", BothTrims), 0);
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(table.size(), 0u);
}

TEST_F(PairParsing, LastLineWithoutLineEndStillCounts) {
    EXPECT_EQ(load("a = 1\r\nlast = line"), 2);
    EXPECT_EQ(table.lookup("last"), "line");
}

TEST_F(PairParsing, Utf8TextsPassThrough) {
    EXPECT_EQ(load("Frame.Path = R\xC3\xA9pertoire des images\r\n"), 1);
    EXPECT_EQ(table.lookup("Frame.Path"), "R\xC3\xA9pertoire des images");
}

TEST(Lookup, ExactCaseSensitiveMatchOrFallback) {
    TempDir dir;
    LanguageTable table;
    ASSERT_EQ(table.loadPairs(dir.write("t", "Error = Error\r\nerror = lower\r\n"), "=", BothTrims), 2);
    EXPECT_EQ(table.lookup("Error"), "Error");
    EXPECT_EQ(table.lookup("error"), "lower");
    EXPECT_EQ(table.lookup("ERROR"), "");
    EXPECT_EQ(table.lookup("Error "), "");
    EXPECT_EQ(table.lookup("Nope", "fallback"), "fallback");
    EXPECT_EQ(table.lookup(""), "");
}

}  // namespace

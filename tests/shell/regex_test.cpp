#include <gtest/gtest.h>

#include "shell/regex.h"

using tv::regexMatch;

namespace {

TEST(RegexMatch, FrenchLocalePattern) {
    const char* p = "(^|_)fr(_|$)";
    EXPECT_TRUE(regexMatch(p, "fr_FR"));
    EXPECT_TRUE(regexMatch(p, "fr_CA"));
    EXPECT_TRUE(regexMatch(p, "fr_"));
    EXPECT_TRUE(regexMatch(p, "fr"));
    EXPECT_TRUE(regexMatch(p, "br_fr"));
    EXPECT_FALSE(regexMatch(p, "en_US"));
    EXPECT_FALSE(regexMatch(p, "de_DE"));
    EXPECT_FALSE(regexMatch(p, "fra_FR"));
    EXPECT_FALSE(regexMatch(p, "FR_FR"));  // case-sensitive
    EXPECT_FALSE(regexMatch(p, ""));
}

TEST(RegexMatch, NumberPatterns) {
    EXPECT_TRUE(regexMatch("^\\d+$", "120"));
    EXPECT_FALSE(regexMatch("^\\d+$", "12a"));
    EXPECT_FALSE(regexMatch("^\\d+$", ""));
    EXPECT_FALSE(regexMatch("^\\d+$", "1\n2"));  // not multi-line
    const char* ratio = "^\\d+(\\,|\\.)?\\d+$";
    EXPECT_TRUE(regexMatch(ratio, "1.25"));
    EXPECT_TRUE(regexMatch(ratio, "1,25"));
    EXPECT_TRUE(regexMatch(ratio, "12"));
    EXPECT_FALSE(regexMatch(ratio, "5"));
    EXPECT_FALSE(regexMatch(ratio, ".5"));
}

TEST(RegexMatch, SearchesAnywhereAndBadPatternMatchesNothing) {
    EXPECT_TRUE(regexMatch("b+", "aaabbbccc"));
    EXPECT_FALSE(regexMatch("(unclosed", "(unclosed"));
    EXPECT_FALSE(regexMatch("[", "["));
    // Subjects are byte strings: an embedded NUL does not end them.
    EXPECT_TRUE(regexMatch("x$", std::string_view("a\0x", 3)));
}

}  // namespace

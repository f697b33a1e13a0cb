// The command line read into a request, the --only/--skip patterns and the
// free " (n)" names.
#include <gtest/gtest.h>

#include <set>

#include "cli/arguments.h"
#include "cli/batch_command.h"

using namespace tv::cli;

TEST(Arguments, EveryOptionReachesTheRequest) {
    Parsed p = parseArguments({"--format", "png", "--quality=0", "--size", " 50%: 1/2", "--mask", "Holiday #",
                               "--start", "-3", "--to", "out", "--remove-sources", "--lower-case", "--only", "a*.jpg",
                               "b.jpg", "--skip", "c.jpg", "--on-collision", "rename-with-suffix", "--on-error",
                               "stop", "--language", "fr", "--dry-run", "--quiet", "--", "--photos"},
                              false);
    ASSERT_EQ(p.error, "");
    const Request& r = p.request;
    EXPECT_EQ(r.folder, "--photos");
    EXPECT_EQ(r.format, "PNG");
    EXPECT_EQ(r.quality, 0);
    EXPECT_EQ(r.size, " 50%: 1/2");
    EXPECT_TRUE(r.rename);
    EXPECT_EQ(r.mask, "Holiday #");
    // The worker reads the start text as the window's field gives it.
    EXPECT_EQ(r.start, "-3");
    EXPECT_TRUE(r.otherFolder);
    EXPECT_EQ(r.to, "out");
    EXPECT_TRUE(r.removeSources && r.lowerCase && r.dryRun && r.quiet);
    EXPECT_EQ(r.only, (std::vector<std::string>{"a*.jpg", "b.jpg"}));
    EXPECT_EQ(r.skip, (std::vector<std::string>{"c.jpg"}));
    EXPECT_EQ(r.onCollision, OnCollision::RenameWithSuffix);
    EXPECT_EQ(r.onError, OnError::Stop);
    EXPECT_EQ(r.language, 0x66);
}

TEST(Arguments, DefaultsAskAndChangeNothingButTheFormat) {
    Parsed p = parseArguments({"photos"}, false);
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.request.format, "JPG");
    EXPECT_EQ(p.request.quality, 5);
    EXPECT_FALSE(p.request.rename || p.request.otherFolder || p.request.removeSources || p.request.lowerCase);
    EXPECT_EQ(p.request.onCollision, OnCollision::Ask);
    EXPECT_EQ(p.request.onError, OnError::Ask);
}

TEST(Arguments, BadOnesNameWhatIsWrongInTheRunsLanguage) {
    struct Case {
        std::vector<std::string> args;
        bool french;
        std::string error;
    };
    const Case cases[] = {
        {{}, false, "no folder given"},
        {{"a", "b"}, false, "one folder only: 'b' is a second one"},
        {{"a", "--colour"}, false, "unknown option '--colour'"},
        {{"a", "--quiet=yes"}, false, "unknown option '--quiet=yes'"},
        {{"a", "--format"}, false, "'--format' needs a value"},
        {{"a", "--format", "gif"}, false, "--format takes jpg, png or bmp, not 'gif'"},
        {{"a", "--quality", "11"}, false, "--quality takes a whole number from 0 to 10, not '11'"},
        {{"a", "--quality", "-1"}, false, "--quality takes a whole number from 0 to 10, not '-1'"},
        {{"a", "--start", "1x"}, false, "--start takes a whole number, not '1x'"},
        {{"a", "--only"}, false, "'--only' needs at least one name"},
        {{"a", "--on-collision", "keep"}, false,
         "--on-collision takes ask, overwrite, rename-with-suffix or skip, not 'keep'"},
        {{"a", "--on-error", "retry"}, false, "--on-error takes ask, skip or stop, not 'retry'"},
        {{"a", "--language", "de"}, false, "--language takes en or fr, not 'de'"},
        // --language speaks first, wherever it stands.
        {{"a", "--format", "gif", "--language", "fr"}, false, "--format prend jpg, png ou bmp, pas 'gif'"},
        {{"a", "b"}, true, "un seul dossier : 'b' en est un second"},
        {{"a", "b", "--language=en"}, true, "one folder only: 'b' is a second one"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += "[" + a + "]";
        EXPECT_EQ(parseArguments(c.args, c.french).error, c.error) << shown;
    }
    EXPECT_EQ(parseArguments({"--help"}, false).error, "");
    EXPECT_EQ(parseArguments({"--version"}, false).error, "");
}

TEST(Arguments, NamePatterns) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"a.jpg", "a.jpg", true},   {"A.JPG", "a.jpg", true},     {"a.jpg", "b.jpg", false},
        {"*.jpg", "IMG_1.JPG", true}, {"*.jpg", "a.jpeg", false}, {"img_?.jpg", "IMG_1.jpg", true},
        {"img_?.jpg", "IMG_10.jpg", false}, {"*", "", true},      {"*a*b*", "xxaxxbxx", true},
        {"*a*b", "xxaxxbxxc", false}, {"a", "", false},          {"", "a", false},
        // Only ASCII letters fold: "É" and "é" are different names.
        {"\xc3\x89.jpg", "\xc3\xa9.jpg", false},
    };
    for (const Case& c : cases) EXPECT_EQ(nameMatches(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
}

TEST(Arguments, FreeSuffixNames) {
    std::set<std::string> taken{"out/a (1).jpg", "out/a (2).jpg", "out/.hidden (1)"};
    auto isTaken = [&](const std::string& s) { return taken.count(s) > 0; };
    EXPECT_EQ(nameWithFreeSuffix("out/a.jpg", isTaken), "out/a (3).jpg");
    EXPECT_EQ(nameWithFreeSuffix("out/b.tar.jpg", isTaken), "out/b.tar (1).jpg");
    EXPECT_EQ(nameWithFreeSuffix("out/.hidden", isTaken), "out/.hidden (2)");
    EXPECT_EQ(nameWithFreeSuffix("noext", isTaken), "noext (1)");
    // A dot in a folder's name is no extension.
    EXPECT_EQ(nameWithFreeSuffix("a.d/pic", isTaken), "a.d/pic (1)");
}

// The rules every backend takes from the contract, on their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/contract_rules.h"

using namespace tv;

namespace {

TEST(ContractRules, EventsIdenticalToTheLastWaitingOneMerge) {
    EventQueue q;
    const Event a{EventKind::Gadget, 200, 2001, cause::Change};
    const Event b{EventKind::Gadget, 200, 2016, cause::Click};
    EXPECT_TRUE(q.push(a));
    EXPECT_FALSE(q.push(a));
    EXPECT_TRUE(q.push(Event{EventKind::Gadget, 200, 2001, cause::FocusIn}));  // another cause
    EXPECT_TRUE(q.push(b));
    EXPECT_TRUE(q.push(a));  // only the last waiting one counts
    EXPECT_EQ(q.size(), 4u);
    EXPECT_EQ(q.take(), a);
    EXPECT_EQ(q.lastGadget(), 2001);
    q.take();
    EXPECT_EQ(q.take(), b);
    EXPECT_EQ(q.lastGadget(), 2016);
    EXPECT_EQ(q.take(), a);
    EXPECT_EQ(q.take().kind, EventKind::None);
    EXPECT_EQ(q.lastGadget(), 2001);  // taking nothing leaves it
}

TEST(ContractRules, MessageBoxButtonsIconsAndClosedAnswers) {
    struct Case {
        unsigned type;
        MessageButtons buttons;
        MessageIcon icon;
        int closed;
    } cases[] = {
        {mb::Ok, MessageButtons::Ok, MessageIcon::None, answer::Ok},
        {mb::Ok | mb::IconError, MessageButtons::Ok, MessageIcon::Error, answer::Ok},
        {mb::YesNoCancel | mb::IconWarning, MessageButtons::YesNoCancel, MessageIcon::Warning, answer::Cancel},
        {mb::YesNo | mb::IconWarning, MessageButtons::YesNo, MessageIcon::Warning, answer::No},
        {1, MessageButtons::Ok, MessageIcon::None, answer::Ok},  // a set the contract does not name
        {0x25, MessageButtons::Ok, MessageIcon::None, answer::Ok},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(messageButtons(c.type), c.buttons) << c.type;
        EXPECT_EQ(messageIcon(c.type), c.icon) << c.type;
        EXPECT_EQ(closedAnswer(c.type), c.closed) << c.type;
    }
}

TEST(ContractRules, RequesterDisablesItsOwnerAndOnTheUiThreadEveryVisibleWindow) {
    EXPECT_TRUE(requesterDisables(203, true, 203, false));
    EXPECT_FALSE(requesterDisables(200, true, 203, false));
    EXPECT_TRUE(requesterDisables(200, true, 203, true));
    EXPECT_FALSE(requesterDisables(201, false, 203, true));
    EXPECT_FALSE(requesterDisables(200, true, 0, false));  // no owner
}

TEST(ContractRules, FolderChooserStartsWithoutTheTrailingSeparatorButARootKeepsIt) {
    EXPECT_EQ(chooserStartFolder("/home/user/Photos/"), "/home/user/Photos");
    EXPECT_EQ(chooserStartFolder("/home/user/Photos"), "/home/user/Photos");
    EXPECT_EQ(chooserStartFolder("/a/"), "/a");
    EXPECT_EQ(chooserStartFolder("/"), "/");
    EXPECT_EQ(chooserStartFolder("C:/"), "C:/");
    EXPECT_EQ(chooserStartFolder("C:/Photos/"), "C:/Photos");
    EXPECT_EQ(chooserStartFolder(""), "");
    EXPECT_EQ(chosenFolder("/data/photos"), "/data/photos/");
    EXPECT_EQ(chosenFolder("/data/photos/"), "/data/photos/");
    EXPECT_EQ(chosenFolder(""), "");
}

TEST(ContractRules, RowsSplitOnLineFeedsAndNewItemsGoWhereAsked) {
    EXPECT_EQ(rowColumns("a.jpg\n12 byte"), (std::vector<std::string>{"a.jpg", "12 byte"}));
    EXPECT_EQ(rowColumns("a\n\nc\n"), (std::vector<std::string>{"a", "", "c", ""}));
    EXPECT_EQ(rowColumns(""), (std::vector<std::string>{""}));
    EXPECT_EQ(insertionIndex(-1, 3), 3);
    EXPECT_EQ(insertionIndex(0, 3), 0);
    EXPECT_EQ(insertionIndex(3, 3), 3);
    EXPECT_EQ(insertionIndex(7, 3), 3);
    std::vector<std::string> rows{"JPG", "PNG", "BMP"};
    auto textOf = [&](int i) { return rows[i]; };
    EXPECT_EQ(rowWithText(3, textOf, "BMP"), 2);
    EXPECT_EQ(rowWithText(3, textOf, "bmp"), -1);
}

TEST(ContractRules, SpinValueIsTheTypedWholeNumberWithinTheRange) {
    const Range r = rangeOf(30000, 1);
    EXPECT_EQ(r.lo, 1);
    EXPECT_EQ(r.hi, 30000);
    EXPECT_EQ(r.clamp(0), 1);
    EXPECT_EQ(spinValue("17", r, 5), 17);
    EXPECT_EQ(spinValue("  17 ", r, 5), 17);
    EXPECT_EQ(spinValue("+17", r, 5), 17);
    EXPECT_EQ(spinValue("-17", r, 5), 1);
    EXPECT_EQ(spinValue("99999999999", r, 5), 30000);
    EXPECT_EQ(spinValue("\t17", r, 5), 5);  // trimming takes spaces only
    EXPECT_EQ(spinValue("1 7", r, 5), 5);
    EXPECT_EQ(spinValue("00abc", r, 5), 5);
    EXPECT_EQ(spinValue("", r, 5), 5);
    EXPECT_EQ(spinValue("-", r, 5), 5);
    EXPECT_EQ(wholeNumber("-9223372036854775808"), std::optional<long long>(-9223372036854775807LL - 1));
    EXPECT_EQ(wholeNumber("9223372036854775808"), std::nullopt);
    EXPECT_EQ(spinText(12345), "12345");
}

TEST(ContractRules, TitlesAreCutWhole) {
    EXPECT_EQ(clipTitle(std::string(300, 'a')).size(), 255u);
    std::string accents;
    for (int i = 0; i < 200; ++i) accents += "é";  // two bytes each
    std::string cut = clipTitle(accents);
    EXPECT_EQ(cut.size(), 254u) << "a character is never split";
    EXPECT_EQ(clipTitle("short"), "short");
}

TEST(ContractRules, FontsWindowsAndColours) {
    EXPECT_FALSE(fontRequestValid("", 10));
    EXPECT_FALSE(fontRequestValid("Palatino Linotype", 0));
    EXPECT_TRUE(fontRequestValid("Palatino Linotype", 12));
    EXPECT_EQ(fontPixelHeight(12, 96.0), 16);
    EXPECT_EQ(fontPixelHeight(9, 72.0), 9);
    EXPECT_EQ(fontPixelHeight(1, 10.0), 1);
    EXPECT_TRUE(windowSizeValid(0, 0));
    EXPECT_FALSE(windowSizeValid(-1, 10));
    EXPECT_EQ(redOf(0x0000FF), 255);
    EXPECT_EQ(greenOf(0x00FF00), 255);
    EXPECT_EQ(blueOf(0xFF0000), 255);
    EXPECT_EQ(redOf(0x00FFFF), 255);
    EXPECT_EQ(blueOf(0x00FFFF), 0);
}

}  // namespace

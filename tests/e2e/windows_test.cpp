// The four windows as built, their handlers, the open-folder default, the
// progress display and the run loop's refresh timing.
#include <gtest/gtest.h>

#include "expected_windows.h"
#include "harness.h"
#include "windows/windows.h"

using namespace e2e;

namespace {

const std::vector<unsigned char> EnglishDefaults{5, 0, 0, 0, 1, 0x65};

// Start-up only; the test then plays the set-up loop by hand.
struct Started : ProgramRun {
    explicit Started(std::vector<unsigned char> stored = EnglishDefaults) {
        storeOptions(std::move(stored));
        ok = tv::startUp(p);
    }
    // Dispatches every queued event as the set-up loop would.
    void pump() {
        while (ui.pendingEvents() > 0 && !p.ended) stage = tv::dispatchSetupEvent(p, ui.waitEvent(0), stage);
    }
    bool ok = false;
    tv::SetupStage stage = tv::SetupStage::Settings;
};

}  // namespace

TEST(WindowBuilding, EveryGadgetMatchesTheTables) {
    Started s;
    ASSERT_TRUE(s.ok);
    for (const ExpectedWindow& w : expectedWindowsEnglish()) {
        SCOPED_TRACE(w.id);
        auto rect = s.ui.windowRect(w.id);
        ASSERT_TRUE(rect.has_value());
        EXPECT_EQ(rect->w, w.width);
        EXPECT_EQ(rect->h, w.height);
        EXPECT_EQ(s.ui.windowTitle(w.id), w.title);
        EXPECT_EQ(s.ui.isWindowVisible(w.id), w.visible);
        unsigned flags = s.ui.windowFlags(w.id);
        EXPECT_TRUE(flags & tv::wflag::TitleBar);
        EXPECT_TRUE(flags & tv::wflag::Centered);
        EXPECT_EQ((flags & tv::wflag::Invisible) != 0, !w.visible);
    }
    for (const ExpectedGadget& g : expectedGadgetsEnglish()) {
        SCOPED_TRACE(g.id);
        ASSERT_TRUE(s.ui.gadgetExists(g.id));
        EXPECT_EQ(s.ui.gadgetKind(g.id), g.kind);
        EXPECT_EQ(s.ui.gadgetWindow(g.id), g.window);
        EXPECT_EQ(s.ui.gadgetRect(g.id), g.rect);
        if (g.kind != tv::GadgetKind::List && g.kind != tv::GadgetKind::ProgressBar) {
            std::string want = g.text == DefaultFolderMark ? s.photos : g.text;
            EXPECT_EQ(s.ui.getText(g.id), want);
        }
        if (g.kind != tv::GadgetKind::Frame && g.kind != tv::GadgetKind::Text && g.kind != tv::GadgetKind::String &&
            g.kind != tv::GadgetKind::Button) {
            EXPECT_EQ(s.ui.getState(g.id), g.state);
        }
        EXPECT_EQ(s.ui.isGadgetDisabled(g.id), g.disabled);
        EXPECT_EQ(s.ui.isGadgetHidden(g.id), g.hidden);
        EXPECT_EQ(s.ui.toolTip(g.id), g.toolTip);
    }
    // Ids without a gadget.
    EXPECT_FALSE(s.ui.gadgetExists(2008));
    EXPECT_FALSE(s.ui.gadgetExists(2015));

    // Alignment of the texts.
    EXPECT_EQ(s.ui.textAlign(id::TextVersion), tv::Align::Right);
    EXPECT_EQ(s.ui.textAlign(id::TextCounter), tv::Align::Right);
    EXPECT_EQ(s.ui.textAlign(id::TextContainsVideo), tv::Align::Center);
    for (int t : {id::TextFormat, id::TextCompression, id::TextSize, id::TextRatio, id::TextParams, id::TextCount,
                  id::TextProgression})
        EXPECT_EQ(s.ui.textAlign(t), tv::Align::Left) << t;

    // Combo rows.
    std::vector<std::string> formats{"JPG", "PNG", "BMP"};
    ASSERT_EQ(s.ui.countItems(id::ComboFormat), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.ui.getItemText(id::ComboFormat, i, 0), formats[i]);
    ASSERT_EQ(s.ui.countItems(id::ComboCompression), 11);
    for (int i = 0; i <= 10; ++i) EXPECT_EQ(s.ui.getItemText(id::ComboCompression, i, 0), std::to_string(i));
    std::vector<std::string> sizes{"Other",     " 20%: 1/5", " 25%: 1/4", " 33%: 1/3", " 50%: 1/2", " 66%: 2/3",
                                   "100%: 1/1", "150%: 3/2", "200%: 2/1", "300%: 3/1", "400%: 4/1"};
    ASSERT_EQ(s.ui.countItems(id::ComboSize), 11);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(s.ui.getItemText(id::ComboSize, i, 0), sizes[i]);

    // List columns, font, colours, ranges.
    EXPECT_EQ(s.ui.columnTitles(id::ListImgList), (std::vector<std::string>{"Images", "Size"}));
    EXPECT_EQ(s.ui.countItems(id::ListImgList), 0);
    auto font = s.ui.fontInfo(s.ui.gadgetFont(id::ButtonList));
    EXPECT_EQ(font.name, "Palatino Linotype");
    EXPECT_EQ(font.points, 11);
    EXPECT_TRUE(font.bold);
    EXPECT_EQ(s.ui.gadgetColour(id::TextContainsVideo, tv::colour_which::Text), 0x0000FFu);
    EXPECT_EQ(s.ui.gadgetColour(id::TextContainsVideo, tv::colour_which::Background), 0x00FFFFu);
    EXPECT_EQ(s.ui.gadgetRange(id::SpinCount), (std::pair<int, int>{1, 30000}));
    EXPECT_EQ(s.ui.gadgetRange(id::ProgressBarProgression), (std::pair<int, int>{0, 100}));

    // Start-up wrote the options at once, and the tables are in place.
    EXPECT_EQ(dataTvl(s.work.folder()), EnglishDefaults);
    EXPECT_EQ(s.p.extensionCount, 4);
    EXPECT_EQ(s.p.extensions[0], "");
    EXPECT_EQ(s.p.extensions[1], "bmp");
    EXPECT_EQ(s.p.extensions[2], "jpg");
    EXPECT_EQ(s.p.extensions[3], "jpeg");
    EXPECT_EQ(s.p.extensions[4], "png");
    EXPECT_EQ(s.p.extensions[5], "");
    EXPECT_EQ(s.p.engine.decoders.size(), 2u);
    EXPECT_EQ(s.p.engine.encoders.size(), 2u);
    EXPECT_EQ(s.p.defaultFolder, s.photos);
}

TEST(WindowBuilding, StoredOptionsSetTheControls) {
    Started s({10, 1, 1, 1, 0, 0x65});
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.ui.getText(id::ComboCompression), "10");
    EXPECT_EQ(s.ui.getState(id::CheckboxRenameImage), 1);
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::StringFileName));
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::SpinCount));
    EXPECT_EQ(s.ui.getState(id::CheckboxOtherFolder), 1);
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::StringOtherFolder));
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ButtonBrowseOther));
    EXPECT_EQ(s.ui.getState(id::CheckboxDeleteImage), 1);
    EXPECT_EQ(s.ui.getState(id::CheckboxExtensionCase), 0);
    EXPECT_EQ(s.ui.getState(id::SpinCount), 1);
    EXPECT_EQ(dataTvl(s.work.folder()), (std::vector<unsigned char>{10, 1, 1, 1, 0, 0x65}));
}

TEST(WindowBuilding, FrenchCaptions) {
    Started s({5, 0, 0, 0, 1, 0x66});
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.ui.windowTitle(id::WndMain), "Tarvolin - Choix des options");
    EXPECT_EQ(s.ui.getText(id::ButtonList), "Lister");
    EXPECT_EQ(s.ui.getText(id::ButtonStopCompression), "Arrêter");
    EXPECT_EQ(s.ui.getText(id::ButtonLaunchCompression), "Lancer la compression");
    EXPECT_EQ(s.ui.getText(id::TextVersion), "Version: 2.5.1");
    EXPECT_EQ(s.ui.getText(id::ComboSize), "100%: 1/1");
    EXPECT_EQ(s.ui.getItemText(id::ComboSize, 0, 0), "Autre");
    EXPECT_EQ(s.ui.getText(id::StringFileName), "Nouvel album #");
}

TEST(StartUp, ClipboardFolderReplacesThePicturesFolder) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    std::string other = r.work.sub("elsewhere");
    r.ui.setClipboard(other);
    ASSERT_TRUE(tv::startUp(r.p));
    EXPECT_EQ(r.ui.getText(id::StringPath), other);
    EXPECT_EQ(r.ui.getText(id::StringOtherFolder), r.photos);
}

TEST(StartUp, ClipboardFileOrFreeTextIsIgnored) {
    for (std::string clip : {std::string("just some words"), std::string("@FILE@")}) {
        ProgramRun r;
        r.storeOptions(EnglishDefaults);
        if (clip == "@FILE@") {
            clip = r.photos + "a.jpg";
            writeJpeg(clip, 8, 8, 0);
        }
        r.ui.setClipboard(clip);
        ASSERT_TRUE(tv::startUp(r.p));
        EXPECT_EQ(r.ui.getText(id::StringPath), r.photos);
    }
}

TEST(StartUp, NoPicturesFolderLeavesFieldsEmptyAndListEnabled) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.picturesFolder = "";
    ASSERT_TRUE(tv::startUp(r.p));
    EXPECT_EQ(r.ui.getText(id::StringPath), "");
    EXPECT_EQ(r.ui.getText(id::StringOtherFolder), "");
    // Follows the field only from its first event.
    EXPECT_FALSE(r.ui.isGadgetDisabled(id::ButtonList));
}

TEST(SettingsHandlers, FolderFieldEnablesListOnlyForAnExistingFolder) {
    Started s;
    ASSERT_TRUE(s.ok);
    ASSERT_TRUE(s.ui.typeText(id::StringPath, s.photos + "missing"));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonList));
    ASSERT_TRUE(s.ui.typeText(id::StringPath, s.photos));
    s.pump();
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ButtonList));
    // Untrimmed: a leading space is not the folder.
    ASSERT_TRUE(s.ui.typeText(id::StringPath, " " + s.photos));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonList));
}

TEST(SettingsHandlers, PasteTakesAnyClipboardTextButNotAnEmptyOne) {
    Started s;
    ASSERT_TRUE(s.ok);
    s.ui.setClipboard("");
    ASSERT_TRUE(s.ui.click(id::ButtonPaste));
    s.pump();
    EXPECT_EQ(s.ui.getText(id::StringPath), s.photos);
    s.ui.setClipboard("free text");
    ASSERT_TRUE(s.ui.click(id::ButtonPaste));
    s.pump();
    EXPECT_EQ(s.ui.getText(id::StringPath), "free text");
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonList));
}

TEST(SettingsHandlers, BrowseStartsOnTheTrimmedFieldAndCancelChangesNothing) {
    Started s;
    ASSERT_TRUE(s.ok);
    std::string chosen = s.work.sub("chosen");
    ASSERT_TRUE(s.ui.typeText(id::StringPath, "  " + s.photos + "  "));
    s.pump();
    s.ui.pushTextAnswer(chosen);
    ASSERT_TRUE(s.ui.click(id::ButtonBrowse));
    s.pump();
    auto log = s.ui.requesterLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, tv::RequesterKind::FolderChooser);
    EXPECT_EQ(log.back().title, "Select folder");
    EXPECT_EQ(log.back().defaultText, s.photos);
    EXPECT_EQ(s.ui.getText(id::StringPath), chosen);
    EXPECT_TRUE(s.p.sourceChosenByChooser);
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ButtonList));

    s.p.sourceChosenByChooser = false;
    s.ui.pushTextAnswer("");
    ASSERT_TRUE(s.ui.click(id::ButtonBrowse));
    s.pump();
    EXPECT_EQ(s.ui.getText(id::StringPath), chosen);
    EXPECT_FALSE(s.p.sourceChosenByChooser);
}

TEST(SettingsHandlers, FormatGreysQualityAndOtherRowShowsRatio) {
    Started s;
    ASSERT_TRUE(s.ok);
    ASSERT_TRUE(s.ui.selectComboRow(id::ComboFormat, 1));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ComboCompression));
    ASSERT_TRUE(s.ui.selectComboRow(id::ComboFormat, 2));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ComboCompression));
    ASSERT_TRUE(s.ui.selectComboRow(id::ComboFormat, 0));
    s.pump();
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ComboCompression));
    EXPECT_EQ(s.ui.getText(id::ComboCompression), "5");

    ASSERT_TRUE(s.ui.selectComboRow(id::ComboSize, 0));
    s.pump();
    EXPECT_FALSE(s.ui.isGadgetHidden(id::TextRatio));
    EXPECT_FALSE(s.ui.isGadgetHidden(id::StringRatio));
    ASSERT_TRUE(s.ui.typeText(id::StringRatio, "3/4"));
    ASSERT_TRUE(s.ui.selectComboRow(id::ComboSize, 3));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetHidden(id::TextRatio));
    EXPECT_TRUE(s.ui.isGadgetHidden(id::StringRatio));
    EXPECT_EQ(s.ui.getText(id::StringRatio), "3/4");
}

TEST(SettingsHandlers, ListOnAMissingFolderEndsTheProgram) {
    Started s;
    ASSERT_TRUE(s.ok);
    s.ui.setText(id::StringPath, s.photos + "nothing-here");
    s.ui.waitEvent(0);  // the field's event is left unhandled: List still enabled
    ASSERT_TRUE(s.ui.click(id::ButtonList));
    s.pump();
    EXPECT_TRUE(s.p.ended);
    EXPECT_TRUE(s.p.catalogue.empty());
}

namespace {
// Started and listed: five photos in the list window.
struct Listed : Started {
    Listed() {
        makePhotos(5);
        if (!ok) return;
        ui.click(id::ButtonList);
        pump();
    }
    std::vector<bool> ticks() {
        std::vector<bool> t;
        for (int i = 0; i < ui.countItems(id::ListImgList); ++i)
            t.push_back((ui.getItemState(id::ListImgList, i) & tv::row::Ticked) != 0);
        return t;
    }
};
}  // namespace

TEST(ListHandlers, ChangeAfterAndBeforeInvertAroundTheSelectedRow) {
    Listed s;
    ASSERT_EQ(s.stage, tv::SetupStage::Listing);
    ASSERT_EQ(s.ui.countItems(id::ListImgList), 5);
    EXPECT_EQ(s.ticks(), (std::vector<bool>{true, true, true, true, true}));
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonChangeAfter));

    ASSERT_TRUE(s.ui.selectRow(id::ListImgList, 2));
    s.pump();
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ButtonChangeAfter));
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ButtonChangeBefore));

    ASSERT_TRUE(s.ui.click(id::ButtonChangeAfter));
    s.pump();
    EXPECT_EQ(s.ticks(), (std::vector<bool>{true, true, true, false, false}));
    EXPECT_EQ(s.ui.getState(id::ListImgList), 2);
    EXPECT_EQ(s.ui.focusedGadget(), id::ListImgList);

    // Mixed ticks are inverted one by one.
    ASSERT_TRUE(s.ui.tickRow(id::ListImgList, 0, false));
    s.pump();
    ASSERT_TRUE(s.ui.click(id::ButtonChangeBefore));
    s.pump();
    EXPECT_EQ(s.ticks(), (std::vector<bool>{true, false, true, false, false}));
    EXPECT_EQ(s.ui.getItemState(id::ListImgList, 2), tv::row::Selected | tv::row::Ticked);

    ASSERT_TRUE(s.ui.clickBelowRows(id::ListImgList));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonChangeAfter));
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonChangeBefore));
}

TEST(ListHandlers, EdgeRowsToggleNothing) {
    Listed s;
    ASSERT_EQ(s.stage, tv::SetupStage::Listing);
    ASSERT_TRUE(s.ui.selectRow(id::ListImgList, 0));
    s.pump();
    ASSERT_TRUE(s.ui.click(id::ButtonChangeBefore));
    s.pump();
    ASSERT_TRUE(s.ui.selectRow(id::ListImgList, 4));
    s.pump();
    ASSERT_TRUE(s.ui.click(id::ButtonChangeAfter));
    s.pump();
    EXPECT_EQ(s.ticks(), (std::vector<bool>{true, true, true, true, true}));
    EXPECT_EQ(s.ui.focusedGadget(), id::ListImgList);
}

TEST(ListHandlers, ToggleRowCheckKeepsTheSelectionBit) {
    Listed s;
    ASSERT_EQ(s.stage, tv::SetupStage::Listing);
    s.ui.setItemState(id::ListImgList, 1, tv::row::Selected | tv::row::Ticked);
    tv::toggleRowCheck(s.p, 1);
    EXPECT_EQ(s.ui.getItemState(id::ListImgList, 1), tv::row::Selected);
    tv::toggleRowCheck(s.p, 1);
    EXPECT_EQ(s.ui.getItemState(id::ListImgList, 1), tv::row::Selected | tv::row::Ticked);
    s.ui.setItemState(id::ListImgList, 3, 0);
    tv::toggleRowCheck(s.p, 3);
    EXPECT_EQ(s.ui.getItemState(id::ListImgList, 3), tv::row::Ticked);
}

TEST(ListHandlers, NextCountsTickedRowsAndMovesOn) {
    Listed s;
    ASSERT_EQ(s.stage, tv::SetupStage::Listing);
    s.p.ProcessedCount.store(9);
    ASSERT_TRUE(s.ui.tickRow(id::ListImgList, 1, false));
    ASSERT_TRUE(s.ui.click(id::ButtonNext));
    s.pump();
    EXPECT_EQ(s.stage, tv::SetupStage::Options);
    EXPECT_EQ(s.p.TickedCount.load(), 4);
    EXPECT_EQ(s.p.ProcessedCount.load(), 0);
    EXPECT_EQ(s.ui.getText(id::TextParams), "Settings for 4 images to compress");
    EXPECT_FALSE(s.ui.isWindowVisible(id::WndList));
    EXPECT_TRUE(s.ui.isWindowVisible(id::WndCompress));
}

TEST(ListHandlers, StaleEventsOfALeftWindowAreIgnored) {
    Listed s;
    ASSERT_EQ(s.stage, tv::SetupStage::Listing);
    // A second List press queued before the settings window went away.
    s.ui.queueEvent({tv::EventKind::Gadget, id::WndMain, id::ButtonList, 0});
    s.pump();
    EXPECT_EQ(s.p.catalogue.size(), 5u);
    EXPECT_EQ(s.ui.countItems(id::ListImgList), 5);
}

TEST(CompressHandlers, BoxesEnableTheirFieldsAndKeepTexts) {
    Listed s;
    ASSERT_TRUE(s.ui.click(id::ButtonNext));
    s.pump();
    ASSERT_EQ(s.stage, tv::SetupStage::Options);
    ASSERT_TRUE(s.ui.click(id::CheckboxRenameImage));
    s.pump();
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::StringFileName));
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::SpinCount));
    EXPECT_EQ(s.ui.getText(id::StringFileName), "Nouvel album #");
    ASSERT_TRUE(s.ui.click(id::CheckboxRenameImage));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::StringFileName));
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::SpinCount));

    ASSERT_TRUE(s.ui.click(id::CheckboxOtherFolder));
    s.pump();
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::StringOtherFolder));
    EXPECT_FALSE(s.ui.isGadgetDisabled(id::ButtonBrowseOther));
    s.ui.pushTextAnswer("");
    ASSERT_TRUE(s.ui.click(id::ButtonBrowseOther));
    s.pump();
    EXPECT_FALSE(s.p.otherChosenByChooser);
    EXPECT_EQ(s.ui.getText(id::StringOtherFolder), s.photos);
    ASSERT_TRUE(s.ui.click(id::CheckboxOtherFolder));
    s.pump();
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::StringOtherFolder));
    EXPECT_TRUE(s.ui.isGadgetDisabled(id::ButtonBrowseOther));
}

TEST(CompressHandlers, RefusedOptionsKeepTheWindow) {
    Listed s;
    ASSERT_TRUE(s.ui.click(id::ButtonNext));
    s.pump();
    ASSERT_TRUE(s.ui.click(id::CheckboxRenameImage));
    s.pump();
    ASSERT_TRUE(s.ui.typeText(id::StringFileName, "Photo"));
    ASSERT_TRUE(s.ui.click(id::ButtonLaunchCompression));
    s.pump();
    EXPECT_EQ(s.stage, tv::SetupStage::Options);
    EXPECT_EQ(s.p.WorkerFinished.load(), 0);  // no worker ever ran
    EXPECT_TRUE(s.ui.isWindowVisible(id::WndCompress));
    EXPECT_FALSE(s.ui.isWindowVisible(id::WndProgress));
    auto log = s.ui.requesterLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().text, "Filename should contain exactly one '#' !");
}

TEST(DestinationFolder, FolderPartOfTheTargetElseTheSourceFolder) {
    Started s;
    ASSERT_TRUE(s.ok);
    s.p.run.sourceFolder = native("/pics/");
    EXPECT_EQ(tv::destinationFolderFor(s.p, ""), native("/pics/"));
    EXPECT_EQ(tv::destinationFolderFor(s.p, "Nouvel album #.jpg"), native("/pics/"));
    EXPECT_EQ(tv::destinationFolderFor(s.p, native("/out/")), native("/out/"));
    EXPECT_EQ(tv::destinationFolderFor(s.p, native("/out/sub/pic#.jpg")), native("/out/sub/"));
    EXPECT_EQ(tv::destinationFolderFor(s.p, native("/Trip #1/Holiday #.jpg")), native("/Trip #1/"));
}

TEST(OpenFolderDefault, FollowsTheChooserFlagsAndTheDesktopWindows) {
    struct Case {
        const char* what;
        bool sourceChosen, otherChosen, otherTicked;
        std::vector<tv::TopLevelWindow> desktop;
        bool expected;
    };
    const std::string dest = "/data/Photos/";
    std::vector<Case> cases = {
        {"source chosen, no other folder", true, false, false, {{dest, true, false}}, true},
        {"source typed, window shows the folder", false, false, false, {{dest, true, false}}, false},
        {"source typed, no such window", false, false, false, {}, true},
        {"source typed, window title without the final slash", false, false, false, {{"/data/Photos", true, false}},
         true},
        {"source typed, window of other case", false, false, false, {{"/data/photos/", true, false}}, true},
        {"source typed, the window is hidden", false, false, false, {{dest, false, false}}, true},
        {"source typed, the window is a tool window", false, false, false, {{dest, true, true}}, true},
        {"other chosen, no window", false, true, true, {}, true},
        {"other chosen, window shows it", false, true, true, {{dest, true, false}}, false},
        {"source chosen and other typed: only the window decides", true, false, true, {{dest, true, false}}, false},
        {"source chosen and other typed, no window", true, false, true, {}, true},
        {"other typed, source typed", false, false, true, {{dest, true, false}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Started s;
        ASSERT_TRUE(s.ok);
        for (const auto& w : c.desktop) s.ui.addDesktopWindow(w.title, w.visible, w.toolWindow);
        s.p.sourceChosenByChooser = c.sourceChosen;
        s.p.otherChosenByChooser = c.otherChosen;
        s.ui.setState(id::CheckboxOtherFolder, c.otherTicked ? 1 : 0);
        s.p.run.destinationFolder = dest;
        EXPECT_EQ(tv::initialOpenFolderState(s.p), c.expected);
    }
}

TEST(OpenFolderDefault, AWindowShowingTheSourceFolderLeavesTheBoxUnticked) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(2);
    r.ui.addDesktopWindow(r.photos, true, false, true);
    r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonList)); });
    r.onWindow(id::WndList, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonNext)); });
    r.onWindow(id::WndCompress, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonLaunchCompression)); });
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_EQ(r.ui.getState(id::CheckboxOpenFolder), 0);
    EXPECT_TRUE(r.opened.empty());
    EXPECT_TRUE(exists(r.photos + "IMG_0001.jpg"));
}

TEST(Progress, RefreshShowsCounterBarAndTitle) {
    Started s;
    ASSERT_TRUE(s.ok);
    tv::refreshProgress(s.p, 1, 3);
    EXPECT_EQ(s.ui.getText(id::TextCounter), "1/3");
    EXPECT_EQ(s.ui.getState(id::ProgressBarProgression), 33);
    EXPECT_EQ(s.ui.windowTitle(id::WndProgress), "33% - Tarvolin");
    tv::refreshProgress(s.p, 2, 3);
    EXPECT_EQ(s.ui.getState(id::ProgressBarProgression), 66);
    EXPECT_EQ(s.ui.windowTitle(id::WndProgress), "66% - Tarvolin");
    tv::refreshProgress(s.p, 0, 7);
    EXPECT_EQ(s.ui.getText(id::TextCounter), "0/7");
    EXPECT_EQ(s.ui.getState(id::ProgressBarProgression), 0);
    EXPECT_EQ(s.ui.windowTitle(id::WndProgress), "0% - Tarvolin");
    // Large counts do not overflow the percentage.
    tv::refreshProgress(s.p, 30000000, 40000000);
    EXPECT_EQ(s.ui.getState(id::ProgressBarProgression), 75);
    // No total: nothing to show, and no division by zero.
    tv::refreshProgress(s.p, 1, 0);
    EXPECT_EQ(s.ui.windowTitle(id::WndProgress), "75% - Tarvolin");
}

TEST(Progress, RefreshIsDueAfterMoreThan500msAcrossTheWrap) {
    EXPECT_TRUE(tv::refreshDue(false, 0, 100));
    EXPECT_TRUE(tv::refreshDue(false, 0, 0));
    EXPECT_FALSE(tv::refreshDue(true, 1000, 1500));
    EXPECT_TRUE(tv::refreshDue(true, 1000, 1501));
    EXPECT_FALSE(tv::refreshDue(true, 0xFFFFFF00u, 0xF4u));  // exactly 500 over the wrap
    EXPECT_TRUE(tv::refreshDue(true, 0xFFFFFF00u, 0xF5u));
    EXPECT_FALSE(tv::refreshDue(true, 0xFFFFFFF0u, 0x10u));
}

namespace {
// The run loop on its own, without a worker: the test plays the worker's
// counters and the clock from the idle callback, one pass at a time.
struct LoopRig : Started {
    struct Pass {
        std::uint32_t tick;
        int processed;
    };
    std::vector<Pass> passes;
    std::vector<std::string> counterSeen;  // counter text after each pass
    std::size_t pass = 0;

    void play() {
        everyIdle = [this] {
            if (pass > 0) counterSeen.push_back(ui.getText(id::TextCounter));
            if (pass < passes.size()) {
                ui.freezeTicks(passes[pass].tick);
                p.ProcessedCount.store(passes[pass].processed);
            } else {
                p.WorkerFinished.store(1);
            }
            ++pass;
        };
        ui.hideWindow(id::WndProgress, false);
        tv::runLoop(p);
    }
};
}  // namespace

TEST(RunLoop, RefreshesAtMostEvery500msWithAWrappingTickCount) {
    LoopRig rig;
    ASSERT_TRUE(rig.ok);
    rig.p.TickedCount.store(4);
    const std::uint32_t t0 = 0xFFFFFF00u;
    rig.passes = {{t0, 0}, {t0 + 500u, 1}, {t0 + 501u, 1}, {t0 + 900u, 2}, {t0 + 1002u, 3}};
    rig.play();
    EXPECT_TRUE(rig.p.ended);
    ASSERT_GE(rig.counterSeen.size(), 5u);
    EXPECT_EQ(rig.counterSeen[0], "0/4");  // first pass always refreshes
    EXPECT_EQ(rig.counterSeen[1], "0/4");  // exactly 500 ms: not yet
    EXPECT_EQ(rig.counterSeen[2], "1/4");
    EXPECT_EQ(rig.counterSeen[3], "1/4");
    EXPECT_EQ(rig.counterSeen[4], "3/4");
    // Finished is seen at the top: no last refresh.
    EXPECT_EQ(rig.ui.windowTitle(id::WndProgress), "75% - Tarvolin");
}

TEST(RunLoop, FirstPassRefreshesEvenEarlyInTheTickCount) {
    LoopRig rig;
    ASSERT_TRUE(rig.ok);
    rig.p.TickedCount.store(2);
    rig.passes = {{100u, 1}};
    rig.play();
    ASSERT_GE(rig.counterSeen.size(), 1u);
    EXPECT_EQ(rig.counterSeen[0], "1/2");
    EXPECT_EQ(rig.ui.windowTitle(id::WndProgress), "50% - Tarvolin");
}

TEST(RunLoop, NoTotalNeverRefreshes) {
    LoopRig rig;
    ASSERT_TRUE(rig.ok);
    rig.p.TickedCount.store(0);
    rig.passes = {{0xFFFFFFF0u, 0}, {2000u, 0}};
    rig.play();
    EXPECT_EQ(rig.ui.windowTitle(id::WndProgress), "Tarvolin");
    EXPECT_EQ(rig.ui.getText(id::TextCounter), "");
}

TEST(RunLoop, StopWithoutAWorkerStillAsksAndYesEnds) {
    LoopRig rig;
    ASSERT_TRUE(rig.ok);
    rig.p.TickedCount.store(3);
    rig.ui.pushAnswer(tv::answer::No);
    rig.ui.pushAnswer(tv::answer::Yes);
    int clicks = 0;
    rig.everyIdle = [&] {
        if (clicks < 2 && rig.ui.openRequesterCount() == 0) {
            ++clicks;
            rig.ui.click(id::ButtonStopCompression);
        }
    };
    rig.ui.hideWindow(id::WndProgress, false);
    tv::runLoop(rig.p);
    EXPECT_TRUE(rig.p.ended);
    EXPECT_EQ(clicks, 2);
    int asked = 0;
    for (const auto& rec : rig.ui.requesterLog())
        if (rec.text == "Are you sur to stop this program now ?") ++asked;
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(rig.p.WorkerFinished.load(), 0);
}

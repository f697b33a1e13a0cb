// Whole runs of the program, start-up to return, driven like a user.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <set>

#include "harness.h"
#include "support/locale_env.h"

using namespace e2e;

namespace {

const std::vector<unsigned char> EnglishDefaults{5, 0, 0, 0, 1, 0x65};

std::string numbered(int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Nouvel album %03d.jpg", n);
    return buf;
}

// The message boxes of the log that carry this exact text.
int countBoxes(tv::ScriptedWindowSystem& ui, const std::string& text) {
    int n = 0;
    for (const auto& r : ui.requesterLog())
        if (r.kind == tv::RequesterKind::MessageBox && r.text == text) ++n;
    return n;
}

// Settings: pick " 50%: 1/2" and List; Listing: untick rows; Next; Options:
// tick the rename box and Compress.
void scriptTypicalRun(ProgramRun& r, std::vector<int> untick) {
    r.onWindow(id::WndMain, [&r] {
        EXPECT_TRUE(r.ui.selectComboRow(id::ComboSize, 4));
        EXPECT_TRUE(r.ui.click(id::ButtonList));
    });
    r.onWindow(id::WndList, [&r, untick] {
        for (int row : untick) EXPECT_TRUE(r.ui.tickRow(id::ListImgList, row, false));
        EXPECT_TRUE(r.ui.click(id::ButtonNext));
    });
    r.onWindow(id::WndCompress, [&r] {
        EXPECT_TRUE(r.ui.click(id::CheckboxRenameImage));
        EXPECT_TRUE(r.ui.click(id::ButtonLaunchCompression));
    });
}

}  // namespace

TEST(WholeRun, TypicalBatchRenamesHalvesAndKeepsDates) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    auto names = r.makePhotos(12);
    scriptTypicalRun(r, {2, 5});

    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_TRUE(r.p.ended);
    EXPECT_TRUE(r.ui.isShutDown());
    EXPECT_EQ(r.p.WorkerFinished.load(), 1);

    EXPECT_FLOAT_EQ(r.p.ScaleRatio.load(), 0.5f);
    EXPECT_EQ(r.p.TickedCount.load(), 10);
    EXPECT_EQ(r.p.ProcessedCount.load(), 10);
    EXPECT_EQ(r.ui.getText(id::TextParams), "Settings for 10 images to compress");
    EXPECT_EQ(r.p.run.outputTarget, "Nouvel album #.jpg");
    EXPECT_EQ(r.p.run.destinationFolder, r.photos);
    ASSERT_EQ(r.p.catalogue.size(), 12u);

    // Number k goes to the k-th ticked entry in catalogue order.
    int number = 1;
    for (std::size_t i = 0; i < r.p.catalogue.size(); ++i) {
        if (i == 2 || i == 5) continue;
        const std::string src = r.photos + r.p.catalogue[i].name;
        const std::string out = r.photos + numbered(number++);
        int sw = 0, sh = 0, ow = 0, oh = 0;
        ASSERT_TRUE(jpegSize(src, sw, sh)) << src;
        ASSERT_TRUE(jpegSize(out, ow, oh)) << out;
        EXPECT_EQ(ow, sw / 2) << out;
        EXPECT_EQ(oh, sh / 2) << out;
        EXPECT_EQ(modificationTime(out), modificationTime(src)) << out;
    }
    EXPECT_FALSE(exists(r.photos + numbered(11)));
    // Sources stay, nothing else appears.
    EXPECT_EQ(listNames(r.photos).size(), 22u);

    // Source typed by the pictures folder, no window shows it: opened once.
    ASSERT_EQ(r.opened.size(), 1u);
    EXPECT_EQ(r.opened[0], r.photos);
    // Written again at the end of the batch with the rename box ticked.
    EXPECT_EQ(dataTvl(r.work.folder()), (std::vector<unsigned char>{5, 1, 0, 0, 1, 0x65}));
    EXPECT_FALSE(exists(r.work.folder() + "temp.tmp"));
    // A fast batch may end before the first refresh; when one came it was
    // a whole percentage of the ten ticked images.
    std::string title = r.ui.windowTitle(id::WndProgress);
    if (title != "Tarvolin") {
        EXPECT_NE(title.find("0% - Tarvolin"), std::string::npos) << title;
    }
}

TEST(WholeRun, RenamedOutputsAreNumberedInNameOrder) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    // Made in neither name order nor its reverse; the k-th name in name
    // order is the only photo k*8 + 64 pixels wide.
    const std::vector<std::string> byName = {"a.jpg", "B.jpg", "IMG_10.jpg", "img_9.JPG", "Z.jpg"};
    for (int i : {3, 0, 4, 2, 1}) writeJpeg(r.photos + byName[i], 64 + 8 * i, 48, i);
    scriptTypicalRun(r, {});

    EXPECT_EQ(r.run(), 0);
    ASSERT_EQ(r.p.catalogue.size(), byName.size());
    for (std::size_t i = 0; i < byName.size(); ++i) {
        EXPECT_EQ(r.p.catalogue[i].name, byName[i]);
        int w = 0, h = 0;
        ASSERT_TRUE(jpegSize(r.photos + numbered(static_cast<int>(i) + 1), w, h));
        EXPECT_EQ(w, (64 + 8 * static_cast<int>(i)) / 2) << numbered(static_cast<int>(i) + 1);
    }
}

TEST(WholeRun, NextWithNothingTickedStillFinishesAndOpensTheFolder) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(3);
    r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonList)); });
    r.onWindow(id::WndList, [&r] {
        for (int row = 0; row < 3; ++row) EXPECT_TRUE(r.ui.tickRow(id::ListImgList, row, false));
        EXPECT_TRUE(r.ui.click(id::ButtonNext));
    });
    r.onWindow(id::WndCompress, [&r] {
        EXPECT_EQ(r.ui.getText(id::TextParams), "Settings for 0 images to compress");
        EXPECT_TRUE(r.ui.click(id::ButtonLaunchCompression));
    });
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_EQ(r.p.TickedCount.load(), 0);
    EXPECT_EQ(r.p.WorkerFinished.load(), 1);
    // Never refreshed: the window as built.
    EXPECT_EQ(r.ui.windowTitle(id::WndProgress), "Tarvolin");
    EXPECT_EQ(r.ui.getText(id::TextCounter), "");
    EXPECT_EQ(r.ui.getState(id::ProgressBarProgression), 0);
    // The worker finishes at once, yet sees the open-folder box as decided.
    ASSERT_EQ(r.opened.size(), 1u);
    EXPECT_EQ(r.opened[0], r.photos);
    EXPECT_EQ(listNames(r.photos).size(), 3u);
}

namespace {
// Stop pressed a few photos into a held batch, while the worker waits for
// the next photo.
void stopBetweenPhotos(ProgramRun& r, int processed) {
    auto between = [&r, processed] {
        return r.ui.isWindowVisible(id::WndProgress) && r.p.ProcessedCount.load() >= processed && r.loads.holding();
    };
    r.when(between, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonStopCompression)); });
}
}  // namespace

TEST(WholeRun, StopAnsweredNoLetsTheBatchComplete) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(12, 640, 480);
    r.holdLoads();
    scriptTypicalRun(r, {});
    std::atomic<int> stopQuestions{0};
    r.ui.setAnswerProvider([&](const tv::RequesterRecord& rec) -> std::optional<tv::RequesterAnswer> {
        if (rec.text == "Are you sur to stop this program now ?") {
            ++stopQuestions;
            // The worker is held while the question is open: the photo let
            // through now is not finished before the answer.
            int before = r.p.ProcessedCount.load();
            EXPECT_TRUE(r.loads.release());
            EXPECT_TRUE(r.loads.waitTaken());
            // Time enough for a worker that missed the pause to finish it; a
            // slow machine only makes this check weaker.
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            EXPECT_EQ(r.p.ProcessedCount.load(), before);
            EXPECT_FALSE(exists(r.photos + numbered(before + 1)));
            return tv::RequesterAnswer{tv::answer::No, ""};
        }
        return std::nullopt;
    });
    stopBetweenPhotos(r, 3);

    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_EQ(stopQuestions.load(), 1);
    for (const auto& rec : r.ui.requesterLog()) {
        if (rec.text != "Are you sur to stop this program now ?") continue;
        EXPECT_EQ(rec.title, "Tarvolin - Warning");
        EXPECT_EQ(rec.type, tv::mb::YesNo | tv::mb::IconNone);
        EXPECT_FALSE(rec.fromOtherThread);
    }
    EXPECT_EQ(r.p.ProcessedCount.load(), 12);
    for (int n = 1; n <= 12; ++n) EXPECT_TRUE(exists(r.photos + numbered(n))) << n;
    EXPECT_EQ(dataTvl(r.work.folder()), (std::vector<unsigned char>{5, 1, 0, 0, 1, 0x65}));
    EXPECT_EQ(r.opened.size(), 1u);
}

TEST(WholeRun, StopAnsweredYesEndsWithoutRewritingOptionsOrLeavingPartialFiles) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    auto names = r.makePhotos(12, 1600, 1200);
    r.holdLoads();
    scriptTypicalRun(r, {});
    int processedAtStop = -1;
    r.ui.setAnswerProvider([&](const tv::RequesterRecord& rec) -> std::optional<tv::RequesterAnswer> {
        if (rec.text == "Are you sur to stop this program now ?") {
            // Stopped in the middle of a photo: one is let through and held
            // by the pause until the answer.
            processedAtStop = r.p.ProcessedCount.load();
            EXPECT_TRUE(r.loads.release());
            EXPECT_TRUE(r.loads.waitTaken());
            return tv::RequesterAnswer{tv::answer::Yes, ""};
        }
        return std::nullopt;
    });
    stopBetweenPhotos(r, 2);

    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_TRUE(r.ui.isShutDown());
    EXPECT_FALSE(r.p.worker.joinable());
    EXPECT_GE(processedAtStop, 2);
    EXPECT_EQ(r.p.ProcessedCount.load(), processedAtStop);
    // data.tvl keeps the start-up write: the rename box was not stored.
    EXPECT_EQ(dataTvl(r.work.folder()), EnglishDefaults);
    EXPECT_TRUE(r.opened.empty());
    // Every name is a source or a finished output; outputs are whole JPEGs.
    std::set<std::string> sources(names.begin(), names.end());
    int outputs = 0;
    for (const std::string& n : listNames(r.photos)) {
        if (sources.count(n)) continue;
        ++outputs;
        ASSERT_EQ(n.rfind("Nouvel album ", 0), 0u) << "stray file " << n;
        int w = 0, h = 0;
        EXPECT_TRUE(jpegSize(r.photos + n, w, h)) << n;
        EXPECT_EQ(h, 600) << n;
    }
    EXPECT_EQ(outputs, processedAtStop);
    for (const std::string& n : names) EXPECT_TRUE(exists(r.photos + n));
}

TEST(WholeRun, ClosingAnyWindowEndsAtOnceWithTheStartUpOptions) {
    for (int closeAt : {id::WndMain, id::WndList, id::WndCompress, id::WndProgress}) {
        SCOPED_TRACE(closeAt);
        ProgramRun r;
        r.storeOptions(EnglishDefaults);
        r.makePhotos(12, 1200, 900);
        // The progress window is closed before any photo is let through.
        r.holdLoads();
        if (closeAt != id::WndMain) scriptTypicalRun(r, {});
        // The close box wins over the scripted step of that window.
        r.steps.insert(r.steps.begin() + (closeAt - id::WndMain),
                       Step{[&r, closeAt] { return r.ui.isWindowVisible(closeAt); },
                            [&r, closeAt] { EXPECT_TRUE(r.ui.closeWindow(closeAt)); }});
        EXPECT_EQ(r.run(), 0);
        ASSERT_TRUE(r.clean());
        EXPECT_TRUE(r.p.ended);
        EXPECT_TRUE(r.ui.isShutDown());
        EXPECT_EQ(dataTvl(r.work.folder()), EnglishDefaults);
        EXPECT_TRUE(r.opened.empty());
        if (closeAt != id::WndProgress) {
            EXPECT_EQ(r.p.WorkerFinished.load(), 0);  // no worker ever ran
        } else {
            EXPECT_EQ(r.p.WorkerFinished.load(), 1);  // the worker ran and ended
            EXPECT_EQ(r.p.ProcessedCount.load(), 0);
        }
        EXPECT_EQ(listNames(r.photos).size(), 12u);
    }
}

TEST(WholeRun, FolderWithOnlyVideosWarnsAndEnds) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    writeBytes(r.photos + "clip.MOV", "not a picture");
    writeBytes(r.photos + "holiday.avi", "not a picture");
    r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonList)); });
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_TRUE(r.p.ended);
    EXPECT_TRUE(r.p.catalogue.empty());
    EXPECT_FALSE(r.ui.isGadgetHidden(id::TextContainsVideo));
    EXPECT_EQ(countBoxes(r.ui, "None image found in this folder.\r\n  Program will shut down."), 1);
    EXPECT_EQ(r.p.WorkerFinished.load(), 0);  // no worker ever ran
    EXPECT_EQ(dataTvl(r.work.folder()), EnglishDefaults);
}

TEST(WholeRun, TypedRatioAnsweredNoEndsTheProgram) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(2);
    r.ui.pushAnswer(tv::answer::No);
    r.onWindow(id::WndMain, [&r] {
        EXPECT_TRUE(r.ui.selectComboRow(id::ComboSize, 0));
    });
    r.when([&r] { return !r.ui.isGadgetHidden(id::StringRatio); },
           [&r] {
               EXPECT_TRUE(r.ui.typeText(id::StringRatio, "1/2"));
               EXPECT_TRUE(r.ui.click(id::ButtonList));
           });
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_TRUE(r.p.ended);
    EXPECT_FALSE(r.ui.isWindowVisible(id::WndList));
    EXPECT_TRUE(r.p.catalogue.empty());
    EXPECT_EQ(countBoxes(r.ui, "Images will be resized to this scale: 50.0%.\r\nContinue ?"), 1);
    EXPECT_EQ(dataTvl(r.work.folder()), EnglishDefaults);
}

TEST(WholeRun, TypedRatioCancelledStaysThenPresetGoesOn) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(2);
    r.ui.pushAnswer(tv::answer::Cancel);
    r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.selectComboRow(id::ComboSize, 0)); });
    r.when([&r] { return !r.ui.isGadgetHidden(id::StringRatio); },
           [&r] { EXPECT_TRUE(r.ui.click(id::ButtonList)); });
    // Back in the settings window after the question.
    r.when([&r] { return r.ui.requesterLog().size() == 1 && r.ui.isWindowVisible(id::WndMain); },
           [&r] {
               EXPECT_TRUE(r.ui.selectComboRow(id::ComboSize, 6));
               EXPECT_TRUE(r.ui.click(id::ButtonList));
           });
    r.onWindow(id::WndList, [&r] { EXPECT_TRUE(r.ui.closeWindow(id::WndList)); });
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_EQ(r.p.catalogue.size(), 2u);
    EXPECT_FLOAT_EQ(r.p.ScaleRatio.load(), 1.0f);
}

TEST(WholeRun, FrenchFromStoredLanguageByte) {
    ProgramRun r;
    r.storeOptions({5, 0, 0, 0, 1, 0x66});
    r.makePhotos(2);
    scriptTypicalRun(r, {});
    std::string mainTitle, listCaption, compressCaption, stopCaption, params;
    r.steps.insert(r.steps.begin(), Step{[&r] { return r.ui.isWindowVisible(id::WndMain); },
                                         [&] {
                                             mainTitle = r.ui.windowTitle(id::WndMain);
                                             listCaption = r.ui.getText(id::ButtonList);
                                             compressCaption = r.ui.getText(id::ButtonLaunchCompression);
                                             stopCaption = r.ui.getText(id::ButtonStopCompression);
                                         }});
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_EQ(mainTitle, "Tarvolin - Choix des options");
    EXPECT_EQ(listCaption, "Lister");
    EXPECT_EQ(compressCaption, "Lancer la compression");
    EXPECT_EQ(stopCaption, "Arrêter");
    EXPECT_EQ(r.ui.getText(id::TextParams), "Paramètres pour les 2 images à convertir");
    EXPECT_TRUE(exists(r.photos + numbered(1)));
    EXPECT_TRUE(exists(r.photos + numbered(2)));
    EXPECT_EQ(dataTvl(r.work.folder()), (std::vector<unsigned char>{5, 1, 0, 0, 1, 0x66}));
}

using tvtest::LocaleEnv;

// Not on Windows: there the language comes from the system's locale, which
// a test cannot set.
#ifndef _WIN32
TEST(WholeRun, FirstStartPicksTheLanguageFromTheLocale) {
    struct Case {
        const char* locale;
        unsigned char code;
        const char* title;
        const char* windowLanguage;
    };
    for (const Case& c : {Case{"fr_CA.UTF-8", 0x66, "Tarvolin - Choix des options", "fr"},
                          Case{"en_US.UTF-8", 0x65, "Tarvolin - Settings", "en"},
                          Case{"de_DE.UTF-8", 0x65, "Tarvolin - Settings", "en"}}) {
        SCOPED_TRACE(c.locale);
        LocaleEnv env(c.locale);
        ProgramRun r;  // no data.tvl: first start
        std::string title;
        r.onWindow(id::WndMain, [&] {
            title = r.ui.windowTitle(id::WndMain);
            EXPECT_TRUE(r.ui.closeWindow(id::WndMain));
        });
        EXPECT_EQ(r.run(), 0);
        ASSERT_TRUE(r.scriptDone());
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(dataTvl(r.work.folder()), (std::vector<unsigned char>{5, 0, 0, 0, 1, c.code}));
        // Before any window, so that every box and chooser speaks it.
        EXPECT_EQ(r.ui.languageLog(), (std::vector<tv::LanguageChoice>{{c.windowLanguage, 0}}));
    }
}
#endif

TEST(WholeRun, WindowSystemSpeaksTheStoredLanguageWhateverTheDesktops) {
    struct Case {
        unsigned char stored;
        const char* desktop;
        const char* windowLanguage;
    };
    for (const Case& c : {Case{0x65, "fr_CA.UTF-8", "en"}, Case{0x66, "en_US.UTF-8", "fr"},
                          Case{0x41, "fr_FR.UTF-8", "en"}}) {
        SCOPED_TRACE(c.desktop);
        LocaleEnv env(c.desktop);
        ProgramRun r;
        r.storeOptions({5, 0, 0, 0, 1, c.stored});
        r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.closeWindow(id::WndMain)); });
        EXPECT_EQ(r.run(), 0);
        EXPECT_EQ(r.ui.languageLog(), (std::vector<tv::LanguageChoice>{{c.windowLanguage, 0}}));
    }
}

TEST(WholeRun, WrongSizedOptionsFileIsReplacedAtStart) {
    LocaleEnv env("en_GB.UTF-8");
    ProgramRun r;
    writeBytes(r.work.folder() + "data.tvl", std::string("\x0A\x01\x01\x01\x00\x66\x00", 7));
    r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.closeWindow(id::WndMain)); });
    EXPECT_EQ(r.run(), 0);
    EXPECT_EQ(dataTvl(r.work.folder()), EnglishDefaults);
}

TEST(WholeRun, UnwritableWorkingFolderEndsBeforeAnyWindow) {
    ProgramRun r;
    // A folder below a plain file cannot be written, not even by root.
    std::string blocker = r.work.folder() + "plain-file";
    writeBytes(blocker, "x");
    r.p.workDir = blocker + tv::platform::Separator;
    EXPECT_EQ(r.run(), 0);
    EXPECT_TRUE(r.p.ended);
    EXPECT_FALSE(r.ui.gadgetExists(id::StringPath));
    EXPECT_FALSE(r.ui.isWindowVisible(id::WndMain));
    auto log = r.ui.requesterLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].title, "Tarvolin");
    EXPECT_EQ(log[0].type, tv::mb::Ok | tv::mb::IconError);
    EXPECT_NE(log[0].text.find("Tarvolin"), std::string::npos);
    EXPECT_EQ(readBytes(blocker), "x");
}

TEST(WholeRun, OtherFolderChosenWithTheChooserReceivesTheOutputs) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(3);
    // As the folder chooser gives it: ending with "/" on every system.
    std::string out = r.work.sub("out");
    r.ui.pushTextAnswer(out);
    r.onWindow(id::WndMain, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonList)); });
    r.onWindow(id::WndList, [&r] { EXPECT_TRUE(r.ui.click(id::ButtonNext)); });
    r.onWindow(id::WndCompress, [&r] {
        EXPECT_TRUE(r.ui.click(id::CheckboxOtherFolder));
    });
    r.when([&r] { return !r.ui.isGadgetDisabled(id::ButtonBrowseOther); },
           [&r] { EXPECT_TRUE(r.ui.click(id::ButtonBrowseOther)); });
    r.when([&r, out] { return r.ui.getText(id::StringOtherFolder) == out; },
           [&r] { EXPECT_TRUE(r.ui.click(id::ButtonLaunchCompression)); });
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_TRUE(r.p.otherChosenByChooser);
    ASSERT_EQ(r.opened.size(), 1u);
#ifdef _WIN32
    // The options end a folder with the system's own separator: the same
    // folder, other text.
    for (const std::string& folder : {r.p.run.outputTarget, r.p.run.destinationFolder, r.opened[0]})
        EXPECT_TRUE(tv::platform::sameFile(tv::platform::stampOf(folder), tv::platform::stampOf(out))) << folder;
#else
    EXPECT_EQ(r.p.run.outputTarget, out);
    EXPECT_EQ(r.p.run.destinationFolder, out);
    EXPECT_EQ(r.opened[0], out);
#endif
    EXPECT_EQ(listNames(out).size(), 3u);
    EXPECT_EQ(dataTvl(r.work.folder()), (std::vector<unsigned char>{5, 0, 1, 0, 1, 0x65}));
}

TEST(WholeRun, ProgressRefreshesAtMostEvery500msWhileTheTickCountWraps) {
    ProgramRun r;
    r.storeOptions(EnglishDefaults);
    r.makePhotos(12);
    // One photo an idle pass at the most: the batch lasts at least twelve
    // passes, however fast this machine converts the photos.
    r.holdLoads();
    scriptTypicalRun(r, {});
    // Right before Compress the tick count is frozen 1024 ms short of its wrap;
    // from then on each idle pass moves it on by 300 ms, so a refresh is due
    // every other pass and the fourth pass crosses the wrap.
    bool ticking = false;
    r.steps.insert(r.steps.begin() + 2, Step{[&r] { return r.ui.isWindowVisible(id::WndCompress); }, [&r, &ticking] {
                                                 r.ui.freezeTicks(0xFFFFFC00u);
                                                 ticking = true;
                                             }});
    std::vector<std::pair<std::uint32_t, std::string>> changes;
    r.everyIdle = [&r, &changes, &ticking] {
        std::string counter = r.ui.getText(id::TextCounter);
        if (!counter.empty() && (changes.empty() || changes.back().second != counter))
            changes.push_back({r.ui.tickCount(), counter});
        if (ticking && r.ui.isWindowVisible(id::WndProgress)) r.ui.advanceTicks(300);
    };
    EXPECT_EQ(r.run(), 0);
    ASSERT_TRUE(r.scriptDone());
    EXPECT_EQ(r.p.ProcessedCount.load(), 12);
    ASSERT_GE(changes.size(), 2u);
    EXPECT_EQ(changes.front().second.substr(changes.front().second.find('/')), "/12");
    // The first refresh came before the wrap and a later one after it: the
    // last photos are let through ten passes or more after the freeze.
    EXPECT_GT(changes.front().first, 0xFFFF0000u);
    EXPECT_LT(changes.back().first, changes.front().first);
    for (std::size_t i = 1; i < changes.size(); ++i) {
        std::uint32_t gap = changes[i].first - changes[i - 1].first;
        // Seen in the idle pass after the refresh, at the tick count it had.
        EXPECT_GT(gap, 450u) << changes[i - 1].second << " -> " << changes[i].second;
    }
}

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "support/hang_guard.h"
#include "backends/scripted/scripted_window_system.h"

using namespace tv;

namespace {

class ScriptedDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ui.openWindow(200, 0, 0, 400, 300, "Main", wflag::TitleBar));
        ASSERT_TRUE(ui.stringGadget(2001, {0, 0, 100, 20}, ""));
        ASSERT_TRUE(ui.buttonGadget(2016, {0, 30, 80, 20}, "List"));
        ASSERT_TRUE(ui.checkBoxGadget(2024, {0, 60, 80, 20}, "Rename"));
        ASSERT_TRUE(ui.comboGadget(2007, {0, 90, 80, 20}));
        ASSERT_TRUE(ui.listGadget(2020, {0, 120, 200, 100}, "Images", 150, 0));
        ASSERT_TRUE(ui.spinGadget(2027, {0, 230, 80, 20}, 1, 30000, 0));
        for (const char* f : {"JPG", "PNG", "BMP"}) ui.addItem(2007, -1, f);
        for (int i = 0; i < 4; ++i) ui.addItem(2020, -1, "img" + std::to_string(i) + "\n1 byte");
        ASSERT_TRUE(ui.openWindow(203, 0, 0, 300, 100, "Progress", wflag::TitleBar | wflag::Invisible));
        ASSERT_TRUE(ui.buttonGadget(2037, {0, 0, 80, 20}, "Stop"));
    }

    Event next() { return ui.waitEvent(0); }

    ScriptedWindowSystem ui;
};

TEST_F(ScriptedDriver, ClickQueuesButtonEvent) {
    EXPECT_TRUE(ui.click(2016));
    Event e = next();
    EXPECT_EQ(e.kind, EventKind::Gadget);
    EXPECT_EQ(e.window, 200);
    EXPECT_EQ(e.gadget, 2016);
    EXPECT_EQ(ui.eventGadget(), 2016);
    EXPECT_EQ(next().kind, EventKind::None);
}

TEST_F(ScriptedDriver, CheckBoxClickTogglesBeforeItsEvent) {
    EXPECT_TRUE(ui.click(2024));
    EXPECT_EQ(ui.getState(2024), 1);
    EXPECT_EQ(next().gadget, 2024);
    EXPECT_TRUE(ui.click(2024));
    EXPECT_EQ(ui.getState(2024), 0);
}

TEST_F(ScriptedDriver, DisabledHiddenOrUnseenGadgetsCannotBeUsed) {
    ui.disableGadget(2016, true);
    EXPECT_FALSE(ui.click(2016));
    ui.disableGadget(2016, false);
    ui.hideGadget(2024, true);
    EXPECT_FALSE(ui.click(2024));
    EXPECT_EQ(ui.getState(2024), 0);
    EXPECT_FALSE(ui.click(2037));  // its window is hidden
    EXPECT_FALSE(ui.click(9999));
    EXPECT_FALSE(ui.click(2001));  // a string field is typed into, not clicked
    EXPECT_EQ(ui.pendingEvents(), 0u);
}

TEST_F(ScriptedDriver, TypingSetsTextAndQueuesEvent) {
    EXPECT_TRUE(ui.typeText(2001, "/photos"));
    EXPECT_EQ(ui.getText(2001), "/photos");
    EXPECT_EQ(next().gadget, 2001);
}

TEST_F(ScriptedDriver, IdenticalWaitingEventsMergeButSeparatedOnesDoNot) {
    ui.typeText(2001, "a");
    ui.typeText(2001, "ab");
    ui.click(2016);
    ui.typeText(2001, "abc");
    EXPECT_EQ(ui.pendingEvents(), 3u);
    EXPECT_EQ(next().gadget, 2001);
    EXPECT_EQ(next().gadget, 2016);
    EXPECT_EQ(next().gadget, 2001);
}

TEST_F(ScriptedDriver, UserActionsQueueTheSharedCauses) {
    ui.click(2016);
    ui.typeText(2001, "x");
    ui.selectComboRow(2007, 1);
    ui.selectRow(2020, 0);
    ui.tickRow(2020, 0, true);
    std::vector<int> causes;
    for (Event e = next(); e.kind != EventKind::None; e = next()) causes.push_back(e.cause);
    EXPECT_EQ(causes, (std::vector<int>{cause::Click, cause::Change, cause::Selection, cause::Selection, cause::Tick}));
}

TEST_F(ScriptedDriver, ComboRowSelection) {
    EXPECT_TRUE(ui.selectComboRow(2007, 2));
    EXPECT_EQ(ui.getState(2007), 2);
    EXPECT_EQ(ui.getText(2007), "BMP");
    EXPECT_EQ(next().gadget, 2007);
    EXPECT_FALSE(ui.selectComboRow(2007, 3));
    EXPECT_EQ(ui.getState(2007), 2);
}

TEST_F(ScriptedDriver, RowSelectionTicksAndEmptyAreaClick) {
    EXPECT_TRUE(ui.selectRow(2020, 1));
    EXPECT_TRUE(ui.selectRow(2020, 3));
    EXPECT_EQ(ui.getState(2020), 3);
    EXPECT_EQ(ui.getItemState(2020, 1), 0);
    EXPECT_TRUE(ui.tickRow(2020, 3, true));
    EXPECT_EQ(ui.getItemState(2020, 3), row::Selected | row::Ticked);
    EXPECT_TRUE(ui.clickBelowRows(2020));
    EXPECT_EQ(ui.getState(2020), -1);
    EXPECT_EQ(ui.getItemState(2020, 3), row::Ticked);
    EXPECT_TRUE(ui.tickRow(2020, 3, false));
    EXPECT_EQ(ui.getItemState(2020, 3), 0);
    EXPECT_FALSE(ui.selectRow(2020, 4));
    EXPECT_FALSE(ui.tickRow(2020, -1, true));
    EXPECT_GE(ui.pendingEvents(), 1u);
}

TEST_F(ScriptedDriver, SpinTypingChangesTextNotValue) {
    ui.setState(2027, 12);
    EXPECT_TRUE(ui.setSpinText(2027, "00abc"));
    EXPECT_EQ(ui.getText(2027), "00abc");
    EXPECT_EQ(ui.getState(2027), 12);
    EXPECT_TRUE(ui.stepSpin(2027, 1));
    EXPECT_EQ(ui.getState(2027), 13);
    EXPECT_EQ(ui.getText(2027), "13");
    ui.setState(2027, 30000);
    EXPECT_TRUE(ui.stepSpin(2027, 1));
    EXPECT_EQ(ui.getState(2027), 30000);
}

TEST_F(ScriptedDriver, CloseBoxQueuesCloseEvent) {
    EXPECT_TRUE(ui.closeWindow(200));
    Event e = next();
    EXPECT_EQ(e.kind, EventKind::CloseWindow);
    EXPECT_EQ(e.window, 200);
    EXPECT_FALSE(ui.closeWindow(203));  // hidden
}

TEST_F(ScriptedDriver, ClipboardHoldsWhatTheTestPutsThere) {
    EXPECT_EQ(ui.clipboardText(), "");
    ui.setClipboard("/home/user/Pictures");
    EXPECT_EQ(ui.clipboardText(), "/home/user/Pictures");
}

TEST_F(ScriptedDriver, IdleCallbackFeedsTheLoop) {
    int calls = 0;
    ui.setIdleCallback([&] {
        if (++calls == 1) ui.click(2016);
    });
    Event e = ui.waitEvent(NoLimit);
    EXPECT_EQ(e.gadget, 2016);
    EXPECT_FALSE(ui.starved());
    // Nothing more: the run ends with a close of the front window.
    e = ui.waitEvent(NoLimit);
    EXPECT_EQ(e.kind, EventKind::CloseWindow);
    EXPECT_EQ(e.window, 200);
    EXPECT_TRUE(ui.starved());
}

TEST_F(ScriptedDriver, StarvedWaitClosesTheFrontVisibleWindow) {
    ui.hideWindow(203, false);
    Event e = ui.waitEvent(NoLimit);
    EXPECT_EQ(e.kind, EventKind::CloseWindow);
    EXPECT_EQ(e.window, 203);
}

TEST_F(ScriptedDriver, TimedWaitSeesEventQueuedFromAnotherThread) {
    // The idle callback comes right before the wait: the event is queued
    // once the wait is under way.
    std::promise<void> waiting;
    bool told = false;
    ui.setIdleCallback([&] {
        if (!std::exchange(told, true)) waiting.set_value();
    });
    std::thread t([&, begun = waiting.get_future()] {
        begun.wait();
        // Gives the wait time to start sleeping; a slow machine may queue
        // before it does, which only makes the check weaker.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ui.queueEvent(Event{EventKind::Gadget, 200, 2016, 0});
    });
    auto start = std::chrono::steady_clock::now();
    Event e = ui.waitEvent(2 * tvtest::HangGuardMs);
    auto took = std::chrono::steady_clock::now() - start;
    t.join();
    EXPECT_EQ(e.gadget, 2016);
    // A wait that missed the event would have sat out its whole limit.
    EXPECT_LT(took, tvtest::HangGuard);
}

TEST_F(ScriptedDriver, TickCountCanBeFrozenAndWraps) {
    ui.freezeTicks(0xFFFFFF00u);
    EXPECT_EQ(ui.tickCount(), 0xFFFFFF00u);
    ui.advanceTicks(0x200);
    EXPECT_EQ(ui.tickCount(), 0x100u);
    ui.unfreezeTicks();
    // The offset is added to the real count modulo 2^32: this one puts it a
    // second behind, across the wrap. Read between two plain readings, so
    // that the time the machine takes in between does not matter.
    constexpr std::uint32_t Behind = 1000;
    std::uint32_t before = ui.tickCount();
    ui.setTickOffset(std::int64_t{0x100000000} - Behind);
    std::uint32_t t = ui.tickCount();
    ui.setTickOffset(0);
    std::uint32_t after = ui.tickCount();
    EXPECT_LE(static_cast<std::uint32_t>(t + Behind - before), static_cast<std::uint32_t>(after - before));
}

TEST_F(ScriptedDriver, TopLevelWalkIsFrontFirst) {
    ui.addDesktopWindow("Files - Pictures", true, false);
    ui.addDesktopWindow("Tip", true, true, true);
    ui.hideWindow(203, false);  // shown: comes to the front of the program's windows
    auto windows = ui.topLevelWindows();
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(windows[0].title, "Progress");
    EXPECT_EQ(windows[1].title, "Tip");
    EXPECT_TRUE(windows[1].toolWindow);
    EXPECT_EQ(windows[2].title, "Main");
    EXPECT_EQ(windows[3].title, "Files - Pictures");
    ui.activateWindow(200);
    EXPECT_EQ(ui.topLevelWindows()[0].title, "Main");
    EXPECT_EQ(ui.activeWindow(), 200);
}

// ---- requesters ----

TEST_F(ScriptedDriver, DefaultAnswersWhenNothingIsScripted) {
    EXPECT_EQ(ui.messageBox("t", "m", mb::YesNoCancel | mb::IconWarning), answer::Cancel);
    EXPECT_EQ(ui.messageBox("t", "m", mb::YesNo), answer::No);
    EXPECT_EQ(ui.messageBox("t", "m", mb::Ok | mb::IconError), answer::Ok);
    EXPECT_EQ(ui.inputBox("t", "p", "default"), "");
    EXPECT_EQ(ui.folderChooser("t", "/tmp/"), "");
    EXPECT_EQ(ui.requesterLog().size(), 5u);
}

TEST_F(ScriptedDriver, ScriptedAnswersAreUsedInOrderPerKind) {
    ui.pushAnswer(answer::Yes);
    ui.pushAnswer(answer::No);
    ui.pushTextAnswer("new name.jpg");
    ui.pushTextAnswer("/data/photos");
    EXPECT_EQ(ui.inputBox("Rename this image", "New image name", "old.jpg"), "new name.jpg");
    EXPECT_EQ(ui.messageBox("a", "b", mb::YesNo), answer::Yes);
    EXPECT_EQ(ui.folderChooser("Select folder", ""), "/data/photos/");  // always ends with "/"
    EXPECT_EQ(ui.messageBox("a", "b", mb::YesNo), answer::No);
    EXPECT_EQ(ui.messageBox("a", "b", mb::YesNo), answer::No);  // FIFO empty: default
}

TEST_F(ScriptedDriver, LogRecordsEveryDetail) {
    ui.pushAnswer(answer::Yes);
    ui.messageBox("Tarvolin - Error", "Overwrite?", mb::YesNoCancel | mb::IconWarning);
    ui.inputBox("Rename", "New image name", "a.jpg");
    auto log = ui.requesterLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].kind, RequesterKind::MessageBox);
    EXPECT_EQ(log[0].title, "Tarvolin - Error");
    EXPECT_EQ(log[0].text, "Overwrite?");
    EXPECT_EQ(log[0].type, 0x33u);
    EXPECT_EQ(log[0].answer, answer::Yes);
    EXPECT_FALSE(log[0].fromOtherThread);
    EXPECT_EQ(log[0].ownerWindow, 200);
    EXPECT_TRUE(log[0].ownerDisabled);
    EXPECT_EQ(log[1].kind, RequesterKind::InputBox);
    EXPECT_EQ(log[1].text, "New image name");
    EXPECT_EQ(log[1].defaultText, "a.jpg");
    EXPECT_EQ(log[1].answerText, "");
    // Everything is enabled again afterwards.
    EXPECT_FALSE(ui.isWindowDisabled(200));
}

TEST_F(ScriptedDriver, ProviderDecidesAndMayCallBackIntoTheBackend) {
    ui.setAnswerProvider([&](const RequesterRecord& r) -> std::optional<RequesterAnswer> {
        // Called without the model lock: reading gadgets here must not deadlock.
        if (r.kind == RequesterKind::MessageBox && ui.getText(2016) == "List") return RequesterAnswer{answer::Yes, ""};
        return std::nullopt;
    });
    ui.pushTextAnswer("from fifo");
    EXPECT_EQ(ui.messageBox("t", "m", mb::YesNo), answer::Yes);
    EXPECT_EQ(ui.inputBox("t", "p", ""), "from fifo");
}

TEST_F(ScriptedDriver, MessageBoxFromWorkerDisablesTheForegroundWindowUntilAnswered) {
    ui.hideWindow(200, true);
    ui.hideWindow(203, false);
    ui.holdRequesters(true);
    ui.pushAnswer(answer::Yes);
    std::atomic<int> got{0};
    std::thread worker([&] { got = ui.messageBox("Tarvolin - Error", "Try again ?", mb::YesNo | mb::IconWarning); });
    ASSERT_TRUE(ui.waitForOpenRequesters(1, tvtest::HangGuardMs));
    // The UI thread goes on while the box is open, but Stop cannot be pressed.
    EXPECT_TRUE(ui.isWindowDisabled(203));
    EXPECT_FALSE(ui.click(2037));
    EXPECT_FALSE(ui.closeWindow(203));
    EXPECT_EQ(ui.waitEvent(10).kind, EventKind::None);
    EXPECT_EQ(got, 0);
    ui.holdRequesters(false);
    worker.join();
    EXPECT_EQ(got, answer::Yes);
    EXPECT_FALSE(ui.isWindowDisabled(203));
    EXPECT_TRUE(ui.click(2037));
    auto log = ui.requesterLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].fromOtherThread);
    EXPECT_EQ(log[0].ownerWindow, 203);
    EXPECT_TRUE(log[0].ownerDisabled);
}

TEST_F(ScriptedDriver, UiThreadBoxDisablesEveryVisibleWindowWorkerBoxOnlyItsOwner) {
    ui.hideWindow(203, false);  // both windows visible, progress in front
    std::vector<std::pair<bool, bool>> seen;
    ui.setAnswerProvider([&](const RequesterRecord&) -> std::optional<RequesterAnswer> {
        seen.emplace_back(ui.isWindowDisabled(200), ui.isWindowDisabled(203));
        return std::nullopt;
    });
    ui.messageBox("t", "from the UI thread", mb::Ok);
    std::thread worker([&] { ui.messageBox("t", "from the worker", mb::Ok); });
    worker.join();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(true, true));
    EXPECT_EQ(seen[1], std::make_pair(false, true));
    EXPECT_FALSE(ui.isWindowDisabled(200));
    EXPECT_FALSE(ui.isWindowDisabled(203));
}

TEST_F(ScriptedDriver, WindowOfAnotherProgramInFrontIsNeverTheOwner) {
    ui.addDesktopWindow("Editor", true, false, true);
    ui.messageBox("t", "m", mb::Ok);
    EXPECT_EQ(ui.requesterLog()[0].ownerWindow, 0);
}

TEST_F(ScriptedDriver, ProviderCanBlockUntilReleased) {
    std::promise<int> release;
    std::shared_future<int> released = release.get_future().share();
    ui.setAnswerProvider([released](const RequesterRecord&) -> std::optional<RequesterAnswer> {
        return RequesterAnswer{released.get(), ""};
    });
    std::atomic<int> got{0};
    std::thread worker([&] { got = ui.messageBox("t", "m", mb::YesNo); });
    ASSERT_TRUE(ui.waitForOpenRequesters(1, tvtest::HangGuardMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(got, 0);
    // The UI thread is not blocked by the open box, but its owner is disabled.
    EXPECT_EQ(ui.waitEvent(5).kind, EventKind::None);
    EXPECT_TRUE(ui.isWindowDisabled(200));
    EXPECT_FALSE(ui.click(2016));
    release.set_value(answer::No);
    worker.join();
    EXPECT_EQ(got, answer::No);
}

TEST_F(ScriptedDriver, ShutdownReleasesAHeldRequesterAndAnswersLaterOnesAtOnce) {
    ui.holdRequesters(true);
    ui.pushAnswer(answer::Yes);  // not used: shutdown answers cancel-like
    std::atomic<int> got{0};
    std::thread worker([&] { got = ui.messageBox("t", "m", mb::YesNoCancel); });
    ASSERT_TRUE(ui.waitForOpenRequesters(1, tvtest::HangGuardMs));
    ui.shutdown();
    worker.join();
    EXPECT_EQ(got, answer::Cancel);
    EXPECT_EQ(ui.messageBox("t", "m", mb::YesNo), answer::No);
    EXPECT_EQ(ui.inputBox("t", "p", "x"), "");
    auto log = ui.requesterLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[0].afterShutdown);
    EXPECT_TRUE(log[2].afterShutdown);
    EXPECT_TRUE(ui.isShutDown());
}

TEST_F(ScriptedDriver, GadgetDetailsCanBeInspected) {
    FontId f = ui.loadFont("Palatino Linotype", 14, true);
    ui.setFont(2016, f);
    ui.setToolTip(2016, "tip");
    ui.setColour(2016, colour_which::Text, 0x0000FF);
    EXPECT_EQ(ui.fontInfo(f).name, "Palatino Linotype");
    EXPECT_EQ(ui.fontInfo(f).points, 14);
    EXPECT_TRUE(ui.fontInfo(f).bold);
    EXPECT_EQ(ui.gadgetFont(2016), f);
    EXPECT_EQ(ui.toolTip(2016), "tip");
    EXPECT_EQ(ui.gadgetColour(2016, colour_which::Text), Colour{0x0000FF});
    EXPECT_FALSE(ui.gadgetColour(2016, colour_which::Background).has_value());
    EXPECT_EQ(ui.gadgetWindow(2037), 203);
    EXPECT_EQ(ui.gadgetKind(2020), GadgetKind::List);
    EXPECT_EQ(ui.loadFont("", 10, false), 0);
    EXPECT_EQ(ui.columnTitles(2020), std::vector<std::string>{"Images"});
    EXPECT_EQ(ui.windowFlags(203), wflag::TitleBar | wflag::Invisible);
}

}  // namespace

// Behaviour every window-system backend must show, whatever draws it. A
// backend's test program adds one file that includes this header and
// instantiates the suite with a factory of the backend and its probe:
//
//   INSTANTIATE_TEST_SUITE_P(Mine, WindowSystemContract, ::testing::Values(ContractFactory{"Mine", [] {
//       auto ui = std::make_unique<MyWindowSystem>();
//       auto probe = std::make_unique<MyProbe>(*ui);
//       return ContractBackend(std::move(ui), std::move(probe));
//   }}));
//
// A backend that is its own probe is handed over alone. Only what needs no
// user at the screen is checked here.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/hang_guard.h"
#include "ui/contract_rules.h"
#include "ui/probe.h"
#include "ui/window_system.h"

// A backend under test: the contract, and the probe that looks inside it.
struct ContractBackend {
    // A backend that is its own probe.
    template <class Backend, class = std::enable_if_t<std::is_base_of_v<tv::WindowProbe, Backend>>>
    explicit ContractBackend(std::unique_ptr<Backend> backend) : probe(backend.get()), ui(std::move(backend)) {}
    // A backend with a probe of its own, which goes first.
    ContractBackend(std::unique_ptr<tv::WindowSystem> backend, std::unique_ptr<tv::WindowProbe> ownProbe)
        : probe(ownProbe.get()), ui(std::move(backend)), owned(std::move(ownProbe)) {}

    tv::WindowProbe* probe = nullptr;
    std::unique_ptr<tv::WindowSystem> ui;
    std::unique_ptr<tv::WindowProbe> owned;
};

// Makes a fresh backend for each case; the name shows in the test names.
struct ContractFactory {
    std::string name;
    std::function<ContractBackend()> make;
};

inline void PrintTo(const ContractFactory& factory, std::ostream* out) { *out << factory.name; }

class WindowSystemContract : public ::testing::TestWithParam<ContractFactory> {
protected:
    void SetUp() override {
        backend = std::make_unique<ContractBackend>(GetParam().make());
        ui = backend->ui.get();
        probe = backend->probe;
        ASSERT_NE(ui, nullptr);
        ASSERT_NE(probe, nullptr);
    }
    void TearDown() override {
        if (ui) ui->shutdown();
        backend.reset();
    }

    // Opens a visible window 100 with one gadget of each kind.
    void buildAllKinds(unsigned flags = tv::wflag::TitleBar) {
        ASSERT_TRUE(ui->openWindow(100, 0, 0, 400, 300, "Contract", flags));
        ASSERT_TRUE(ui->frameGadget(1000, {5, 5, 390, 290}, "Frame caption"));
        ASSERT_TRUE(ui->textGadget(1001, {10, 20, 100, 20}, "Label", tv::Align::Right));
        ASSERT_TRUE(ui->stringGadget(1002, {10, 45, 200, 20}, "initial"));
        ASSERT_TRUE(ui->buttonGadget(1003, {10, 70, 80, 25}, "Press"));
        ASSERT_TRUE(ui->checkBoxGadget(1004, {10, 100, 150, 20}, "Tick me"));
        ASSERT_TRUE(ui->comboGadget(1005, {10, 125, 150, 20}));
        ASSERT_TRUE(ui->listGadget(1006, {10, 150, 300, 80}, "Name", 150, 0));
        ASSERT_TRUE(ui->spinGadget(1007, {10, 235, 80, 20}, 1, 30000, 0));
        ASSERT_TRUE(ui->progressBarGadget(1008, {100, 235, 200, 20}, 0, 100));
    }

    // Every event delivered within a short while, until the queue stays quiet.
    std::vector<tv::Event> drainEvents() {
        std::vector<tv::Event> out;
        for (;;) {
            tv::Event e = ui->waitEvent(30);
            if (e.kind == tv::EventKind::None) return out;
            out.push_back(e);
            if (out.size() > 1000) return out;  // a backend flooding its queue fails below
        }
    }

    static int countFor(const std::vector<tv::Event>& events, int gadget) {
        int n = 0;
        for (const tv::Event& e : events)
            if (e.kind == tv::EventKind::Gadget && e.gadget == gadget) ++n;
        return n;
    }

    std::unique_ptr<ContractBackend> backend;
    tv::WindowSystem* ui = nullptr;
    tv::WindowProbe* probe = nullptr;
};

TEST_P(WindowSystemContract, GadgetsOfEveryKindAreCreatedWithTheirTexts) {
    buildAllKinds();
    for (int id = 1000; id <= 1008; ++id) EXPECT_TRUE(probe->gadgetExists(id)) << id;
    EXPECT_EQ(ui->getText(1000), "Frame caption");
    EXPECT_EQ(ui->getText(1001), "Label");
    EXPECT_EQ(ui->getText(1002), "initial");
    EXPECT_EQ(ui->getText(1003), "Press");
    EXPECT_EQ(ui->getText(1004), "Tick me");
    // A new check box is unticked, a new combo and list have no selection.
    EXPECT_EQ(ui->getState(1004), 0);
    EXPECT_EQ(ui->getState(1005), -1);
    EXPECT_EQ(ui->getText(1005), "");
    EXPECT_EQ(ui->getState(1006), -1);
    EXPECT_EQ(ui->countItems(1006), 0);
    EXPECT_FALSE(probe->gadgetExists(1009));
}

TEST_P(WindowSystemContract, DuplicateGadgetIdIsRefused) {
    buildAllKinds();
    EXPECT_FALSE(ui->buttonGadget(1003, {0, 0, 10, 10}, "Again"));
    EXPECT_EQ(ui->getText(1003), "Press");
}

TEST_P(WindowSystemContract, TextsCanBeReplaced) {
    buildAllKinds();
    ui->setText(1000, "New frame");
    ui->setText(1001, "New label");
    ui->setText(1003, "New caption");
    ui->setText(1004, "New box");
    ui->setText(1002, "typed by program");
    EXPECT_EQ(ui->getText(1000), "New frame");
    EXPECT_EQ(ui->getText(1001), "New label");
    EXPECT_EQ(ui->getText(1003), "New caption");
    EXPECT_EQ(ui->getText(1004), "New box");
    EXPECT_EQ(ui->getText(1002), "typed by program");
    // UTF-8 survives the round trip.
    ui->setText(1002, "R\xC3\xA9pertoire \xC3\xA0 voir");
    EXPECT_EQ(ui->getText(1002), "R\xC3\xA9pertoire \xC3\xA0 voir");
}

// A check box ticks and clears; a progress bar moves within its range.
TEST_P(WindowSystemContract, CheckBoxAndProgressBarStatesReadBackAsSet) {
    buildAllKinds();
    const struct {
        int gadget, value;
    } cases[] = {{1004, 1}, {1004, 0}, {1008, 37}, {1008, 100}};
    for (const auto& c : cases) {
        ui->setState(c.gadget, c.value);
        EXPECT_EQ(ui->getState(c.gadget), c.value) << c.gadget;
    }
}

TEST_P(WindowSystemContract, ComboStateSelectsRowAndTextFollows) {
    buildAllKinds();
    ui->addItem(1005, -1, "JPG");
    ui->addItem(1005, -1, "PNG");
    ui->addItem(1005, -1, "BMP");
    EXPECT_EQ(ui->countItems(1005), 3);
    ui->setState(1005, 1);
    EXPECT_EQ(ui->getState(1005), 1);
    EXPECT_EQ(ui->getText(1005), "PNG");
    ui->setState(1005, 2);
    EXPECT_EQ(ui->getText(1005), "BMP");
    EXPECT_EQ(probe->getItemText(1005, 0, 0), "JPG");
}

TEST_P(WindowSystemContract, ComboOutOfRangeStateSelectsNothing) {
    buildAllKinds();
    ui->addItem(1005, -1, "0");
    ui->addItem(1005, -1, "1");
    ui->setState(1005, 1);
    ui->setState(1005, 40);
    EXPECT_EQ(ui->getState(1005), -1);
    EXPECT_EQ(ui->getText(1005), "");
}

TEST_P(WindowSystemContract, ListRowsKeepColumnsAndStartUnticked) {
    buildAllKinds();
    ui->addColumn(1006, 1, "Size", 100);
    ui->addItem(1006, -1, "a.jpg\n12 byte");
    ui->addItem(1006, -1, "b.png\n3 byte");
    ASSERT_EQ(ui->countItems(1006), 2);
    EXPECT_EQ(probe->getItemText(1006, 0, 0), "a.jpg");
    EXPECT_EQ(probe->getItemText(1006, 0, 1), "12 byte");
    EXPECT_EQ(probe->getItemText(1006, 1, 0), "b.png");
    EXPECT_EQ(probe->getItemText(1006, 1, 1), "3 byte");
    EXPECT_EQ(ui->getItemState(1006, 0), 0);
    EXPECT_EQ(ui->getItemState(1006, 1), 0);
    // Rows that do not exist read as 0 and ignore writes.
    EXPECT_EQ(ui->getItemState(1006, 5), 0);
    ui->setItemState(1006, 5, 3);
    EXPECT_EQ(ui->countItems(1006), 2);
}

TEST_P(WindowSystemContract, ListRowBitsAreReplacedAsAWhole) {
    buildAllKinds();
    for (int i = 0; i < 4; ++i) ui->addItem(1006, -1, "row " + std::to_string(i));
    ui->setItemState(1006, 1, tv::row::Selected | tv::row::Ticked);
    EXPECT_EQ(ui->getItemState(1006, 1), 3);
    EXPECT_EQ(ui->getState(1006), 1);
    // Ticked only: the selection of that row goes.
    ui->setItemState(1006, 1, tv::row::Ticked);
    EXPECT_EQ(ui->getItemState(1006, 1), 2);
    EXPECT_EQ(ui->getState(1006), -1);
    ui->setItemState(1006, 1, 0);
    EXPECT_EQ(ui->getItemState(1006, 1), 0);
}

TEST_P(WindowSystemContract, ListHoldsOneSelectedRowAtMost) {
    buildAllKinds();
    for (int i = 0; i < 4; ++i) ui->addItem(1006, -1, "row " + std::to_string(i));
    ui->setItemState(1006, 0, tv::row::Ticked);
    ui->setItemState(1006, 1, tv::row::Selected);
    ui->setItemState(1006, 3, tv::row::Selected | tv::row::Ticked);
    EXPECT_EQ(ui->getItemState(1006, 1), 0);
    EXPECT_EQ(ui->getItemState(1006, 3), 3);
    EXPECT_EQ(ui->getItemState(1006, 0), 2);  // ticks of other rows stay
    EXPECT_EQ(ui->getState(1006), 3);
}

TEST_P(WindowSystemContract, SpinTextAndValueAreSeparate) {
    buildAllKinds();
    ui->setState(1007, 42);
    EXPECT_EQ(ui->getState(1007), 42);
    EXPECT_EQ(ui->getText(1007), "42");
    ui->setState(1007, 12345);
    EXPECT_EQ(ui->getText(1007), "12345");  // no thousands separator
}

TEST_P(WindowSystemContract, DisableAndHideAreReported) {
    buildAllKinds();
    EXPECT_FALSE(probe->isGadgetDisabled(1003));
    EXPECT_FALSE(probe->isGadgetHidden(1003));
    ui->disableGadget(1003, true);
    ui->hideGadget(1012, true);  // unknown id: ignored
    ui->hideGadget(1002, true);
    EXPECT_TRUE(probe->isGadgetDisabled(1003));
    EXPECT_FALSE(probe->isGadgetDisabled(1002));
    EXPECT_TRUE(probe->isGadgetHidden(1002));
    EXPECT_FALSE(probe->isGadgetHidden(1003));
    ui->disableGadget(1003, false);
    ui->hideGadget(1002, false);
    EXPECT_FALSE(probe->isGadgetDisabled(1003));
    EXPECT_FALSE(probe->isGadgetHidden(1002));
    // A hidden gadget keeps its text.
    ui->hideGadget(1002, true);
    EXPECT_EQ(ui->getText(1002), "initial");
}

TEST_P(WindowSystemContract, UnknownIdsAreIgnoredAndReadEmpty) {
    buildAllKinds();
    ui->setText(4242, "x");
    ui->setState(4242, 3);
    ui->addItem(4242, -1, "x");
    ui->setItemState(4242, 0, 3);
    ui->setToolTip(4242, "x");
    ui->setFont(4242, 0);
    ui->setColour(4242, tv::colour_which::Text, 0xFF);
    ui->setFocus(4242);
    ui->disableGadget(4242, true);
    ui->setWindowTitle(4343, "x");
    ui->hideWindow(4343, false);
    EXPECT_EQ(ui->getText(4242), "");
    EXPECT_EQ(ui->getState(4242), 0);
    EXPECT_EQ(ui->getItemState(4242, 0), 0);
    EXPECT_EQ(ui->countItems(4242), 0);
    EXPECT_EQ(probe->getItemText(4242, 0, 0), "");
    EXPECT_FALSE(probe->gadgetExists(4242));
    EXPECT_FALSE(probe->isWindowVisible(4343));
    EXPECT_EQ(probe->windowTitle(4343), "");
}

TEST_P(WindowSystemContract, HiddenWindowsKeepGadgetStates) {
    ASSERT_TRUE(ui->openWindow(101, 0, 0, 300, 200, "Hidden", tv::wflag::TitleBar | tv::wflag::Invisible));
    EXPECT_FALSE(probe->isWindowVisible(101));
    ASSERT_TRUE(ui->listGadget(1100, {0, 0, 200, 100}, "Images", 150, 0));
    ASSERT_TRUE(ui->checkBoxGadget(1101, {0, 110, 100, 20}, "Remove"));
    ASSERT_TRUE(ui->spinGadget(1102, {0, 140, 80, 20}, 1, 30000, 0));
    for (int i = 0; i < 3; ++i) ui->addItem(1100, -1, "img" + std::to_string(i));
    ui->setItemState(1100, 0, tv::row::Ticked);
    ui->setItemState(1100, 2, tv::row::Ticked);
    ui->setState(1101, 1);
    ui->setState(1102, 7);
    ui->hideWindow(101, false);
    EXPECT_TRUE(probe->isWindowVisible(101));
    ui->hideWindow(101, true);
    EXPECT_FALSE(probe->isWindowVisible(101));
    EXPECT_EQ(ui->getItemState(1100, 0), 2);
    EXPECT_EQ(ui->getItemState(1100, 1), 0);
    EXPECT_EQ(ui->getItemState(1100, 2), 2);
    EXPECT_EQ(ui->getState(1101), 1);
    EXPECT_EQ(ui->getText(1102), "7");
}

TEST_P(WindowSystemContract, GadgetsBelongToTheWindowOpenedLast) {
    ASSERT_TRUE(ui->openWindow(100, 0, 0, 300, 200, "One", tv::wflag::TitleBar));
    ASSERT_TRUE(ui->buttonGadget(1000, {0, 0, 50, 20}, "A"));
    ASSERT_TRUE(ui->openWindow(101, 0, 0, 300, 200, "Two", tv::wflag::TitleBar | tv::wflag::Invisible));
    ASSERT_TRUE(ui->buttonGadget(1001, {0, 0, 50, 20}, "B"));
    EXPECT_TRUE(probe->isWindowVisible(100));
    EXPECT_FALSE(probe->isWindowVisible(101));
    // Hiding the first window leaves the gadgets of both readable.
    ui->hideWindow(100, true);
    EXPECT_EQ(ui->getText(1000), "A");
    EXPECT_EQ(ui->getText(1001), "B");
}

TEST_P(WindowSystemContract, WindowTitlesAreReplaced) {
    ASSERT_TRUE(ui->openWindow(100, 0, 0, 300, 200, "Tarvolin - Settings", tv::wflag::TitleBar));
    EXPECT_EQ(probe->windowTitle(100), "Tarvolin - Settings");
    ui->setWindowTitle(100, "33% - Tarvolin");
    EXPECT_EQ(probe->windowTitle(100), "33% - Tarvolin");
}

TEST_P(WindowSystemContract, ProgramWindowsAppearInTheTopLevelWalk) {
    ASSERT_TRUE(ui->openWindow(100, 0, 0, 300, 200, "Tarvolin - Walk me", tv::wflag::TitleBar));
    bool seen = false;
    for (const tv::TopLevelWindow& w : ui->topLevelWindows())
        if (w.title == "Tarvolin - Walk me") seen = w.visible;
    EXPECT_TRUE(seen);
}

TEST_P(WindowSystemContract, SettingStringTextQueuesOneEventAndDuplicatesMerge) {
    buildAllKinds();
    drainEvents();
    ui->setText(1002, "first");
    ui->setText(1002, "second");
    std::vector<tv::Event> events = drainEvents();
    EXPECT_EQ(countFor(events, 1002), 1);
    for (const tv::Event& e : events) {
        if (e.kind == tv::EventKind::Gadget && e.gadget == 1002) {
            EXPECT_EQ(e.window, 100);
        }
    }
    EXPECT_EQ(ui->getText(1002), "second");
}

TEST_P(WindowSystemContract, StringEventGivesEventGadget) {
    buildAllKinds();
    drainEvents();
    ui->setText(1002, "changed");
    std::vector<tv::Event> events = drainEvents();
    ASSERT_GE(countFor(events, 1002), 1);
    // eventGadget names the gadget of the last gadget event delivered.
    int last = 0;
    for (const tv::Event& e : events)
        if (e.kind == tv::EventKind::Gadget) last = e.gadget;
    EXPECT_EQ(ui->eventGadget(), last);
}

TEST_P(WindowSystemContract, WaitWithTimeoutReturnsNoneAfterAboutThatLong) {
    buildAllKinds();
    drainEvents();
    auto start = std::chrono::steady_clock::now();
    tv::Event e = ui->waitEvent(50);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(e.kind, tv::EventKind::None);
    EXPECT_GE(elapsed, std::chrono::milliseconds(40));
    // Only a wait that forgot its limit takes this long, however busy the machine.
    EXPECT_LT(elapsed, tvtest::HangGuard);
}

TEST_P(WindowSystemContract, FontsDoNotDisturbTheirGadgets) {
    // A font the machine lacks may give 0 (the default font); either way the
    // gadget keeps working.
    tv::FontId f = ui->loadFont("Palatino Linotype", 12, true);
    buildAllKinds();
    ui->setFont(1001, f);
    ui->setFont(1002, 0);
    EXPECT_EQ(ui->getText(1001), "Label");
    EXPECT_EQ(ui->getText(1002), "initial");
    EXPECT_TRUE(probe->gadgetExists(1001));
}

TEST_P(WindowSystemContract, TickCountAdvancesWithRealTime) {
    auto start = std::chrono::steady_clock::now();
    std::uint32_t a = ui->tickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::uint32_t b = ui->tickCount();
    auto outside = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::uint32_t diff = b - a;  // wrap-safe
    EXPECT_GE(diff, 20u);
    // Milliseconds: no more than passed around the two readings, however
    // long that was, give or take a coarse clock's step (a count in finer
    // units would overshoot by far).
    EXPECT_LE(diff, static_cast<std::uint32_t>(outside) + 20u);
}

TEST_P(WindowSystemContract, WorkerThreadReadsWhileUiThreadWrites) {
    buildAllKinds();
    for (int i = 0; i < 20; ++i) ui->addItem(1006, -1, "row " + std::to_string(i));
    ui->setText(1007, "5");
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::atomic<int> reads{0};
    std::thread worker([&] {
        for (int round = 0; round < 200; ++round) {
            for (int r = 0; r < 20; r += 7) {
                int bits = ui->getItemState(1006, r);
                if (bits < 0 || bits > 3) ++badReads;
            }
            std::string t = ui->getText(1007);
            if (t != "5" && t != "6") ++badReads;
            int s = ui->getState(1004);
            if (s != 0 && s != 1) ++badReads;
            ++reads;
        }
        done = true;
    });
    int flip = 0;
    auto deadline = std::chrono::steady_clock::now() + tvtest::HangGuard;
    while (!done && std::chrono::steady_clock::now() < deadline) {
        ui->setItemState(1006, flip % 20, (flip & 1) ? tv::row::Ticked : tv::row::Selected | tv::row::Ticked);
        ui->setState(1004, flip & 1);
        ui->setText(1007, (flip & 1) ? "6" : "5");
        ui->waitEvent(1);  // a backend may serve the worker from its event loop
        ++flip;
    }
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(reads, 200);
    EXPECT_EQ(badReads, 0);
}

// ---- the rules every backend takes from contract_rules.h ----

TEST_P(WindowSystemContract, GadgetEventsCarryTheirCause) {
    buildAllKinds();
    drainEvents();
    ui->setText(1002, "changed");
    bool change = false;
    for (const tv::Event& e : drainEvents())
        if (e.kind == tv::EventKind::Gadget && e.gadget == 1002 && e.cause == tv::cause::Change) change = true;
    EXPECT_TRUE(change);
}

TEST_P(WindowSystemContract, SpinValueFollowsATypedWholeNumber) {
    buildAllKinds();
    ui->setState(1007, 5);
    ui->setText(1007, " 42 ");
    EXPECT_EQ(ui->getText(1007), " 42 ");
    EXPECT_EQ(ui->getState(1007), 42);
    ui->setText(1007, "99999");
    EXPECT_EQ(ui->getState(1007), 30000);  // kept in the range
    ui->setText(1007, "abc");
    EXPECT_EQ(ui->getState(1007), 5);  // no number: the value last set
}

TEST_P(WindowSystemContract, SpinAndProgressBarLimitsMayComeInEitherOrder) {
    ASSERT_TRUE(ui->openWindow(100, 0, 0, 300, 200, "Limits", tv::wflag::TitleBar));
    ASSERT_TRUE(ui->spinGadget(1000, {0, 0, 80, 20}, 30000, 1, 0));
    ASSERT_TRUE(ui->progressBarGadget(1001, {0, 30, 200, 20}, 100, 0));
    EXPECT_EQ(ui->getState(1000), 1);
    EXPECT_EQ(ui->getText(1000), "1");
    ui->setState(1000, 40000);
    EXPECT_EQ(ui->getState(1000), 30000);
    ui->setState(1000, 0);
    EXPECT_EQ(ui->getState(1000), 1);
    EXPECT_EQ(ui->getState(1001), 0);
    ui->setState(1001, 150);
    EXPECT_EQ(ui->getState(1001), 100);
    ui->setState(1001, -5);
    EXPECT_EQ(ui->getState(1001), 0);
}

TEST_P(WindowSystemContract, WindowOfNegativeSizeIsRefused) {
    EXPECT_FALSE(ui->openWindow(100, 0, 0, -1, 200, "Bad", tv::wflag::TitleBar));
    EXPECT_FALSE(ui->openWindow(100, 0, 0, 300, -1, "Bad", tv::wflag::TitleBar));
    EXPECT_FALSE(probe->isWindowVisible(100));
    EXPECT_TRUE(ui->openWindow(100, 0, 0, 300, 200, "Good", tv::wflag::TitleBar | tv::wflag::Invisible));
}

TEST_P(WindowSystemContract, ComboTextSelectsTheRowOfExactlyThatText) {
    buildAllKinds();
    for (const char* row : {"JPG", "PNG", "BMP"}) ui->addItem(1005, -1, row);
    ui->setText(1005, "PNG");
    EXPECT_EQ(ui->getState(1005), 1);
    ui->setText(1005, "GIF");  // no such row: the selection stays
    ui->setText(1005, "bmp");
    EXPECT_EQ(ui->getState(1005), 1);
    EXPECT_EQ(ui->getText(1005), "PNG");
}

TEST_P(WindowSystemContract, TopLevelWalkCutsLongTitlesBeforeACharacter) {
    const std::string title = std::string(254, 'a') + "\xC3\xA9";  // 256 bytes, the last character two of them
    ASSERT_TRUE(ui->openWindow(100, 0, 0, 300, 200, title, tv::wflag::TitleBar));
    EXPECT_EQ(probe->windowTitle(100), title);
    bool cut = false;
    for (const tv::TopLevelWindow& w : ui->topLevelWindows())
        if (w.title == std::string(254, 'a')) cut = true;
    EXPECT_TRUE(cut);
}

TEST_P(WindowSystemContract, RequestersAfterShutdownAnswerAtOnceAsIfClosed) {
    buildAllKinds();
    ui->shutdown();
    EXPECT_EQ(ui->messageBox("t", "m", tv::mb::Ok | tv::mb::IconError), tv::answer::Ok);
    EXPECT_EQ(ui->messageBox("t", "m", tv::mb::YesNoCancel | tv::mb::IconWarning), tv::answer::Cancel);
    EXPECT_EQ(ui->messageBox("t", "m", tv::mb::YesNo), tv::answer::No);
    EXPECT_EQ(ui->messageBox("t", "m", 1), tv::answer::Ok);  // a set the contract does not name shows OK alone
    EXPECT_EQ(ui->inputBox("t", "p", "default"), "");
    EXPECT_EQ(ui->folderChooser("t", "/tmp/"), "");
    int fromWorker = 0;
    std::thread([&] { fromWorker = ui->messageBox("t", "m", tv::mb::YesNo); }).join();
    EXPECT_EQ(fromWorker, tv::answer::No);
}

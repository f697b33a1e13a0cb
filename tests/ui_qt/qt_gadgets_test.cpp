// Gadgets, events and worker-thread reads of the Qt backend.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include <thread>

#include "qt_support.h"
#include "backends/qt/qt_layout.h"
#include "ui/contract_rules.h"

using namespace tv;
using tv::qt::layoutScaleFor;

namespace {

constexpr int Win = 200;
constexpr int Other = 201;

class QtGadgets : public tvtest::QtBackendTest {
protected:
    QtGadgets() : QtBackendTest({Win, 340, 200, "Tarvolin - Settings"}) {}

    // Every event waiting now, in order.
    std::vector<Event> drain() {
        std::vector<Event> out;
        for (Event e = ui->waitEvent(0); e.kind != EventKind::None; e = ui->waitEvent(0)) out.push_back(e);
        return out;
    }
    int countFor(const std::vector<Event>& events, int gadget) {
        int n = 0;
        for (const Event& e : events) n += e.kind == EventKind::Gadget && e.gadget == gadget;
        return n;
    }
};

TEST_F(QtGadgets, WindowHasScaledFixedInnerSizeTitleAndStaysOnClose) {
    QWidget* w = probe->windowWidget(Win);
    ASSERT_NE(w, nullptr);
    const double f = probe->layoutScale();
    EXPECT_GE(f, 1.0);
    EXPECT_EQ(w->width(), int(std::lround(340 * f)));
    EXPECT_EQ(w->height(), int(std::lround(200 * f)));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());  // fixed size
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(probe->windowTitle(Win), "Tarvolin - Settings");
    EXPECT_TRUE(probe->isWindowVisible(Win));
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        EXPECT_LE(std::abs(w->geometry().center().x() - s->availableGeometry().center().x()), 1);
    }

    w->close();  // the close box
    std::vector<Event> events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::CloseWindow);
    EXPECT_EQ(events[0].window, Win);
    EXPECT_TRUE(probe->isWindowVisible(Win)) << "the program decides what a close does";
}

TEST_F(QtGadgets, HiddenWindowKeepsGadgetStatesAndGadgetsBelongToLastWindow) {
    ASSERT_TRUE(ui->openWindow(Other, 0, 0, 100, 100, "Two", wflag::TitleBar | wflag::Invisible));
    EXPECT_FALSE(probe->isWindowVisible(Other));
    ASSERT_TRUE(ui->checkBoxGadget(2024, {10, 10, 80, 20}, "Rename"));
    ASSERT_TRUE(ui->stringGadget(2025, {10, 40, 80, 20}, "Nouvel album #"));
    EXPECT_EQ(probe->gadgetWidget(2024)->window(), probe->windowWidget(Other));
    EXPECT_FALSE(ui->checkBoxGadget(2024, {0, 0, 1, 1}, "again")) << "ids are unique";
    ui->setState(2024, 1);
    ui->hideWindow(Other, false);
    EXPECT_TRUE(probe->isWindowVisible(Other));
    ui->hideWindow(Other, true);
    EXPECT_FALSE(probe->isWindowVisible(Other));
    EXPECT_EQ(ui->getState(2024), 1);
    EXPECT_EQ(ui->getText(2025), "Nouvel album #");
}

TEST_F(QtGadgets, UnknownIdsAreIgnored) {
    EXPECT_EQ(ui->getText(9999), "");
    EXPECT_EQ(ui->getState(9999), 0);
    EXPECT_EQ(ui->getItemState(9999, 0), 0);
    ui->setText(9999, "x");
    ui->setState(9999, 3);
    ui->disableGadget(9999, true);
    EXPECT_FALSE(probe->gadgetExists(9999));
    EXPECT_TRUE(drain().empty());
}

TEST_F(QtGadgets, ButtonAndCheckBoxClicksQueueEventsAfterTheTickChanged) {
    ASSERT_TRUE(ui->buttonGadget(2016, {10, 170, 240, 24}, "List"));
    ASSERT_TRUE(ui->checkBoxGadget(2024, {10, 30, 130, 20}, "Rename images"));
    static_cast<QPushButton*>(probe->gadgetWidget(2016))->click();
    auto* box = static_cast<QCheckBox*>(probe->gadgetWidget(2024));
    int stateSeenAtEvent = -1;
    QObject::connect(box, &QCheckBox::clicked, box, [&] { stateSeenAtEvent = ui->getState(2024); });
    box->click();
    std::vector<Event> events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Event{EventKind::Gadget, Win, 2016, events[0].cause}));
    EXPECT_EQ(events[1].gadget, 2024);
    EXPECT_EQ(stateSeenAtEvent, 1);
    EXPECT_EQ(ui->eventGadget(), 2024);
    // The program setting a tick is not a click.
    ui->setState(2024, 0);
    EXPECT_EQ(ui->getState(2024), 0);
    EXPECT_TRUE(drain().empty());
}

TEST_F(QtGadgets, UserActionsQueueTheSharedCauses) {
    ASSERT_TRUE(ui->buttonGadget(2016, {10, 170, 240, 24}, "List"));
    ASSERT_TRUE(ui->comboGadget(2007, {75, 82, 60, 20}));
    ASSERT_TRUE(ui->listGadget(2020, {10, 10, 300, 60}, "Images", 200, 0));
    for (const char* row : {"JPG", "PNG"}) ui->addItem(2007, -1, row);
    ui->addItem(2020, -1, "a.jpg");
    drain();
    auto causesOf = [this](int gadget) {
        std::vector<int> causes;
        for (const Event& e : drain())
            if (e.gadget == gadget) causes.push_back(e.cause);
        return causes;
    };
    static_cast<QPushButton*>(probe->gadgetWidget(2016))->click();
    EXPECT_EQ(causesOf(2016), std::vector<int>{cause::Click});
    static_cast<QComboBox*>(probe->gadgetWidget(2007))->setCurrentIndex(1);
    EXPECT_EQ(causesOf(2007), std::vector<int>{cause::Selection});
    static_cast<QTreeWidget*>(probe->gadgetWidget(2020))->topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(causesOf(2020), std::vector<int>{cause::Tick});
}

TEST_F(QtGadgets, StringFieldReportsTypingSettingAndFocus) {
    ASSERT_TRUE(ui->stringGadget(2001, {10, 25, 230, 22}, "/tmp"));
    ASSERT_TRUE(ui->buttonGadget(2002, {245, 25, 40, 22}, "..."));
    auto* edit = static_cast<QLineEdit*>(probe->gadgetWidget(2001));
    drain();
    tvtest::pressKey(edit, Qt::Key_End);
    tvtest::typeText(edit, "/x");
    EXPECT_EQ(ui->getText(2001), "/tmp/x");
    EXPECT_GE(countFor(drain(), 2001), 1);

    ui->setText(2001, "/tmp/x");  // same text: still a change
    std::vector<Event> events = drain();
    EXPECT_EQ(countFor(events, 2001), 1);

    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &in);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &out);
    EXPECT_EQ(countFor(drain(), 2001), 2);
}

TEST_F(QtGadgets, ReturnAndEnterClickAFocusedButtonAndNothingElse) {
    ASSERT_TRUE(ui->buttonGadget(2016, {10, 170, 240, 24}, "List"));
    ASSERT_TRUE(ui->stringGadget(2001, {10, 25, 230, 22}, "/tmp"));
    ASSERT_TRUE(ui->checkBoxGadget(2024, {10, 50, 130, 20}, "Rename images"));
    ASSERT_TRUE(ui->spinGadget(2027, {180, 77, 90, 20}, 1, 30000, 0));
    struct Case {
        int gadget;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool clicks;
    } cases[] = {
        {2016, Qt::Key_Return, Qt::NoModifier, true},
        {2016, Qt::Key_Enter, Qt::KeypadModifier, true},
        {2016, Qt::Key_Space, Qt::NoModifier, true},
        {2016, Qt::Key_Return, Qt::ControlModifier, false},
        {2001, Qt::Key_Return, Qt::NoModifier, false},  // an ordinary window's field: nothing
        {2001, Qt::Key_Enter, Qt::KeypadModifier, false},
        {2024, Qt::Key_Return, Qt::NoModifier, false},  // no tick either
        {2024, Qt::Key_Enter, Qt::KeypadModifier, false},
        {2027, Qt::Key_Return, Qt::NoModifier, false},
    };
    for (const Case& c : cases) {
        ui->setFocus(c.gadget);
        drain();
        tvtest::pressKey(probe->gadgetWidget(c.gadget), c.key, c.modifiers);
        std::vector<Event> events;
        for (const Event& e : drain())
            if (e.cause != cause::FocusIn && e.cause != cause::FocusOut) events.push_back(e);
        std::vector<Event> expected;
        if (c.clicks) expected.push_back(Event{EventKind::Gadget, Win, c.gadget, cause::Click});
        EXPECT_EQ(events, expected) << c.gadget << " key " << c.key;
        EXPECT_EQ(ui->getState(2024), 0);
        EXPECT_EQ(ui->getText(2001), "/tmp");
    }
    // A held key clicks once.
    auto* button = probe->gadgetWidget(2016);
    for (bool repeat : {false, true, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
        QCoreApplication::sendEvent(button, &press);
    }
    EXPECT_EQ(countFor(drain(), 2016), 1);
}

TEST_F(QtGadgets, WindowsShowTheProgramsIconFromTheBuildTreeToo) {
    EXPECT_FALSE(QApplication::windowIcon().pixmap(32).isNull());
    EXPECT_FALSE(probe->windowWidget(Win)->windowIcon().pixmap(32).isNull());
}

TEST_F(QtGadgets, IdenticalEventsWaitingBackToBackAreMerged) {
    ASSERT_TRUE(ui->stringGadget(2001, {10, 25, 230, 22}, ""));
    ASSERT_TRUE(ui->buttonGadget(2002, {245, 25, 40, 22}, "..."));
    drain();  // the field takes the focus as its window comes up
    ui->setText(2001, "a");
    ui->setText(2001, "b");
    std::vector<Event> events = drain();
    EXPECT_EQ(countFor(events, 2001), 1) << "two quick changes are delivered once";

    // Only the last waiting event is compared: A B A stays three events.
    ui->setText(2001, "c");
    static_cast<QPushButton*>(probe->gadgetWidget(2002))->click();
    ui->setText(2001, "d");
    events = drain();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].gadget, 2001);
    EXPECT_EQ(events[1].gadget, 2002);
    EXPECT_EQ(events[2].gadget, 2001);
}

TEST_F(QtGadgets, WaitWithTimeoutReturnsNoEventAfterAboutThatLong) {
    ui->waitEvent(0);  // lay out first
    QElapsedTimer t;
    t.start();
    Event e = ui->waitEvent(50);
    qint64 took = t.elapsed();
    EXPECT_EQ(e.kind, EventKind::None);
    EXPECT_GE(took, 45);
    // Only a wait that forgot its limit takes this long, however busy the machine.
    EXPECT_LT(took, tvtest::HangGuardMs);
}

TEST_F(QtGadgets, WaitReturnsAsSoonAsAnEventArrives) {
    ASSERT_TRUE(ui->buttonGadget(2016, {10, 170, 240, 24}, "List"));
    auto* button = static_cast<QPushButton*>(probe->gadgetWidget(2016));
    QTimer::singleShot(20, button, [button] { button->click(); });
    QElapsedTimer t;
    t.start();
    Event e = ui->waitEvent(NoLimit);
    EXPECT_EQ(e.gadget, 2016);
    // However busy the machine, only a wait that slept through the click
    // takes this long.
    EXPECT_LT(t.elapsed(), tvtest::HangGuardMs);
}

TEST_F(QtGadgets, ComboRowsSelectionAndNotifications) {
    ASSERT_TRUE(ui->comboGadget(2007, {75, 82, 60, 20}));
    drain();  // focus as the window comes up
    EXPECT_EQ(ui->getState(2007), -1);
    for (const char* row : {"JPG", "PNG", "BMP"}) ui->addItem(2007, -1, row);
    EXPECT_EQ(ui->getState(2007), -1) << "added rows are not selected";
    EXPECT_EQ(ui->getText(2007), "");
    EXPECT_EQ(ui->countItems(2007), 3);
    ui->setState(2007, 0);
    EXPECT_EQ(ui->getText(2007), "JPG");
    EXPECT_TRUE(drain().empty()) << "the program's own selection is no user event";
    auto* combo = static_cast<QComboBox*>(probe->gadgetWidget(2007));
    EXPECT_FALSE(combo->isEditable());
    combo->setCurrentIndex(2);  // as the user picking a row
    EXPECT_EQ(ui->getState(2007), 2);
    EXPECT_EQ(ui->getText(2007), "BMP");
    EXPECT_EQ(countFor(drain(), 2007), 1);
    ui->setState(2007, 7);  // no such row
    EXPECT_EQ(ui->getState(2007), -1);
    ui->addItem(2007, 0, "JPEG");
    EXPECT_EQ(probe->getItemText(2007, 0, 0), "JPEG");
}

TEST_F(QtGadgets, ListRowsTicksSelectionAndEvents) {
    ASSERT_TRUE(ui->listGadget(2020, {10, 10, 300, 150}, "Images", 200, 0));
    ui->addColumn(2020, 1, "Size", 80);
    auto* list = static_cast<QTreeWidget*>(probe->gadgetWidget(2020));
    EXPECT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->headerItem()->text(1), "Size");
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->columnWidth(0), int(std::lround(200 * probe->layoutScale())));
    for (const char* r : {"a.jpg\n1 Ko", "b.png\n2 Ko", "c.bmp\n3 Ko"}) ui->addItem(2020, -1, r);
    EXPECT_EQ(ui->countItems(2020), 3);
    EXPECT_EQ(probe->getItemText(2020, 1, 0), "b.png");
    EXPECT_EQ(probe->getItemText(2020, 1, 1), "2 Ko");
    EXPECT_EQ(ui->getItemState(2020, 0), 0) << "new rows are unticked and unselected";
    EXPECT_EQ(ui->getState(2020), -1);

    ui->setItemState(2020, 1, row::Selected | row::Ticked);
    EXPECT_EQ(ui->getItemState(2020, 1), 3);
    EXPECT_EQ(ui->getState(2020), 1);
    EXPECT_EQ(list->currentItem(), list->topLevelItem(1)) << "selecting also sets the focus mark";
    ui->setItemState(2020, 1, row::Ticked);  // replaces both bits
    EXPECT_EQ(ui->getItemState(2020, 1), 2);
    EXPECT_EQ(ui->getState(2020), -1);
    ui->setItemState(2020, 0, row::Selected);
    ui->setItemState(2020, 2, row::Selected);
    EXPECT_EQ(ui->getItemState(2020, 0), 0) << "one selected row at most";
    EXPECT_EQ(ui->getItemState(2020, 2), 1);
    EXPECT_TRUE(drain().empty()) << "the program's own changes are no user events";

    // The user ticking a row.
    list->topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(ui->getItemState(2020, 0), 2);
    EXPECT_GE(countFor(drain(), 2020), 1);

    // Clicking a row selects it; clicking below the last row clears it.
    ui->waitEvent(0);
    QWidget* vp = list->viewport();
    QRect r0 = list->visualItemRect(list->topLevelItem(0));
    QPoint onRow(r0.center().x() + 40, r0.center().y());
    QMouseEvent press(QEvent::MouseButtonPress, onRow, vp->mapToGlobal(onRow), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, onRow, vp->mapToGlobal(onRow), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &release);
    EXPECT_EQ(ui->getState(2020), 0);
    EXPECT_GE(countFor(drain(), 2020), 1);
    QPoint below(20, vp->height() - 3);
    ASSERT_EQ(list->itemAt(below), nullptr);
    QMouseEvent right(QEvent::MouseButtonPress, below, vp->mapToGlobal(below), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &right);
    EXPECT_EQ(ui->getState(2020), -1);
    std::vector<Event> events = drain();
    EXPECT_GE(countFor(events, 2020), 1);
}

TEST_F(QtGadgets, WorkerThreadReadsSeeTheUsersChanges) {
    ASSERT_TRUE(ui->listGadget(2020, {10, 10, 300, 150}, "Images", 200, 0));
    for (int i = 0; i < 4; ++i) ui->addItem(2020, -1, "row\n1 o");
    for (int i = 0; i < 4; ++i) ui->setItemState(2020, i, row::Ticked);
    ASSERT_TRUE(ui->checkBoxGadget(2031, {10, 140, 155, 20}, "Remove source image"));
    ASSERT_TRUE(ui->spinGadget(2027, {180, 77, 90, 20}, 1, 30000, 0));
    ASSERT_TRUE(ui->stringGadget(2025, {20, 50, 250, 20}, "Nouvel album #"));
    // The user's own actions, on the widgets.
    static_cast<QTreeWidget*>(probe->gadgetWidget(2020))->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    static_cast<QCheckBox*>(probe->gadgetWidget(2031))->click();
    tvtest::typeText(probe->gadgetWidget(2027)->findChild<QLineEdit*>(), "7");
    ui->setText(2025, "Été #");

    std::vector<int> rows;
    std::string spinText, mask;
    int removeState = -1, spinValue = -1, missing = -1;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) rows.push_back(ui->getItemState(2020, i));
        removeState = ui->getState(2031);
        spinText = ui->getText(2027);
        spinValue = ui->getState(2027);
        mask = ui->getText(2025);
        missing = ui->getState(4242);
    });
    worker.join();
    EXPECT_EQ(rows, (std::vector<int>{2, 2, 0, 2, 0}));
    EXPECT_EQ(removeState, 1);
    EXPECT_EQ(spinText, ui->getText(2027));
    EXPECT_EQ(spinValue, ui->getState(2027));
    EXPECT_EQ(spinText, "17");
    EXPECT_EQ(mask, "Été #");
    EXPECT_EQ(missing, 0);
}

TEST_F(QtGadgets, SpinTypingIsFreeArrowsStepWithinRange) {
    ASSERT_TRUE(ui->spinGadget(2027, {180, 77, 90, 20}, 1, 30000, 0));
    QWidget* spin = probe->gadgetWidget(2027);
    auto* edit = spin->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
    ui->setState(2027, 1);
    EXPECT_EQ(ui->getText(2027), "1");

    ui->setText(2027, "");
    tvtest::typeText(edit, "abc");
    EXPECT_EQ(ui->getText(2027), "abc") << "typing is not limited to digits";
    EXPECT_EQ(ui->getState(2027), 1) << "a text that is no number keeps the last value";

    ui->setText(2027, "99999");
    EXPECT_EQ(ui->getText(2027), "99999") << "nor to the range";
    tvtest::pressKey(spin, Qt::Key_Up);
    EXPECT_EQ(ui->getText(2027), "30000") << "an arrow brings the value into the range";
    tvtest::pressKey(spin, Qt::Key_Up);
    EXPECT_EQ(ui->getState(2027), 30000);
    tvtest::pressKey(spin, Qt::Key_Down);
    EXPECT_EQ(ui->getText(2027), "29999") << "plain digits, no thousands separator";

    ui->setState(2027, 1);
    tvtest::pressKey(spin, Qt::Key_Down);
    EXPECT_EQ(ui->getState(2027), 1);
    ui->setState(2027, 1234);
    EXPECT_EQ(ui->getText(2027), "1234");
    ui->setState(2027, 0);
    EXPECT_EQ(ui->getState(2027), 1) << "the program's value is kept in range";
}

TEST_F(QtGadgets, TextColoursToolTipsAndPlainCaptions) {
    ASSERT_TRUE(ui->textGadget(2021, {80, 285, 300, 14}, "<b>careful</b> & co", Align::Center));
    ui->setColour(2021, colour_which::Text, 0x0000FF);
    ui->setColour(2021, colour_which::Background, 0x00FFFF);
    auto* label = static_cast<QLabel*>(probe->gadgetWidget(2021));
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << "captions are shown as written";
    EXPECT_EQ(ui->getText(2021), "<b>careful</b> & co");
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(label->palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_TRUE(label->autoFillBackground());
    ASSERT_TRUE(ui->textGadget(2017, {255, 180, 77, 20}, "Version: 2.5.1", Align::Right));
    EXPECT_TRUE(static_cast<QLabel*>(probe->gadgetWidget(2017))->alignment() & Qt::AlignRight);
    ui->setToolTip(2017, "Ratio like 1/2");
    EXPECT_EQ(probe->gadgetWidget(2017)->toolTip(), "Ratio like 1/2");
    ASSERT_TRUE(ui->frameGadget(2000, {5, 5, 330, 50}, "Images path"));
    EXPECT_EQ(static_cast<QGroupBox*>(probe->gadgetWidget(2000))->title(), "Images path");
}

TEST_F(QtGadgets, DisableHideAndFocus) {
    ASSERT_TRUE(ui->buttonGadget(2018, {10, 310, 100, 24}, "Change after"));
    ASSERT_TRUE(ui->stringGadget(2012, {235, 137, 60, 20}, "100%"));
    ui->disableGadget(2018, true);
    EXPECT_TRUE(probe->isGadgetDisabled(2018));
    EXPECT_FALSE(probe->gadgetWidget(2018)->isEnabled());
    ui->disableGadget(2018, false);
    EXPECT_FALSE(probe->isGadgetDisabled(2018));
    ui->hideGadget(2012, true);
    EXPECT_TRUE(probe->isGadgetHidden(2012));
    ui->hideGadget(2012, false);
    EXPECT_FALSE(probe->isGadgetHidden(2012));
    ui->hideWindow(Win, true);
    EXPECT_FALSE(probe->isGadgetHidden(2012)) << "a gadget of a hidden window is not hidden itself";
}

TEST_F(QtGadgets, FontsComeFromTheFontDatabaseOrNotAtAll) {
    EXPECT_EQ(ui->loadFont("No Such Family Tarvolin", 11, true), 0);
    const QStringList families = QFontDatabase::families();
    if (families.isEmpty()) GTEST_SKIP() << "no font installed";
    FontId f = ui->loadFont(families.first().toStdString(), 11, true);
    ASSERT_NE(f, 0);
    ASSERT_TRUE(ui->buttonGadget(2016, {10, 170, 240, 24}, "List"));
    ui->setFont(2016, f);
    QFont used = probe->gadgetWidget(2016)->font();
    EXPECT_TRUE(used.bold());
    double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    EXPECT_EQ(used.pixelSize(), int(std::lround(11 * dpi / 72)));
    ui->setFont(2016, 0);
    EXPECT_FALSE(probe->gadgetWidget(2016)->font().bold());
}

TEST_F(QtGadgets, LayoutFactorLetsEveryCaptionFit) {
    // A caption far wider than its box in any font forces a larger factor.
    ASSERT_TRUE(ui->textGadget(2005, {15, 85, 50, 15}, "Compression :", Align::Left));
    ASSERT_TRUE(ui->comboGadget(2011, {110, 137, 55, 20}));
    ui->addItem(2011, -1, "100%: 1/1");
    probe->finishLayout();
    const double f = probe->layoutScale();
    auto* label = static_cast<QLabel*>(probe->gadgetWidget(2005));
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    EXPECT_EQ(probe->windowWidget(Win)->width(), int(std::lround(340 * f)));
    EXPECT_EQ(label->x(), int(std::lround(15 * f)));
    EXPECT_LE(f, 2.0);
    EXPECT_DOUBLE_EQ(layoutScaleFor(13), 1.0);
    EXPECT_DOUBLE_EQ(layoutScaleFor(26), 2.0);
}

TEST_F(QtGadgets, ClipboardTextOnlyWhenItHoldsText) {
    QGuiApplication::clipboard()->setText("/home/user/Photos");
    EXPECT_EQ(ui->clipboardText(), "/home/user/Photos");
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    EXPECT_EQ(ui->clipboardText(), "");
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(ui->clipboardText(), "");
}

TEST_F(QtGadgets, TickCountAdvancesInMilliseconds) {
    QElapsedTimer outside;
    outside.start();
    std::uint32_t a = ui->tickCount();
    tvtest::pump(30);
    std::uint32_t b = ui->tickCount();
    qint64 passed = outside.elapsed();
    EXPECT_GE(b - a, 25u);
    // No more than passed around the two readings, however long that was.
    EXPECT_LE(b - a, static_cast<std::uint32_t>(passed) + 2u);
}

TEST(QtDesktop, WindowWalkSeesTheProgramsWindows) {
    auto ui = tvtest::makeQt();
    ASSERT_TRUE(ui->openWindow(200, 0, 0, 100, 100, "Tarvolin - Settings", wflag::TitleBar));
    ASSERT_TRUE(ui->openWindow(201, 0, 0, 100, 100, "/home/user/Photos/", wflag::TitleBar | wflag::Invisible));
    ui->waitEvent(0);
    int shown = 0, hidden = 0;
    for (const TopLevelWindow& w : ui->topLevelWindows()) {
        if (w.title == "Tarvolin - Settings" && w.visible && !w.toolWindow) ++shown;
        if (w.title == "/home/user/Photos/" && !w.visible) ++hidden;
    }
    EXPECT_EQ(shown, 1);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        EXPECT_EQ(hidden, 1);
    }
}

}  // namespace

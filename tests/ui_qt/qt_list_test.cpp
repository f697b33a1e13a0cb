// The image list of the Qt backend at the sizes folders come in: filling and
// ticking cost each row once, the worker's copy follows every change, the
// space bar ticks, and the columns never need a horizontal scroll bar.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QScrollBar>
#include <QTreeWidget>

#include <string>
#include <thread>
#include <vector>

#include "qt_support.h"
#include "ui/contract_rules.h"

using namespace tv;

namespace {

constexpr int WndList = 201;
constexpr int ImgList = 2020;

class QtList : public tvtest::QtBackendTest {
protected:
    QtList() : QtBackendTest({WndList, 460, 340, "Tarvolin - Images list"}) {}

    // The list as the image list window has it.
    QTreeWidget* buildList() {
        EXPECT_TRUE(ui->listGadget(ImgList, {10, 10, 440, 270}, "Images", 355, 0));
        ui->addColumn(ImgList, 1, "Size", 80);
        ui->waitEvent(0);
        return static_cast<QTreeWidget*>(probe->gadgetWidget(ImgList));
    }
    // One ticked row per image, as the folder listing adds them.
    void fill(int rows) {
        for (int i = 0; i < rows; ++i) {
            ui->addItem(ImgList, -1, "IMG_" + std::to_string(i) + ".jpg\n1.0 Ko");
            ui->setItemState(ImgList, ui->countItems(ImgList) - 1, row::Ticked);
        }
    }
    // Every row's bits, one row past the last, then the selected row: from
    // another thread, and on the UI thread.
    std::vector<int> workerView() {
        const int n = ui->countItems(ImgList);
        std::vector<int> seen;
        std::thread worker([&] {
            for (int r = 0; r <= n; ++r) seen.push_back(ui->getItemState(ImgList, r));
            seen.push_back(ui->getState(ImgList));
        });
        worker.join();
        return seen;
    }
    std::vector<int> uiView() {
        std::vector<int> seen;
        const int n = ui->countItems(ImgList);
        for (int r = 0; r <= n; ++r) seen.push_back(ui->getItemState(ImgList, r));
        seen.push_back(ui->getState(ImgList));
        return seen;
    }
};

// Copying the whole list into the worker's view at every row, as a list
// that is re-read per change does, writes n * n / 2 rows for n rows.
TEST_F(QtList, FillingTickingAndTogglingWriteEachRowAConstantNumberOfTimes) {
    buildList();
    constexpr int Rows = 3000;
    const long long before = probe->mirrorRowWrites();
    fill(Rows);
    for (int r = 0; r < Rows; ++r) ui->setItemState(ImgList, r, ui->getItemState(ImgList, r) ^ row::Ticked);
    ui->setItemState(ImgList, 7, row::Selected);
    const long long writes = probe->mirrorRowWrites() - before;
    EXPECT_GE(writes, 2 * Rows) << "the worker's view follows the rows";
    EXPECT_LE(writes, 6 * Rows);
    std::vector<int> expected(Rows + 1, 0);
    expected[7] = row::Selected;
    expected.push_back(7);
    EXPECT_EQ(workerView(), expected);
}

TEST_F(QtList, WorkerSeesWhatTheUiThreadSeesAfterEveryKindOfChange) {
    QTreeWidget* list = buildList();
    fill(6);
    ui->setItemState(ImgList, 2, row::Selected | row::Ticked);
    EXPECT_EQ(workerView(), uiView());
    // Rows put in front of the selected one move it on.
    ui->addItem(ImgList, 0, "first.jpg\n1 o");
    ui->addItem(ImgList, 4, "middle.jpg\n1 o");
    EXPECT_EQ(ui->getState(ImgList), 3);
    EXPECT_EQ(workerView(), uiView());
    // The user unticking a row and picking another one.
    list->topLevelItem(6)->setCheckState(0, Qt::Unchecked);
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_EQ(ui->getState(ImgList), 1);
    EXPECT_EQ(workerView(), uiView());
    ui->setState(ImgList, -1);
    ui->setItemState(ImgList, 4, row::Ticked);
    EXPECT_EQ(workerView(), uiView());
    EXPECT_EQ(uiView(), (std::vector<int>{0, 2, 2, 2, 2, 2, 0, 2, 0, -1}));
}

TEST_F(QtList, SpaceBarTogglesTheCurrentRowsTick) {
    QTreeWidget* list = buildList();
    fill(3);
    ui->setItemState(ImgList, 1, row::Selected | row::Ticked);
    while (ui->waitEvent(0).kind != EventKind::None) {
    }
    tvtest::pressKey(list, Qt::Key_Space);
    EXPECT_EQ(ui->getItemState(ImgList, 1), row::Selected);
    EXPECT_EQ(workerView()[1], row::Selected);
    std::vector<int> causes;
    for (Event e = ui->waitEvent(0); e.kind != EventKind::None; e = ui->waitEvent(0))
        if (e.gadget == ImgList) causes.push_back(e.cause);
    EXPECT_EQ(causes, std::vector<int>{cause::Tick});
    tvtest::pressKey(list, Qt::Key_Space);
    EXPECT_EQ(ui->getItemState(ImgList, 1), row::Selected | row::Ticked);
}

// The two columns fill the list exactly: with a vertical scroll bar shown
// they would overflow it, unless the last one makes room for the bar.
class QtListColumns : public QtList, public ::testing::WithParamInterface<int> {};

TEST_P(QtListColumns, NeedNoHorizontalScrollBar) {
    const int rows = GetParam();
    QTreeWidget* list = buildList();
    fill(rows);
    list->doItemsLayout();  // the scroll ranges now, the bars as the loop runs
    const double f = probe->layoutScale();
    auto px = [f](int v) { return int(std::lround(v * f)); };
    QScrollBar* vertical = list->verticalScrollBar();
    QScrollBar* horizontal = list->horizontalScrollBar();
    // Laid out with the vertical bar shown when the rows need it.
    ASSERT_TRUE(tvtest::waitUntil([&] {
        const bool rowsFit = vertical->maximum() == 0;
        return vertical->isVisible() != rowsFit &&
               list->header()->length() <= list->viewport()->width();
    })) << rows << " rows: columns " << list->columnWidth(0) << " + " << list->columnWidth(1) << " in "
        << list->viewport()->width();
    EXPECT_TRUE(tvtest::waitUntil([&] { return !horizontal->isVisible() && horizontal->maximum() == 0; }))
        << rows << " rows";
    EXPECT_EQ(list->columnWidth(0), px(355)) << rows << " rows";
    if (!vertical->isVisible()) {
        EXPECT_EQ(list->columnWidth(1), px(80)) << rows << " rows";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, QtListColumns, ::testing::Values(1, 10, 30, 500));

}  // namespace

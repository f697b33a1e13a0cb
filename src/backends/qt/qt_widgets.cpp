#include "backends/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <numeric>

namespace tv::qt {

void TvWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (onClose) onClose();
}

void TvWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && onActivated) onActivated();
}

void TvButton::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    // A held key clicks once; with Ctrl, Alt or Shift it is no plain Enter.
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!e->isAutoRepeat()) click();
        e->accept();
        return;
    }
    QPushButton::keyPressEvent(e);
}

void TvCombo::showPopup() {
    QComboBox::showPopup();
    if (notify) notify(cause::PopupOpened);
}

void TvCombo::hidePopup() {
    QComboBox::hidePopup();
    if (notify) notify(cause::PopupClosed);
}

void TvList::mousePressEvent(QMouseEvent* e) {
    if (!itemAt(e->position().toPoint())) {
        clearSelection();
        setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
    }
    QTreeWidget::mousePressEvent(e);
    if (notify) notify(e->button() == Qt::RightButton ? cause::RightClick : cause::Click);
}

void TvList::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeWidget::mouseDoubleClickEvent(e);
    if (notify) notify(cause::DoubleClick);
}

int TvList::selectedRow() const {
    // One row at most is selected: the first range is it.
    for (const QItemSelectionRange& r : selectionModel()->selection())
        if (r.isValid()) return r.top();
    return -1;
}

int TvList::rowBits(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return 0;
    return (item->isSelected() ? row::Selected : 0) | (item->checkState(0) == Qt::Checked ? row::Ticked : 0);
}

void TvList::setColumnWidths(std::vector<int> widths) {
    widths_ = std::move(widths);
    fitColumns();
}

void TvList::resizeEvent(QResizeEvent* e) {
    // The scroll bars are shown or hidden before the viewport is resized;
    // fitted first, the columns give the scroll ranges their final length.
    fitColumns();
    QTreeWidget::resizeEvent(e);
}

void TvList::fitColumns() {
    const int n = std::min(columnCount(), int(widths_.size()));
    if (n <= 0) return;
    const int last = n - 1;
    int giveUp = 0;
    if (verticalScrollBar()->isVisibleTo(this)) {
        // What the columns overflow the viewport by, never more than the
        // bar took from it (nothing for a bar drawn over the rows).
        const int total = std::accumulate(widths_.begin(), widths_.begin() + n, 0);
        const int bar = verticalScrollBar()->sizeHint().width();
        giveUp = std::clamp(total - viewport()->width(), 0, std::min(bar, widths_[std::size_t(last)]));
    }
    for (int c = 0; c < n; ++c) {
        const int w = widths_[std::size_t(c)] - (c == last ? giveUp : 0);
        if (columnWidth(c) != w) setColumnWidth(c, w);
    }
}

TvSpin::TvSpin(QWidget* parent, Range range) : QAbstractSpinBox(parent), range_(range) {
    lineEdit()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setValue(range_.lo);
}

void TvSpin::setValue(int v) {
    value_ = range_.clamp(v);
    lineEdit()->setText(qs(spinText(value_)));
}

void TvSpin::stepBy(int steps) {
    long long next = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(next, range_.lo, range_.hi)));
}

QAbstractSpinBox::StepEnabled TvSpin::stepEnabled() const {
    if (!isEnabled()) return StepNone;
    return StepUpEnabled | StepDownEnabled;
}

bool FocusFilter::eventFilter(QObject* watched, QEvent* e) {
    if (notify) {
        if (e->type() == QEvent::FocusIn) notify(watched, cause::FocusIn);
        else if (e->type() == QEvent::FocusOut) notify(watched, cause::FocusOut);
    }
    return false;
}

}  // namespace tv::qt

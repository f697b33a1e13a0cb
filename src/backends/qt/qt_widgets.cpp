#include "backends/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>

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

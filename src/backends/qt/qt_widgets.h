// The Qt widgets behind the contract's windows and gadgets, where Qt's own
// do not behave as the contract says, and the backend's record of a gadget.
#pragma once

#include <QAbstractSpinBox>
#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/contract_rules.h"
#include "ui/window_system.h"

namespace tv::qt {

// The contract's texts are UTF-8.
inline QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

inline std::string ss(const QString& s) {
    QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

inline QColor qcolour(Colour c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }

// A top-level program window: its close box only reports; the program
// decides what happens.
class TvWindow : public QWidget {
public:
    explicit TvWindow(Qt::WindowFlags flags) : QWidget(nullptr, flags) {}
    std::function<void()> onClose;
    std::function<void()> onActivated;  // the window system made it the active window
    std::string title;
    int innerWidth = 0, innerHeight = 0;  // before scaling
    bool centred = false;

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
};

// A push button that Return and keypad Enter click while it has the
// keyboard focus, as Space does; Qt's own answers them only in dialogs.
class TvButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

// A combo that also reports its list opening and closing.
class TvCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void(int)> notify;
    void showPopup() override;
    void hidePopup() override;
};

// A list that reports clicks, and clears its selection on a click below
// its last row as list views do. Its rows are reached by position without
// walking the rows, so that filling and ticking a long list stays linear.
// The columns keep the widths the program gave them, except that the last
// one gives up the vertical scroll bar's room while that bar is shown, so
// that columns which fill the list exactly never need a horizontal one.
class TvList : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    std::function<void(int)> notify;

    // The selected row, -1 when none.
    int selectedRow() const;
    // A row's bits as the contract numbers them; 0 for no such row.
    int rowBits(int row) const;
    // The position of one of the list's rows, -1 for another item.
    int rowOf(const QTreeWidgetItem* item) const { return indexFromItem(item).row(); }
    // The columns' widths in pixels as the program gave them.
    void setColumnWidths(std::vector<int> widths);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void fitColumns();
    std::vector<int> widths_;
};

// Editable numeric field: any text may be typed; the arrows, arrow keys and
// wheel step the value by one within the range and show plain digits.
class TvSpin : public QAbstractSpinBox {
public:
    TvSpin(QWidget* parent, Range range);
    int value() const { return spinValue(ss(lineEdit()->text()), range_, value_); }
    void setValue(int v);
    void setRawText(const QString& t) { lineEdit()->setText(t); }
    QString rawText() const { return lineEdit()->text(); }
    QLineEdit* edit() const { return lineEdit(); }
    void stepBy(int steps) override;
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    void fixup(QString&) const override {}

protected:
    StepEnabled stepEnabled() const override;

private:
    Range range_;
    int value_ = 0;  // last set or stepped to
};

// Tells which gadget gained or lost the keyboard focus.
class FocusFilter : public QObject {
public:
    std::function<void(QObject*, int)> notify;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
};

// The backend's record of one gadget.
struct Gadget {
    GadgetKind kind;
    int window;
    QWidget* widget;
    Rect logical;              // as the program gave it, before scaling
    std::vector<int> columns;  // list column widths, likewise
};

}  // namespace tv::qt

// Reading and changing the Qt backend's gadgets. Reads from another thread
// come from the mirror; every other call acts on the UI thread only.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QTreeWidget>

#include <algorithm>

#include "backends/qt/qt_impl.h"

namespace tv {

using qt::qs;
using qt::ss;
using qt::TvSpin;

namespace {

// Counts the program's own changes of a gadget, which are no user events.
class ProgramChange {
public:
    explicit ProgramChange(int& depth) : depth_(depth) { ++depth_; }
    ~ProgramChange() { --depth_; }
    ProgramChange(const ProgramChange&) = delete;
    ProgramChange& operator=(const ProgramChange&) = delete;

private:
    int& depth_;
};

}  // namespace

std::string QtWindowSystem::getText(int id) {
    if (!d->onGui()) return d->mirror.text(id);
    qt::Gadget* g = d->find(id);
    if (!g) return {};
    QWidget* w = g->widget;
    switch (g->kind) {
    case GadgetKind::Frame: return ss(static_cast<QGroupBox*>(w)->title());
    case GadgetKind::Text: return ss(static_cast<QLabel*>(w)->text());
    case GadgetKind::String: return ss(static_cast<QLineEdit*>(w)->text());
    case GadgetKind::Button:
    case GadgetKind::CheckBox: return ss(static_cast<QAbstractButton*>(w)->text());
    case GadgetKind::Combo: return ss(static_cast<QComboBox*>(w)->currentText());
    case GadgetKind::Spin: return ss(static_cast<TvSpin*>(w)->rawText());
    case GadgetKind::List:
    case GadgetKind::ProgressBar: return {};
    }
    return {};
}

void QtWindowSystem::setText(int id, std::string_view text) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QWidget* w = g->widget;
    QString t = qs(text);
    {
        ProgramChange change(d->programmatic);
        switch (g->kind) {
        case GadgetKind::Frame: static_cast<QGroupBox*>(w)->setTitle(t); break;
        case GadgetKind::Text: static_cast<QLabel*>(w)->setText(t); break;
        case GadgetKind::String: static_cast<QLineEdit*>(w)->setText(t); break;
        case GadgetKind::Button:
        case GadgetKind::CheckBox: static_cast<QAbstractButton*>(w)->setText(t); break;
        case GadgetKind::Spin: static_cast<TvSpin*>(w)->setRawText(t); break;
        case GadgetKind::Combo: {
            // A drop-down list cannot hold free text: the text picks its row.
            auto* c = static_cast<QComboBox*>(w);
            int row = rowWithText(c->count(), [c](int i) { return ss(c->itemText(i)); }, text);
            if (row >= 0) c->setCurrentIndex(row);
            break;
        }
        case GadgetKind::List:
        case GadgetKind::ProgressBar: break;
        }
    }
    if (g->kind == GadgetKind::Frame || g->kind == GadgetKind::Text || g->kind == GadgetKind::Button ||
        g->kind == GadgetKind::CheckBox)
        d->mirror.setText(id, t);
    if (g->kind == GadgetKind::String) {
        d->mirror.setText(id, t);
        // Setting the text is a change of the field, even to the same text.
        d->gadgetEvent(id, cause::Change);
    }
}

int QtWindowSystem::getState(int id) {
    if (!d->onGui()) return d->mirror.state(id);
    qt::Gadget* g = d->find(id);
    if (!g) return 0;
    QWidget* w = g->widget;
    switch (g->kind) {
    case GadgetKind::CheckBox: return static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0;
    case GadgetKind::Combo: return static_cast<QComboBox*>(w)->currentIndex();
    case GadgetKind::List: return static_cast<qt::TvList*>(w)->selectedRow();
    case GadgetKind::Spin: return static_cast<TvSpin*>(w)->value();
    case GadgetKind::ProgressBar: return static_cast<QProgressBar*>(w)->value();
    default: return 0;
    }
}

void QtWindowSystem::setState(int id, int value) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QWidget* w = g->widget;
    ProgramChange change(d->programmatic);
    switch (g->kind) {
    case GadgetKind::CheckBox: static_cast<QCheckBox*>(w)->setChecked(value != 0); break;
    case GadgetKind::Combo: {
        auto* c = static_cast<QComboBox*>(w);
        c->setCurrentIndex(value >= 0 && value < c->count() ? value : -1);
        d->mirror.setTextState(id, c->currentText(), c->currentIndex());
        break;
    }
    case GadgetKind::List: {
        auto* l = static_cast<qt::TvList*>(w);
        if (QTreeWidgetItem* item = value >= 0 ? l->topLevelItem(value) : nullptr) {
            l->setCurrentItem(item);
        } else {
            l->clearSelection();
        }
        d->mirror.setListSelection(id, l->selectedRow());
        break;
    }
    case GadgetKind::Spin: {
        auto* s = static_cast<TvSpin*>(w);
        s->setValue(value);
        d->mirror.setTextState(id, s->rawText(), s->value());
        break;
    }
    case GadgetKind::ProgressBar: {
        auto* b = static_cast<QProgressBar*>(w);
        b->setValue(std::clamp(value, b->minimum(), b->maximum()));
        d->mirror.setState(id, b->value());
        break;
    }
    default: break;
    }
}

void QtWindowSystem::addItem(int id, int position, std::string_view text) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    ProgramChange change(d->programmatic);
    if (g->kind == GadgetKind::Combo) {
        auto* c = static_cast<QComboBox*>(g->widget);
        int before = c->currentIndex();
        c->insertItem(insertionIndex(position, c->count()), qs(text));
        // A new row is not selected; an empty combo stays without selection.
        if (before < 0) c->setCurrentIndex(-1);
        d->mirror.setTextState(id, c->currentText(), c->currentIndex());
    } else if (g->kind == GadgetKind::List) {
        auto* l = static_cast<qt::TvList*>(g->widget);
        auto* item = new QTreeWidgetItem();
        const std::vector<std::string> columns = rowColumns(text);
        for (std::size_t c = 0; c < columns.size(); ++c) item->setText(int(c), qs(columns[c]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        l->insertTopLevelItem(insertionIndex(position, l->topLevelItemCount()), item);
        // Asking for the row now, while it is found at once, lets Qt find
        // it again at once later; rows after it have moved on by one, and a
        // selected one among them too.
        d->mirror.insertListRow(id, l->rowOf(item), false, l->selectedRow());
    }
}

void QtWindowSystem::addColumn(int id, int position, std::string_view title, int width) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g || g->kind != GadgetKind::List) return;
    auto* l = static_cast<qt::TvList*>(g->widget);
    ProgramChange change(d->programmatic);
    int count = l->columnCount();
    int pos = insertionIndex(position, count);
    if (pos == count) l->setColumnCount(count + 1);
    else l->model()->insertColumn(pos);
    l->headerItem()->setText(pos, qs(title));
    g->columns.insert(g->columns.begin() + std::min<std::ptrdiff_t>(pos, std::ptrdiff_t(g->columns.size())),
                      std::max(0, width));
    std::vector<int> widths;
    for (int w : g->columns) widths.push_back(d->px(w));
    l->setColumnWidths(std::move(widths));
}

int QtWindowSystem::getItemState(int id, int rowIndex) {
    if (!d->onGui()) return d->mirror.rowBits(id, rowIndex);
    qt::Gadget* g = d->find(id);
    if (!g || g->kind != GadgetKind::List) return 0;
    return static_cast<qt::TvList*>(g->widget)->rowBits(rowIndex);
}

void QtWindowSystem::setItemState(int id, int rowIndex, int bits) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g || g->kind != GadgetKind::List) return;
    auto* l = static_cast<qt::TvList*>(g->widget);
    QTreeWidgetItem* item = l->topLevelItem(rowIndex);
    if (!item) return;
    {
        ProgramChange change(d->programmatic);
        item->setCheckState(0, (bits & row::Ticked) ? Qt::Checked : Qt::Unchecked);
        if (bits & row::Selected) {
            l->setCurrentItem(item);  // also the focus mark; single selection drops any other
            item->setSelected(true);
        } else {
            item->setSelected(false);
        }
    }
    // Only this row and the selection changed.
    d->mirror.setListTick(id, rowIndex, item->checkState(0) == Qt::Checked);
    d->mirror.setListSelection(id, l->selectedRow());
}

int QtWindowSystem::countItems(int id) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return 0;
    if (g->kind == GadgetKind::Combo) return static_cast<QComboBox*>(g->widget)->count();
    if (g->kind == GadgetKind::List) return static_cast<QTreeWidget*>(g->widget)->topLevelItemCount();
    return 0;
}

void QtWindowSystem::disableGadget(int id, bool disable) {
    if (qt::Gadget* g = d->onGui() ? d->find(id) : nullptr) g->widget->setEnabled(!disable);
}

void QtWindowSystem::hideGadget(int id, bool hide) {
    if (qt::Gadget* g = d->onGui() ? d->find(id) : nullptr) g->widget->setHidden(hide);
}

void QtWindowSystem::setFocus(int id) {
    if (qt::Gadget* g = d->onGui() ? d->find(id) : nullptr) g->widget->setFocus(Qt::OtherFocusReason);
}

void QtWindowSystem::setToolTip(int id, std::string_view text) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QString t = qs(text);
    // Shown as written, even when it looks like markup.
    if (Qt::mightBeRichText(t)) t = QStringLiteral("<p style='white-space:pre'>") + t.toHtmlEscaped() + "</p>";
    g->widget->setToolTip(t);
}

void QtWindowSystem::setFont(int id, FontId font) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    if (font >= 1 && std::size_t(font) <= d->fonts.size()) g->widget->setFont(d->fonts[std::size_t(font - 1)]);
    else if (font == 0) g->widget->setFont(QApplication::font());
}

void QtWindowSystem::setColour(int id, int which, Colour colour) {
    qt::Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QWidget* w = g->widget;
    QPalette pal = w->palette();
    QColor c = qt::qcolour(colour);
    if (which == colour_which::Text) {
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(role, c);
    } else if (which == colour_which::Background) {
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) pal.setColor(role, c);
        w->setAutoFillBackground(true);
    } else {
        return;
    }
    w->setPalette(pal);
}

FontId QtWindowSystem::loadFont(std::string_view name, int points, bool bold) {
    if (!d->onGui() || !fontRequestValid(name, points)) return 0;
    QString family = qs(name);
    const QStringList families = QFontDatabase::families();
    if (!families.contains(family, Qt::CaseInsensitive)) return 0;
    QFont f(family);
    double dpi = 96.0;
    if (QScreen* s = QGuiApplication::primaryScreen()) dpi = s->logicalDotsPerInchY();
    f.setPixelSize(fontPixelHeight(points, dpi));
    f.setBold(bold);
    d->fonts.push_back(f);
    return FontId(d->fonts.size());
}

}  // namespace tv

#include "backends/qt/qt_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <climits>
#include <cmath>

namespace tv::qt {

namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

bool contains(const Rect& outer, const Rect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
           inner.y + inner.h <= outer.y + outer.h;
}

// How far right a gadget's caption can reach before another gadget of its
// window covers it (labels are often drawn wider than their text).
int visibleRight(int id, const Gadget& g, const Gadgets& gadgets) {
    int right = g.logical.x + g.logical.w;
    for (const auto& [otherId, o] : gadgets) {
        if (otherId == id || o.window != g.window || o.kind == GadgetKind::Frame) continue;
        if (o.logical.x > g.logical.x && overlaps(g.logical, o.logical)) right = std::min(right, o.logical.x);
    }
    return right;
}

// Free room to the right of a combo: up to the next gadget on its row, the
// frame it sits in, or the window's edge.
int freeRight(int id, const Gadget& g, const Windows& windows, const Gadgets& gadgets) {
    int right = INT_MAX;
    auto win = windows.find(g.window);
    if (win != windows.end()) right = win->second->innerWidth - 5;
    Rect row{g.logical.x + g.logical.w, g.logical.y, INT_MAX / 4, g.logical.h};
    for (const auto& [otherId, o] : gadgets) {
        if (otherId == id || o.window != g.window) continue;
        if (o.kind == GadgetKind::Frame) {
            if (contains(o.logical, g.logical)) right = std::min(right, o.logical.x + o.logical.w - 5);
        } else if (overlaps(row, o.logical)) {
            right = std::min(right, o.logical.x - 3);
        }
    }
    return std::max(right, g.logical.x + g.logical.w);
}

int comboOverhead(QComboBox* c) {
    QStyleOptionComboBox opt;
    opt.initFrom(c);
    opt.rect = QRect(0, 0, 200, 24);
    QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
    return 200 - field.width() + 4;
}

int comboTextWidth(QComboBox* c) {
    int widest = 0;
    for (int i = 0; i < c->count(); ++i) widest = std::max(widest, c->fontMetrics().horizontalAdvance(c->itemText(i)));
    return widest;
}

// The width in pixels a gadget needs to show its caption whole.
int neededWidth(const Gadget& g) {
    QWidget* w = g.widget;
    const QFontMetrics fm = w->fontMetrics();
    switch (g.kind) {
    case GadgetKind::Text: return fm.horizontalAdvance(static_cast<QLabel*>(w)->text()) + 1;
    case GadgetKind::Button: return fm.horizontalAdvance(static_cast<QPushButton*>(w)->text().remove('&')) + 8;
    case GadgetKind::CheckBox:
        return w->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
               w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) +
               fm.horizontalAdvance(static_cast<QCheckBox*>(w)->text().remove('&')) + 4;
    case GadgetKind::Frame: {
        QString t = static_cast<QGroupBox*>(w)->title();
        return t.isEmpty() ? 0 : fm.horizontalAdvance(t) + 16;
    }
    case GadgetKind::Combo: {
        auto* c = static_cast<QComboBox*>(w);
        return comboTextWidth(c) + comboOverhead(c);
    }
    default: return 0;
    }
}

}  // namespace

double layoutScaleFor(int defaultFontHeightPx) {
    if (defaultFontHeightPx <= 13) return 1.0;
    return defaultFontHeightPx / 13.0;
}

int scaled(int v, double scale) { return int(std::lround(v * scale)); }

QRect scaled(Rect r, double scale) {
    return QRect(scaled(r.x, scale), scaled(r.y, scale), scaled(r.w, scale), scaled(r.h, scale));
}

// The default font's height against the 13 pixels the layout was drawn for
// comes in as base; each caption against the room it has may raise it.
double fittingScale(double base, const Windows& windows, const Gadgets& gadgets) {
    double f = base;
    for (const auto& [id, g] : gadgets) {
        int need = neededWidth(g);
        if (need <= 0) continue;
        int room = g.kind == GadgetKind::Combo ? freeRight(id, g, windows, gadgets) - g.logical.x
                   : g.kind == GadgetKind::Text ? visibleRight(id, g, gadgets) - g.logical.x
                                                : g.logical.w;
        if (room > 0) f = std::max(f, double(need) / room);
    }
    return std::min(f, 2.0);
}

void applyGeometry(double scale, const Windows& windows, Gadgets& gadgets) {
    for (const auto& [id, w] : windows) {
        w->setFixedSize(scaled(w->innerWidth, scale), scaled(w->innerHeight, scale));
        if (w->centred) centreOnScreen(w);
    }
    for (auto& [id, g] : gadgets) {
        QRect r = scaled(g.logical, scale);
        if (g.kind == GadgetKind::Combo) {
            // A combo grows into free room on its right rather than cut its rows.
            int need = neededWidth(g);
            int room = scaled(freeRight(id, g, windows, gadgets) - g.logical.x, scale);
            if (need > r.width()) r.setWidth(std::min(need, room));
        }
        g.widget->setGeometry(r);
        if (g.kind == GadgetKind::List) {
            std::vector<int> widths;
            for (int w : g.columns) widths.push_back(scaled(w, scale));
            static_cast<TvList*>(g.widget)->setColumnWidths(std::move(widths));
        }
    }
}

void centreOnScreen(QWidget* w) {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect area = s->availableGeometry();
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
    }
}

int titleBarWidth(const QString& title, double scale) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + scaled(120, scale);
}

}  // namespace tv::qt

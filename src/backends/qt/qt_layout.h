// Fitting the program's pixel layout to the screen's font: one factor for
// every window, large enough that each caption shows whole.
#pragma once

#include <QRect>
#include <QString>

#include <map>

#include "backends/qt/qt_widgets.h"
#include "ui/window_system.h"

namespace tv::qt {

using Windows = std::map<int, TvWindow*>;
using Gadgets = std::map<int, Gadget>;

// The factor for a default font: 1 for a font whose line height is 13
// pixels or less, else the ratio of its height to 13.
double layoutScaleFor(int defaultFontHeightPx);

// Pixels of a length or rectangle of the program's layout.
int scaled(int v, double scale);
QRect scaled(Rect r, double scale);

// The factor from base up, so that every caption built so far fits the
// room its gadget has; at most 2.
double fittingScale(double base, const Windows& windows, const Gadgets& gadgets);

// Sizes and places every window and gadget at the factor.
void applyGeometry(double scale, const Windows& windows, Gadgets& gadgets);

void centreOnScreen(QWidget* w);

// The width a title bar needs to show a title whole: the title in the title
// bar's font, measured bold as most window managers draw it, and room for
// the window manager's buttons and margins (120 pixels of the layout).
int titleBarWidth(const QString& title, double scale);

}  // namespace tv::qt

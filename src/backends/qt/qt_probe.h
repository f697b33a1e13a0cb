// What tests and screenshots look at in the Qt backend: the widgets behind
// the numbers, the layout factor, and what every backend's probe reads.
// Only tests include this; the program never does.
#pragma once

#include <string>

#include "backends/qt/qt_window_system.h"
#include "ui/probe.h"

class QWidget;

namespace tv {

class QtProbe : public WindowProbe {
public:
    explicit QtProbe(QtWindowSystem& ui) : ui_(ui) {}

    TV_WINDOW_PROBE_OVERRIDES

    // The widget of a window or gadget, nullptr when the id is unknown.
    QWidget* windowWidget(int id);
    QWidget* gadgetWidget(int id);
    // Whether the window manager is let close this top-level widget: its
    // close-box hint, and under X11 its Motif hints as well.
    static bool windowManagerMayClose(QWidget* window);
    // The factor the layout is scaled by.
    double layoutScale() const;
    // Fixes the factor from the captions made so far and lays every window
    // out again; the first waitEvent does it by itself.
    void finishLayout();
    // List rows the worker-side mirror has written so far, moved ones
    // included: filling a list must cost its rows, not a copy per row.
    long long mirrorRowWrites();

private:
    QtWindowSystem& ui_;
};

}  // namespace tv

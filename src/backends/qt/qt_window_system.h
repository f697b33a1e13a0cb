// The desktop backend of the windowing contract, on Qt 6 Widgets.
//
// Create it on the thread that runs the QApplication, after the application
// object exists. Gadget reads, message boxes and input boxes may also come
// from one worker thread: reads are served from a mirror the UI thread keeps
// up to date, requesters are handed to the UI thread and answered there while
// its event loop goes on. Tests look inside it through QtProbe (qt_probe.h).
#pragma once

#include <memory>

#include "ui/window_system.h"

namespace tv {

class QtWindowSystem : public WindowSystem {
public:
    QtWindowSystem();
    ~QtWindowSystem() override;
    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    TV_WINDOW_SYSTEM_OVERRIDES

private:
    friend class QtProbe;
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace tv

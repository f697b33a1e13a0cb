// Shared set-up of the Qt backend tests: one QApplication for the whole test
// program, on the offscreen platform unless another one was asked for.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "support/hang_guard.h"
#include "backends/qt/qt_probe.h"
#include "backends/qt/qt_window_system.h"

namespace tvtest {

inline QApplication* qtApp() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "test_ui_qt";
        static char* argv[] = {name, nullptr};
        // Never destroyed: widgets of every test die before the process does.
        return new QApplication(argc, argv);
    }();
    return app;
}

inline std::unique_ptr<tv::QtWindowSystem> makeQt() {
    qtApp();
    return std::make_unique<tv::QtWindowSystem>();
}

// A Qt backend and its probe for one test, with the window it starts with
// shown centred. Drivers still running are stopped first at the end: they
// would touch what goes with the backend.
class QtBackendTest : public ::testing::Test {
protected:
    struct FirstWindow {
        int id, width, height;
        const char* title;
    };
    explicit QtBackendTest(FirstWindow first) : first_(first) {}
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<tv::QtWindowSystem> ui;
    std::unique_ptr<tv::QtProbe> probe;

private:
    FirstWindow first_;
};

// The first visible top-level widget of type T, or nullptr.
template <class T>
T* findTopLevel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

// Timers started by whenReady that may still be running.
inline std::vector<QPointer<QTimer>>& drivers() {
    static std::vector<QPointer<QTimer>> list;
    return list;
}

// Stops every driver, so none outlives the test whose objects it touches.
inline void stopDrivers() {
    for (auto& t : drivers()) delete t.data();
    drivers().clear();
}

inline void QtBackendTest::SetUp() {
    ui = makeQt();
    probe = std::make_unique<tv::QtProbe>(*ui);
    ASSERT_TRUE(ui->openWindow(first_.id, 0, 0, first_.width, first_.height, first_.title,
                               tv::wflag::TitleBar | tv::wflag::Centered));
}

inline void QtBackendTest::TearDown() {
    stopDrivers();
    probe.reset();
    ui.reset();
}

// Runs check on the UI thread every 10 ms until it returns true; one that
// never does runs until stopDrivers. A check that gives up after a while
// would leave its box open, and the test hanging, all the same.
inline void whenReady(std::function<bool()> check) {
    auto* timer = new QTimer();
    drivers().emplace_back(timer);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, check] {
        if (check()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Handles UI events until check holds, looking again at least every 10 ms;
// false when it still does not once the hang guard has run out.
inline bool waitUntil(const std::function<bool()>& check) {
    QElapsedTimer t;
    t.start();
    while (!check()) {
        if (t.elapsed() > HangGuardMs) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Handles UI events for at least ms milliseconds: time going by while the
// UI loop runs. Not a way to wait for something to happen (see waitUntil).
inline void pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

inline void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(w, &release);
    }
}

// A key pressed and released; a widget that ignores it hands it to its
// parent, as the keyboard's would be.
inline void pressKey(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(w, &release);
}

}  // namespace tvtest

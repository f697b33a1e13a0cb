// The Qt backend's state, shared by the files that implement it (windows
// and gadgets, gadget access, requesters) and by its probe.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFont>
#include <QPointer>
#include <QThread>
#include <QTranslator>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backends/qt/qt_layout.h"
#include "backends/qt/qt_mirror.h"
#include "backends/qt/qt_widgets.h"
#include "backends/qt/qt_window_system.h"
#include "ui/contract_rules.h"

namespace tv {

// One requester, from the call to its answer.
struct QtRequest {
    RequesterKind kind = RequesterKind::MessageBox;
    QString title, text, extra;
    unsigned type = 0;
    bool askedOnUiThread = true;
    // Filled when answered; guarded by the requester mutex.
    bool done = false;
    int answer = 0;
    std::string result;
    // UI thread only.
    QEventLoop* loop = nullptr;
    QPointer<QDialog> dialog;
    std::vector<QPointer<QWidget>> disabled;
};

struct QtWindowSystem::Impl {
    QThread* gui = nullptr;
    double scale = 1.0;
    bool laidOut = false;
    qt::Windows windows;
    int currentWindow = 0;
    // The program window last brought to the front, by the program or the
    // user: the window system makes a window active only some time after
    // the program asked, and a worker's question may come in between.
    int front = 0;
    qt::Gadgets gadgets;
    std::vector<QFont> fonts;
    // Qt's own texts in the program's language; none for English.
    std::unique_ptr<QTranslator> translator;
    QElapsedTimer clock;

    std::mutex queueMutex;
    EventQueue queue;
    QEventLoop* waitLoop = nullptr;

    qt::GadgetMirror mirror;
    int programmatic = 0;  // >0 while the program itself changes a gadget

    QObject* hub = nullptr;  // lives on the UI thread; receives requests
    qt::FocusFilter* focusFilter = nullptr;

    std::mutex requestMutex;
    std::condition_variable requestCv;
    bool shuttingDown = false;
    std::vector<std::shared_ptr<QtRequest>> openRequests;  // UI thread only

    bool onGui() const { return QThread::currentThread() == gui; }
    qt::Gadget* find(int id);
    qt::TvWindow* findWindow(int id);
    int px(int v) const { return qt::scaled(v, scale); }
    QRect rect(Rect r) const { return qt::scaled(r, scale); }

    // ---- events ----
    void push(const Event& e);
    void gadgetEvent(int id, int why);  // none while the program changes the gadget
    Event take();

    // ---- gadgets and layout ----
    void bringToFront(int id);
    qt::TvWindow* parentForNewGadget(int id);
    bool place(int id, GadgetKind kind, QWidget* w, Rect r, const QString& text, int state);
    void finishLayout();

    // ---- requesters ----
    bool shuttingDownNow();
    QWidget* foregroundWindow() const;
    void disableProgramWindows(QtRequest& r, QWidget* owner);
    void finish(const std::shared_ptr<QtRequest>& r, int answerCode, const std::string& result);
    void finishUnanswered(const std::shared_ptr<QtRequest>& r);
    void openRequest(const std::shared_ptr<QtRequest>& r);
    QDialog* makeMessageBox(const std::shared_ptr<QtRequest>& r);
    QDialog* makeFolderChooser(const std::shared_ptr<QtRequest>& r);
    QDialog* makeInputBox(const std::shared_ptr<QtRequest>& r);
    std::shared_ptr<QtRequest> run(std::shared_ptr<QtRequest> r);
    void closeAllRequests();
};

}  // namespace tv

#include "backends/qt/qt_window_system.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>

#include "backends/qt/x11_windows.h"
#include "ui/contract_rules.h"

namespace tv {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string ss(const QString& s) {
    QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QColor qcolour(Colour c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }

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
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (onClose) onClose();
    }
    void changeEvent(QEvent* e) override {
        QWidget::changeEvent(e);
        if (e->type() == QEvent::ActivationChange && isActiveWindow() && onActivated) onActivated();
    }
};

class TvCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void(int)> notify;
    void showPopup() override {
        QComboBox::showPopup();
        if (notify) notify(cause::PopupOpened);
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        if (notify) notify(cause::PopupClosed);
    }
};

class TvList : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    std::function<void(int)> notify;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        // A click below the last row clears the selection, as list views do.
        if (!itemAt(e->position().toPoint())) {
            clearSelection();
            setCurrentItem(nullptr, 0, QItemSelectionModel::NoUpdate);
        }
        QTreeWidget::mousePressEvent(e);
        if (notify) notify(e->button() == Qt::RightButton ? cause::RightClick : cause::Click);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        QTreeWidget::mouseDoubleClickEvent(e);
        if (notify) notify(cause::DoubleClick);
    }
};

// Editable numeric field: any text may be typed; the arrows, arrow keys and
// wheel step the value by one within the range and show plain digits.
class TvSpin : public QAbstractSpinBox {
public:
    TvSpin(QWidget* parent, Range range) : QAbstractSpinBox(parent), range_(range) {
        lineEdit()->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        setValue(range_.lo);
    }
    int value() const { return spinValue(ss(lineEdit()->text()), range_, value_); }
    void setValue(int v) {
        value_ = range_.clamp(v);
        lineEdit()->setText(qs(spinText(value_)));
    }
    void setRawText(const QString& t) { lineEdit()->setText(t); }
    QString rawText() const { return lineEdit()->text(); }
    QLineEdit* edit() const { return lineEdit(); }
    void stepBy(int steps) override {
        long long next = static_cast<long long>(value()) + steps;
        setValue(static_cast<int>(std::clamp<long long>(next, range_.lo, range_.hi)));
    }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    void fixup(QString&) const override {}

protected:
    StepEnabled stepEnabled() const override {
        if (!isEnabled()) return StepNone;
        return StepUpEnabled | StepDownEnabled;
    }

private:
    Range range_;
    int value_ = 0;  // last set or stepped to
};

class FocusFilter : public QObject {
public:
    std::function<void(QObject*, int)> notify;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (notify) {
            if (e->type() == QEvent::FocusIn) notify(watched, cause::FocusIn);
            else if (e->type() == QEvent::FocusOut) notify(watched, cause::FocusOut);
        }
        return false;
    }
};

struct Gadget {
    GadgetKind kind;
    int window;
    QWidget* widget;
    Rect logical;              // as the program gave it, before scaling
    std::vector<int> columns;  // list column widths, likewise
};

// What another thread may read of a gadget.
struct Mirror {
    std::string text;
    int state = 0;
    std::vector<int> rows;
};

struct Request {
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

// What a requester that got no answer gives: shutdown, or the application
// quitting under it.
void answerUnanswered(Request& r) {
    r.done = true;
    r.answer = r.kind == RequesterKind::MessageBox ? closedAnswer(r.type) : 0;
    r.result.clear();
}

int answerOf(QMessageBox::StandardButton button, int none) {
    switch (button) {
    case QMessageBox::Ok: return answer::Ok;
    case QMessageBox::Cancel: return answer::Cancel;
    case QMessageBox::Yes: return answer::Yes;
    case QMessageBox::No: return answer::No;
    default: return none;
    }
}

}  // namespace

double layoutScaleFor(int defaultFontHeightPx) {
    if (defaultFontHeightPx <= 13) return 1.0;
    return defaultFontHeightPx / 13.0;
}

struct QtWindowSystem::Impl {
    QThread* gui = nullptr;
    double scale = 1.0;
    std::map<int, TvWindow*> windows;
    int currentWindow = 0;
    // The program window last brought to the front, by the program or the
    // user: the window system makes a window active only some time after
    // the program asked, and a worker's question may come in between.
    int front = 0;
    std::map<int, Gadget> gadgets;
    std::vector<QFont> fonts;
    QElapsedTimer clock;

    std::mutex queueMutex;
    EventQueue queue;
    QEventLoop* waitLoop = nullptr;

    std::mutex mirrorMutex;
    std::unordered_map<int, Mirror> mirror;

    int programmatic = 0;  // >0 while the program itself changes a gadget

    QObject* hub = nullptr;  // lives on the UI thread; receives requests
    FocusFilter* focusFilter = nullptr;

    std::mutex requestMutex;
    std::condition_variable requestCv;
    bool shuttingDown = false;
    std::vector<std::shared_ptr<Request>> openRequests;  // UI thread only

    bool onGui() const { return QThread::currentThread() == gui; }

    Gadget* find(int id) {
        auto it = gadgets.find(id);
        return it == gadgets.end() ? nullptr : &it->second;
    }

    int px(int v) const { return int(std::lround(v * scale)); }
    QRect rect(Rect r) const { return QRect(px(r.x), px(r.y), px(r.w), px(r.h)); }

    void push(Event e) {
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (!queue.push(e)) return;
        }
        if (waitLoop) waitLoop->quit();
    }

    void gadgetEvent(int id, int why) {
        if (programmatic > 0) return;
        Gadget* g = find(id);
        if (!g) return;
        push(Event{EventKind::Gadget, g->window, id, why});
    }

    Event take() {
        std::lock_guard<std::mutex> lock(queueMutex);
        return queue.take();
    }

    void bringToFront(int id) {
        auto it = windows.find(id);
        if (it == windows.end()) return;
        front = id;
        // Raising is meaningless without a window manager and only warns there.
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) it->second->raise();
        it->second->activateWindow();
    }

    // ------------------------------------------------------------ mirror

    void mirrorText(int id, const QString& t) {
        std::lock_guard<std::mutex> lock(mirrorMutex);
        mirror[id].text = ss(t);
    }
    void mirrorState(int id, int v) {
        std::lock_guard<std::mutex> lock(mirrorMutex);
        mirror[id].state = v;
    }
    void mirrorTextState(int id, const QString& t, int v) {
        std::lock_guard<std::mutex> lock(mirrorMutex);
        Mirror& m = mirror[id];
        m.text = ss(t);
        m.state = v;
    }

    static int rowBits(const QTreeWidgetItem* item) {
        return (item->isSelected() ? row::Selected : 0) | (item->checkState(0) == Qt::Checked ? row::Ticked : 0);
    }
    static int selectedRow(QTreeWidget* list) {
        const auto sel = list->selectedItems();
        return sel.isEmpty() ? -1 : list->indexOfTopLevelItem(sel.first());
    }
    void syncList(int id, QTreeWidget* list) {
        std::vector<int> rows(static_cast<std::size_t>(list->topLevelItemCount()));
        for (int i = 0; i < list->topLevelItemCount(); ++i) rows[std::size_t(i)] = rowBits(list->topLevelItem(i));
        int sel = selectedRow(list);
        std::lock_guard<std::mutex> lock(mirrorMutex);
        Mirror& m = mirror[id];
        m.rows = std::move(rows);
        m.state = sel;
    }
    void syncListRow(int id, QTreeWidget* list, QTreeWidgetItem* item) {
        int index = list->indexOfTopLevelItem(item);
        if (index < 0) return;
        std::lock_guard<std::mutex> lock(mirrorMutex);
        Mirror& m = mirror[id];
        if (std::size_t(index) < m.rows.size()) m.rows[std::size_t(index)] = rowBits(item);
    }

    // ------------------------------------------------------------ gadgets

    bool place(int id, GadgetKind kind, QWidget* w, Rect r, const QString& text, int state) {
        w->setGeometry(rect(r));
        w->setProperty("tvGadget", id);
        w->show();
        gadgets[id] = Gadget{kind, currentWindow, w, r, {}};
        mirrorTextState(id, text, state);
        return true;
    }

    TvWindow* parentForNewGadget(int id) {
        if (find(id)) return nullptr;  // ids are unique across windows
        auto it = windows.find(currentWindow);
        return it == windows.end() ? nullptr : it->second;
    }

    // ------------------------------------------------------------ layout

    bool laidOut = false;

    static bool overlaps(const Rect& a, const Rect& b) {
        return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
    }
    static bool contains(const Rect& outer, const Rect& inner) {
        return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
               inner.y + inner.h <= outer.y + outer.h;
    }

    // How far right a gadget's caption can reach before another gadget of its
    // window covers it (labels are often drawn wider than their text).
    int visibleRight(int id, const Gadget& g) const {
        int right = g.logical.x + g.logical.w;
        for (const auto& [otherId, o] : gadgets) {
            if (otherId == id || o.window != g.window || o.kind == GadgetKind::Frame) continue;
            if (o.logical.x > g.logical.x && overlaps(g.logical, o.logical)) right = std::min(right, o.logical.x);
        }
        return right;
    }

    // Free room to the right of a combo: up to the next gadget on its row, the
    // frame it sits in, or the window's edge.
    int freeRight(int id, const Gadget& g) const {
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

    static int comboOverhead(QComboBox* c) {
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.rect = QRect(0, 0, 200, 24);
        QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
        return 200 - field.width() + 4;
    }

    static int comboTextWidth(QComboBox* c) {
        int widest = 0;
        for (int i = 0; i < c->count(); ++i) widest = std::max(widest, c->fontMetrics().horizontalAdvance(c->itemText(i)));
        return widest;
    }

    // The width in pixels a gadget needs to show its caption whole.
    static int neededWidth(const Gadget& g) {
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

    // One factor for the whole program, so that every caption built so far
    // fits: the default font's height against the 13 pixels the layout was
    // drawn for, and each caption against the room it has.
    double fittingScale(double base) const {
        double f = base;
        for (const auto& [id, g] : gadgets) {
            int need = neededWidth(g);
            if (need <= 0) continue;
            int room = g.kind == GadgetKind::Combo ? freeRight(id, g) - g.logical.x
                       : g.kind == GadgetKind::Text ? visibleRight(id, g) - g.logical.x
                                                    : g.logical.w;
            if (room > 0) f = std::max(f, double(need) / room);
        }
        return std::min(f, 2.0);
    }

    void applyGeometry() {
        for (auto& [id, w] : windows) {
            w->setFixedSize(px(w->innerWidth), px(w->innerHeight));
            if (w->centred) centreOnScreen(w);
        }
        for (auto& [id, g] : gadgets) {
            QRect r = rect(g.logical);
            if (g.kind == GadgetKind::Combo) {
                // A combo grows into free room on its right rather than cut its rows.
                int need = neededWidth(g);
                if (need > r.width()) r.setWidth(std::min(need, px(freeRight(id, g) - g.logical.x)));
            }
            g.widget->setGeometry(r);
            if (g.kind == GadgetKind::List) {
                auto* l = static_cast<QTreeWidget*>(g.widget);
                for (std::size_t c = 0; c < g.columns.size(); ++c) l->setColumnWidth(int(c), px(g.columns[c]));
            }
        }
    }

    void finishLayout() {
        if (laidOut) return;
        laidOut = true;
        scale = fittingScale(scale);
        applyGeometry();
    }

    static void centreOnScreen(QWidget* w) {
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            QRect area = s->availableGeometry();
            w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
        }
    }

    // ------------------------------------------------------------ requesters

    // The program window in the foreground: the one last brought to the
    // front while it stays visible, else the active one if it is the program's.
    QWidget* foregroundWindow() const {
        auto it = windows.find(front);
        if (it != windows.end() && it->second->isVisible()) return it->second;
        QWidget* active = QApplication::activeWindow();
        for (const auto& [id, w] : windows)
            if (w == active) return w;
        return nullptr;
    }

    void disableProgramWindows(Request& r, QWidget* owner) {
        int ownerId = 0;
        for (const auto& [id, w] : windows)
            if (w == owner) ownerId = id;
        for (const auto& [id, w] : windows) {
            if (requesterDisables(id, w->isVisible(), ownerId, r.askedOnUiThread) && w->isEnabled()) {
                w->setEnabled(false);
                r.disabled.emplace_back(w);
            }
        }
    }

    void finish(const std::shared_ptr<Request>& r, int answerCode, const std::string& result) {
        {
            std::lock_guard<std::mutex> lock(requestMutex);
            if (!r->done) {
                r->done = true;
                r->answer = answerCode;
                r->result = result;
            }
        }
        requestCv.notify_all();
        // The clean-up below may run after a worker gave up waiting at the
        // shutdown; it is idempotent and UI thread only.
        for (auto& w : r->disabled)
            if (w) w->setEnabled(true);
        r->disabled.clear();
        openRequests.erase(std::remove(openRequests.begin(), openRequests.end(), r), openRequests.end());
        if (r->dialog) {
            QDialog* dlg = r->dialog;
            r->dialog = nullptr;
            dlg->hide();
            dlg->deleteLater();
        }
        if (r->loop) r->loop->quit();
    }

    void finishDefault(const std::shared_ptr<Request>& r) {
        finish(r, r->kind == RequesterKind::MessageBox ? closedAnswer(r->type) : 0, std::string());
    }

    static void centreOn(QWidget* dlg, QWidget* owner) {
        dlg->adjustSize();
        QRect area;
        if (owner) area = owner->frameGeometry();
        else if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
        if (area.isValid()) dlg->move(area.center() - QPoint(dlg->width() / 2, dlg->height() / 2));
    }

    // Shows the requester without blocking; the answer comes through finish.
    void openRequest(const std::shared_ptr<Request>& r) {
        {
            std::lock_guard<std::mutex> lock(requestMutex);
            if (r->done) return;
        }
        if (shuttingDownNow()) {
            finishDefault(r);
            return;
        }
        QWidget* owner = foregroundWindow();
        QDialog* dlg = nullptr;
        switch (r->kind) {
        case RequesterKind::MessageBox: dlg = makeMessageBox(r); break;
        case RequesterKind::FolderChooser: dlg = makeFolderChooser(r); break;
        case RequesterKind::InputBox: dlg = makeInputBox(r); break;
        }
        r->dialog = dlg;
        openRequests.push_back(r);
        // Not a child of the owner: disabling the owner would disable the
        // box too. The owner is its transient parent instead.
        dlg->setWindowModality(Qt::ApplicationModal);
        if (r->kind == RequesterKind::InputBox || !owner) centreOn(dlg, nullptr);
        else centreOn(dlg, owner);
        disableProgramWindows(*r, owner);
        if (owner) {
            dlg->winId();
            if (dlg->windowHandle() && owner->windowHandle()) dlg->windowHandle()->setTransientParent(owner->windowHandle());
        }
        dlg->open();
        if (r->kind == RequesterKind::InputBox) {
            if (auto* edit = dlg->findChild<QLineEdit*>()) {
                edit->setFocus(Qt::OtherFocusReason);
                edit->setCursorPosition(int(edit->text().size()));
            }
        }
    }

    bool shuttingDownNow() {
        std::lock_guard<std::mutex> lock(requestMutex);
        return shuttingDown;
    }

    QDialog* makeMessageBox(const std::shared_ptr<Request>& r) {
        auto* box = new QMessageBox();
        box->setWindowTitle(r->title);
        box->setTextFormat(Qt::PlainText);  // file names are not markup
        box->setText(r->text);
        switch (messageIcon(r->type)) {
        case MessageIcon::Error: box->setIcon(QMessageBox::Critical); break;
        case MessageIcon::Warning: box->setIcon(QMessageBox::Warning); break;
        case MessageIcon::None: box->setIcon(QMessageBox::NoIcon); break;
        }
        switch (messageButtons(r->type)) {
        case MessageButtons::YesNoCancel:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box->setDefaultButton(QMessageBox::Yes);
            box->setEscapeButton(QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box->setDefaultButton(QMessageBox::Yes);
            break;
        case MessageButtons::Ok:
            box->setStandardButtons(QMessageBox::Ok);
            box->setDefaultButton(QMessageBox::Ok);
            box->setEscapeButton(QMessageBox::Ok);
            break;
        }
        std::weak_ptr<Request> weak = r;
        QObject::connect(box, &QDialog::finished, box, [this, box, weak](int) {
            auto req = weak.lock();
            if (!req) return;
            int unanswered = closedAnswer(req->type);
            QAbstractButton* b = box->clickedButton();
            finish(req, b ? answerOf(box->standardButton(b), unanswered) : unanswered, std::string());
        });
        return box;
    }

    QDialog* makeFolderChooser(const std::shared_ptr<Request>& r) {
        auto* dlg = new QFileDialog(nullptr, r->title);
        dlg->setFileMode(QFileDialog::Directory);
        dlg->setOption(QFileDialog::ShowDirsOnly, true);
        dlg->setOption(QFileDialog::DontUseNativeDialog, true);
        dlg->setAcceptMode(QFileDialog::AcceptOpen);
        QString initial = qs(chooserStartFolder(ss(r->extra)));
        // A missing or empty start folder leaves the dialog at its own start.
        if (!initial.isEmpty() && QFileInfo(initial).isDir()) dlg->setDirectory(initial);
        std::weak_ptr<Request> weak = r;
        QObject::connect(dlg, &QDialog::finished, dlg, [this, dlg, weak](int result) {
            auto req = weak.lock();
            if (!req) return;
            std::string chosen;
            if (result == QDialog::Accepted) {
                const QStringList files = dlg->selectedFiles();
                if (!files.isEmpty()) chosen = chosenFolder(ss(files.first()));
            }
            finish(req, 0, chosen);
        });
        return dlg;
    }

    QDialog* makeInputBox(const std::shared_ptr<Request>& r) {
        auto* dlg = new QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        dlg->setWindowTitle(r->title);
        // The outer size less a usual frame and title bar.
        dlg->setFixedSize(px(input_box::OuterWidth - 6), px(input_box::OuterHeight - 28));
        auto* label = new QLabel(dlg);
        label->setTextFormat(Qt::PlainText);
        label->setText(r->text);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(rect(input_box::Prompt));
        auto* edit = new QLineEdit(dlg);
        edit->setGeometry(rect(input_box::Field));
        edit->setText(r->extra);
        edit->setCursorPosition(int(r->extra.size()));
        auto* ok = new QPushButton(QStringLiteral("OK"), dlg);
        ok->setGeometry(rect(input_box::Ok));
        ok->setDefault(true);
        ok->setAutoDefault(true);
        QObject::connect(ok, &QPushButton::clicked, dlg, &QDialog::accept);
        std::weak_ptr<Request> weak = r;
        QObject::connect(dlg, &QDialog::finished, dlg, [this, edit, weak](int result) {
            auto req = weak.lock();
            if (!req) return;
            finish(req, 0, result == QDialog::Accepted ? ss(edit->text()) : std::string());
        });
        return dlg;
    }

    // Shows a requester and waits for its answer: on the UI thread in a
    // local event loop, on another thread by handing it to the UI thread.
    std::shared_ptr<Request> run(std::shared_ptr<Request> r) {
        if (shuttingDownNow()) {
            answerUnanswered(*r);
            return r;
        }
        r->askedOnUiThread = onGui();
        if (r->askedOnUiThread) {
            QEventLoop loop;
            r->loop = &loop;
            openRequest(r);
            bool done;
            {
                std::lock_guard<std::mutex> lock(requestMutex);
                done = r->done;
            }
            if (!done) loop.exec();
            r->loop = nullptr;
            std::lock_guard<std::mutex> lock(requestMutex);
            if (!r->done) answerUnanswered(*r);  // the application is quitting
            return r;
        }
        QMetaObject::invokeMethod(hub, [this, r] { openRequest(r); }, Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(requestMutex);
        requestCv.wait(lock, [&] { return r->done || shuttingDown; });
        if (!r->done) answerUnanswered(*r);
        return r;
    }

    void closeAllRequests() {
        auto open = openRequests;
        for (auto& r : open) finishDefault(r);
    }
};

// ---------------------------------------------------------------- set-up

QtWindowSystem::QtWindowSystem() : d(std::make_unique<Impl>()) {
    d->gui = QThread::currentThread();
    d->clock.start();
    // Windows are hidden, never closed, and the program decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);
    d->scale = layoutScaleFor(QFontMetrics(QApplication::font()).height());
    d->hub = new QObject();
    d->focusFilter = new FocusFilter();
    d->focusFilter->notify = [this](QObject* o, int why) {
        QVariant v = o->property("tvGadget");
        if (v.isValid()) d->gadgetEvent(v.toInt(), why);
    };
}

QtWindowSystem::~QtWindowSystem() {
    shutdown();
    d->closeAllRequests();
    for (auto& [id, w] : d->windows) delete w;
    d->windows.clear();
    d->gadgets.clear();
    delete d->focusFilter;
    delete d->hub;
}

double QtWindowSystem::layoutScale() const { return d->scale; }

void QtWindowSystem::finishLayout() { d->finishLayout(); }

QWidget* QtWindowSystem::windowWidget(int id) {
    auto it = d->windows.find(id);
    return it == d->windows.end() ? nullptr : it->second;
}

QWidget* QtWindowSystem::gadgetWidget(int id) {
    Gadget* g = d->find(id);
    return g ? g->widget : nullptr;
}

// ---------------------------------------------------------------- windows

bool QtWindowSystem::openWindow(int id, int x, int y, int innerWidth, int innerHeight, std::string_view title,
                                unsigned flags) {
    if (!d->onGui() || d->windows.count(id) || !windowSizeValid(innerWidth, innerHeight)) return false;
    Qt::WindowFlags wf = Qt::Window;
    if (flags & wflag::TitleBar)
        wf |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    auto* w = new TvWindow(wf);
    w->title = std::string(title);
    w->setWindowTitle(qs(title));
    w->innerWidth = innerWidth;
    w->innerHeight = innerHeight;
    w->centred = (flags & wflag::Centered) != 0;
    w->setFixedSize(d->px(innerWidth), d->px(innerHeight));
    if (w->centred) {
        Impl::centreOnScreen(w);
    } else {
        w->move(x, y);
    }
    w->onClose = [this, id] { d->push(Event{EventKind::CloseWindow, id, 0, 0}); };
    w->onActivated = [this, id] { d->front = id; };
    d->windows[id] = w;
    d->currentWindow = id;
    if (!(flags & wflag::Invisible)) {
        w->show();
        d->bringToFront(id);
    }
    return true;
}

void QtWindowSystem::hideWindow(int id, bool hide) {
    QWidget* w = d->onGui() ? windowWidget(id) : nullptr;
    if (!w) return;
    if (hide) {
        w->hide();
    } else {
        w->show();  // keeps a minimised window minimised
        d->bringToFront(id);
    }
}

void QtWindowSystem::setWindowTitle(int id, std::string_view title) {
    auto it = d->windows.find(id);
    if (!d->onGui() || it == d->windows.end()) return;
    it->second->title = std::string(title);
    it->second->setWindowTitle(qs(title));
}

std::string QtWindowSystem::windowTitle(int id) {
    auto it = d->windows.find(id);
    if (!d->onGui() || it == d->windows.end()) return {};
    return it->second->title;
}

void QtWindowSystem::activateWindow(int id) {
    QWidget* w = d->onGui() ? windowWidget(id) : nullptr;
    if (!w) return;
    if (w->isMinimized()) w->showNormal();
    d->bringToFront(id);
}

// ---------------------------------------------------------------- gadgets

bool QtWindowSystem::frameGadget(int id, Rect r, std::string_view caption) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new QGroupBox(qs(caption), parent);
    w->setFocusPolicy(Qt::NoFocus);
    bool ok = d->place(id, GadgetKind::Frame, w, r, w->title(), 0);
    w->lower();  // frames sit behind the gadgets drawn inside them
    return ok;
}

bool QtWindowSystem::textGadget(int id, Rect r, std::string_view caption, Align align) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new QLabel(parent);
    w->setTextFormat(Qt::PlainText);
    w->setText(qs(caption));
    Qt::Alignment a = Qt::AlignTop;
    a |= align == Align::Center ? Qt::AlignHCenter : align == Align::Right ? Qt::AlignRight : Qt::AlignLeft;
    w->setAlignment(a);
    return d->place(id, GadgetKind::Text, w, r, w->text(), 0);
}

bool QtWindowSystem::stringGadget(int id, Rect r, std::string_view text) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new QLineEdit(parent);
    w->setText(qs(text));
    w->setCursorPosition(0);
    w->installEventFilter(d->focusFilter);
    QObject::connect(w, &QLineEdit::textChanged, w, [this, id](const QString& t) {
        d->mirrorText(id, t);
        d->gadgetEvent(id, cause::Change);
    });
    return d->place(id, GadgetKind::String, w, r, w->text(), 0);
}

bool QtWindowSystem::buttonGadget(int id, Rect r, std::string_view caption) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new QPushButton(qs(caption), parent);
    w->setAutoDefault(false);
    QObject::connect(w, &QPushButton::clicked, w, [this, id] { d->gadgetEvent(id, cause::Click); });
    return d->place(id, GadgetKind::Button, w, r, w->text(), 0);
}

bool QtWindowSystem::checkBoxGadget(int id, Rect r, std::string_view caption) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new QCheckBox(qs(caption), parent);
    QObject::connect(w, &QCheckBox::toggled, w, [this, id](bool on) { d->mirrorState(id, on ? 1 : 0); });
    // clicked comes after the tick has changed.
    QObject::connect(w, &QCheckBox::clicked, w, [this, id] { d->gadgetEvent(id, cause::Click); });
    return d->place(id, GadgetKind::CheckBox, w, r, w->text(), 0);
}

bool QtWindowSystem::comboGadget(int id, Rect r) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new TvCombo(parent);
    w->setEditable(false);
    w->installEventFilter(d->focusFilter);
    w->notify = [this, id](int why) { d->gadgetEvent(id, why); };
    QObject::connect(w, &QComboBox::currentIndexChanged, w, [this, id, w](int index) {
        d->mirrorTextState(id, index < 0 ? QString() : w->itemText(index), index);
        d->gadgetEvent(id, cause::Selection);
    });
    return d->place(id, GadgetKind::Combo, w, r, QString(), -1);
}

bool QtWindowSystem::listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                                unsigned /*flags*/) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new TvList(parent);
    w->setColumnCount(1);
    w->setHeaderLabels({qs(firstColumnTitle)});
    w->setColumnWidth(0, d->px(std::max(0, firstColumnWidth)));
    bool ok = d->place(id, GadgetKind::List, w, r, QString(), -1);
    d->gadgets[id].columns.push_back(std::max(0, firstColumnWidth));
    w->header()->setStretchLastSection(false);
    w->header()->setSectionsMovable(false);
    w->setRootIsDecorated(false);
    w->setItemsExpandable(false);
    w->setUniformRowHeights(true);
    w->setAllColumnsShowFocus(true);
    w->setSelectionMode(QAbstractItemView::SingleSelection);
    w->setSelectionBehavior(QAbstractItemView::SelectRows);
    w->setContextMenuPolicy(Qt::PreventContextMenu);
    w->notify = [this, id](int why) { d->gadgetEvent(id, why); };
    QObject::connect(w, &QTreeWidget::itemSelectionChanged, w, [this, id, w] {
        d->syncList(id, w);
        d->gadgetEvent(id, cause::Selection);
    });
    QObject::connect(w, &QTreeWidget::itemChanged, w, [this, id, w](QTreeWidgetItem* item, int column) {
        d->syncListRow(id, w, item);
        if (column == 0) d->gadgetEvent(id, cause::Tick);
    });
    return ok;
}

bool QtWindowSystem::spinGadget(int id, Rect r, int minimum, int maximum, unsigned /*flags*/) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new TvSpin(parent, rangeOf(minimum, maximum));
    QObject::connect(w->edit(), &QLineEdit::textChanged, w,
                     [this, id, w](const QString& t) { d->mirrorTextState(id, t, w->value()); });
    return d->place(id, GadgetKind::Spin, w, r, w->rawText(), w->value());
}

bool QtWindowSystem::progressBarGadget(int id, Rect r, int minimum, int maximum) {
    TvWindow* parent = d->onGui() ? d->parentForNewGadget(id) : nullptr;
    if (!parent) return false;
    auto* w = new QProgressBar(parent);
    Range range = rangeOf(minimum, maximum);
    w->setRange(range.lo, range.hi);
    w->setValue(w->minimum());
    w->setTextVisible(false);
    return d->place(id, GadgetKind::ProgressBar, w, r, QString(), w->value());
}

// ---------------------------------------------------------------- access

std::string QtWindowSystem::getText(int id) {
    if (!d->onGui()) {
        std::lock_guard<std::mutex> lock(d->mirrorMutex);
        auto it = d->mirror.find(id);
        return it == d->mirror.end() ? std::string() : it->second.text;
    }
    Gadget* g = d->find(id);
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
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QWidget* w = g->widget;
    QString t = qs(text);
    ++d->programmatic;
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
    --d->programmatic;
    if (g->kind == GadgetKind::Frame || g->kind == GadgetKind::Text || g->kind == GadgetKind::Button ||
        g->kind == GadgetKind::CheckBox)
        d->mirrorText(id, t);
    if (g->kind == GadgetKind::String) {
        d->mirrorText(id, t);
        // Setting the text is a change of the field, even to the same text.
        d->gadgetEvent(id, cause::Change);
    }
}

int QtWindowSystem::getState(int id) {
    if (!d->onGui()) {
        std::lock_guard<std::mutex> lock(d->mirrorMutex);
        auto it = d->mirror.find(id);
        return it == d->mirror.end() ? 0 : it->second.state;
    }
    Gadget* g = d->find(id);
    if (!g) return 0;
    QWidget* w = g->widget;
    switch (g->kind) {
    case GadgetKind::CheckBox: return static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0;
    case GadgetKind::Combo: return static_cast<QComboBox*>(w)->currentIndex();
    case GadgetKind::List: return Impl::selectedRow(static_cast<QTreeWidget*>(w));
    case GadgetKind::Spin: return static_cast<TvSpin*>(w)->value();
    case GadgetKind::ProgressBar: return static_cast<QProgressBar*>(w)->value();
    default: return 0;
    }
}

void QtWindowSystem::setState(int id, int value) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QWidget* w = g->widget;
    ++d->programmatic;
    switch (g->kind) {
    case GadgetKind::CheckBox: static_cast<QCheckBox*>(w)->setChecked(value != 0); break;
    case GadgetKind::Combo: {
        auto* c = static_cast<QComboBox*>(w);
        c->setCurrentIndex(value >= 0 && value < c->count() ? value : -1);
        d->mirrorTextState(id, c->currentText(), c->currentIndex());
        break;
    }
    case GadgetKind::List: {
        auto* l = static_cast<QTreeWidget*>(w);
        if (QTreeWidgetItem* item = value >= 0 ? l->topLevelItem(value) : nullptr) {
            l->setCurrentItem(item);
        } else {
            l->clearSelection();
        }
        d->syncList(id, l);
        break;
    }
    case GadgetKind::Spin: {
        auto* s = static_cast<TvSpin*>(w);
        s->setValue(value);
        d->mirrorTextState(id, s->rawText(), s->value());
        break;
    }
    case GadgetKind::ProgressBar: {
        auto* b = static_cast<QProgressBar*>(w);
        b->setValue(std::clamp(value, b->minimum(), b->maximum()));
        d->mirrorState(id, b->value());
        break;
    }
    default: break;
    }
    --d->programmatic;
}

void QtWindowSystem::addItem(int id, int position, std::string_view text) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    ++d->programmatic;
    if (g->kind == GadgetKind::Combo) {
        auto* c = static_cast<QComboBox*>(g->widget);
        int before = c->currentIndex();
        c->insertItem(insertionIndex(position, c->count()), qs(text));
        // A new row is not selected; an empty combo stays without selection.
        if (before < 0) c->setCurrentIndex(-1);
        d->mirrorTextState(id, c->currentText(), c->currentIndex());
    } else if (g->kind == GadgetKind::List) {
        auto* l = static_cast<QTreeWidget*>(g->widget);
        auto* item = new QTreeWidgetItem();
        const std::vector<std::string> columns = rowColumns(text);
        for (std::size_t c = 0; c < columns.size(); ++c) item->setText(int(c), qs(columns[c]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        l->insertTopLevelItem(insertionIndex(position, l->topLevelItemCount()), item);
        d->syncList(id, l);
    }
    --d->programmatic;
}

void QtWindowSystem::addColumn(int id, int position, std::string_view title, int width) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g || g->kind != GadgetKind::List) return;
    auto* l = static_cast<QTreeWidget*>(g->widget);
    ++d->programmatic;
    int count = l->columnCount();
    int pos = insertionIndex(position, count);
    if (pos == count) l->setColumnCount(count + 1);
    else l->model()->insertColumn(pos);
    l->headerItem()->setText(pos, qs(title));
    l->setColumnWidth(pos, d->px(std::max(0, width)));
    g->columns.insert(g->columns.begin() + std::min<std::ptrdiff_t>(pos, std::ptrdiff_t(g->columns.size())), std::max(0, width));
    --d->programmatic;
}

int QtWindowSystem::getItemState(int id, int rowIndex) {
    if (!d->onGui()) {
        std::lock_guard<std::mutex> lock(d->mirrorMutex);
        auto it = d->mirror.find(id);
        if (it == d->mirror.end() || rowIndex < 0 || std::size_t(rowIndex) >= it->second.rows.size()) return 0;
        return it->second.rows[std::size_t(rowIndex)];
    }
    Gadget* g = d->find(id);
    if (!g || g->kind != GadgetKind::List) return 0;
    QTreeWidgetItem* item = static_cast<QTreeWidget*>(g->widget)->topLevelItem(rowIndex);
    return item ? Impl::rowBits(item) : 0;
}

void QtWindowSystem::setItemState(int id, int rowIndex, int bits) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g || g->kind != GadgetKind::List) return;
    auto* l = static_cast<QTreeWidget*>(g->widget);
    QTreeWidgetItem* item = l->topLevelItem(rowIndex);
    if (!item) return;
    ++d->programmatic;
    item->setCheckState(0, (bits & row::Ticked) ? Qt::Checked : Qt::Unchecked);
    if (bits & row::Selected) {
        l->setCurrentItem(item);  // also the focus mark; single selection drops any other
        item->setSelected(true);
    } else {
        item->setSelected(false);
    }
    --d->programmatic;
    d->syncList(id, l);
}

std::string QtWindowSystem::getItemText(int id, int rowIndex, int column) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return {};
    if (g->kind == GadgetKind::Combo) {
        auto* c = static_cast<QComboBox*>(g->widget);
        return rowIndex >= 0 && rowIndex < c->count() && column == 0 ? ss(c->itemText(rowIndex)) : std::string();
    }
    if (g->kind != GadgetKind::List) return {};
    QTreeWidgetItem* item = static_cast<QTreeWidget*>(g->widget)->topLevelItem(rowIndex);
    if (!item || column < 0 || column >= item->columnCount()) return {};
    return ss(item->text(column));
}

int QtWindowSystem::countItems(int id) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return 0;
    if (g->kind == GadgetKind::Combo) return static_cast<QComboBox*>(g->widget)->count();
    if (g->kind == GadgetKind::List) return static_cast<QTreeWidget*>(g->widget)->topLevelItemCount();
    return 0;
}

void QtWindowSystem::disableGadget(int id, bool disable) {
    if (Gadget* g = d->onGui() ? d->find(id) : nullptr) g->widget->setEnabled(!disable);
}

void QtWindowSystem::hideGadget(int id, bool hide) {
    if (Gadget* g = d->onGui() ? d->find(id) : nullptr) g->widget->setHidden(hide);
}

void QtWindowSystem::setFocus(int id) {
    if (Gadget* g = d->onGui() ? d->find(id) : nullptr) g->widget->setFocus(Qt::OtherFocusReason);
}

void QtWindowSystem::setToolTip(int id, std::string_view text) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QString t = qs(text);
    // Shown as written, even when it looks like markup.
    if (Qt::mightBeRichText(t)) t = QStringLiteral("<p style='white-space:pre'>") + t.toHtmlEscaped() + "</p>";
    g->widget->setToolTip(t);
}

void QtWindowSystem::setFont(int id, FontId font) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    if (font >= 1 && std::size_t(font) <= d->fonts.size()) g->widget->setFont(d->fonts[std::size_t(font - 1)]);
    else if (font == 0) g->widget->setFont(QApplication::font());
}

void QtWindowSystem::setColour(int id, int which, Colour colour) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    if (!g) return;
    QWidget* w = g->widget;
    QPalette pal = w->palette();
    QColor c = qcolour(colour);
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

// ---------------------------------------------------------------- events

Event QtWindowSystem::waitEvent(int timeoutMs) {
    if (!d->onGui()) return Event{};
    d->finishLayout();
    if (Event e = d->take(); e.kind != EventKind::None) return e;
    if (timeoutMs == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        // Sleeps in the event dispatcher until an event of ours is queued or
        // the timer fires: no polling.
        QEventLoop loop;
        QTimer timer;
        if (timeoutMs > 0) {
            timer.setSingleShot(true);
            timer.setTimerType(Qt::PreciseTimer);
            QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
            timer.start(timeoutMs);
        }
        QEventLoop* outer = d->waitLoop;
        d->waitLoop = &loop;
        int rc = loop.exec();
        d->waitLoop = outer;
        if (rc == -1) {
            // The application is quitting (session end): the event loop can
            // no longer wait, so the program is told its window was closed.
            std::unique_lock<std::mutex> lock(d->queueMutex);
            if (d->queue.empty()) {
                lock.unlock();
                int window = d->currentWindow;
                for (const auto& [id, w] : d->windows)
                    if (w->isVisible()) window = id;
                d->push(Event{EventKind::CloseWindow, window, 0, 0});
            }
        }
    }
    return d->take();
}

int QtWindowSystem::eventGadget() {
    std::lock_guard<std::mutex> lock(d->queueMutex);
    return d->queue.lastGadget();
}

// ---------------------------------------------------------------- requesters

int QtWindowSystem::messageBox(std::string_view title, std::string_view text, unsigned type) {
    auto r = std::make_shared<Request>();
    r->kind = RequesterKind::MessageBox;
    r->title = qs(title);
    r->text = qs(text);
    r->type = type;
    return d->run(r)->answer;
}

std::string QtWindowSystem::folderChooser(std::string_view title, std::string_view initialFolder) {
    auto r = std::make_shared<Request>();
    r->kind = RequesterKind::FolderChooser;
    r->title = qs(title);
    r->extra = qs(initialFolder);
    return d->run(r)->result;
}

std::string QtWindowSystem::inputBox(std::string_view title, std::string_view prompt, std::string_view defaultText) {
    auto r = std::make_shared<Request>();
    r->kind = RequesterKind::InputBox;
    r->title = qs(title);
    r->text = qs(prompt);
    r->extra = qs(defaultText);
    return d->run(r)->result;
}

std::string QtWindowSystem::clipboardText() {
    if (!d->onGui()) return {};
    QClipboard* cb = QGuiApplication::clipboard();
    if (!cb) return {};
    const QMimeData* data = cb->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return {};
    return ss(data->text());
}

void QtWindowSystem::shutdown() {
    {
        std::lock_guard<std::mutex> lock(d->requestMutex);
        d->shuttingDown = true;
    }
    d->requestCv.notify_all();
    if (d->onGui()) d->closeAllRequests();
    else QMetaObject::invokeMethod(d->hub, [this] { d->closeAllRequests(); }, Qt::QueuedConnection);
}

std::uint32_t QtWindowSystem::tickCount() { return static_cast<std::uint32_t>(d->clock.elapsed()); }

std::vector<TopLevelWindow> QtWindowSystem::topLevelWindows() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return x11TopLevelWindows();
    // Elsewhere other programs' windows cannot be seen; the program's own
    // are still known, the active one first.
    std::vector<TopLevelWindow> out;
    if (!d->onGui()) return out;
    QWidget* active = QApplication::activeWindow();
    std::vector<QWidget*> order;
    if (active) order.push_back(active);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != active) order.push_back(w);
    for (QWidget* w : order) {
        TopLevelWindow t;
        t.title = clipTitle(ss(w->windowTitle()));
        t.visible = w->isVisible();
        t.toolWindow = (w->windowFlags() & Qt::WindowType_Mask) == Qt::Tool ||
                       (w->windowFlags() & Qt::WindowType_Mask) == Qt::ToolTip ||
                       (w->windowFlags() & Qt::WindowType_Mask) == Qt::Popup;
        out.push_back(std::move(t));
    }
    return out;
}

// ---------------------------------------------------------------- introspection

bool QtWindowSystem::gadgetExists(int id) { return d->onGui() && d->find(id) != nullptr; }

bool QtWindowSystem::isGadgetDisabled(int id) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    return g && g->widget->testAttribute(Qt::WA_ForceDisabled);
}

bool QtWindowSystem::isGadgetHidden(int id) {
    Gadget* g = d->onGui() ? d->find(id) : nullptr;
    return g && g->widget->isHidden();
}

bool QtWindowSystem::isWindowVisible(int id) {
    QWidget* w = d->onGui() ? windowWidget(id) : nullptr;
    return w && w->isVisible();
}

}  // namespace tv

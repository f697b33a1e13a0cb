// The Qt backend's windows, gadget creation and event queue.
#include "backends/qt/qt_window_system.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "backends/qt/qt_impl.h"
#include "backends/qt/x11_windows.h"

// The resources of a static library are registered by hand.
static void registerIconResource() { Q_INIT_RESOURCE(tarvolin); }

namespace tv {

using qt::qs;
using qt::ss;
using qt::TvWindow;

// ---------------------------------------------------------------- state

qt::Gadget* QtWindowSystem::Impl::find(int id) {
    auto it = gadgets.find(id);
    return it == gadgets.end() ? nullptr : &it->second;
}

TvWindow* QtWindowSystem::Impl::findWindow(int id) {
    auto it = windows.find(id);
    return it == windows.end() ? nullptr : it->second;
}

void QtWindowSystem::Impl::push(const Event& e) {
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        if (!queue.push(e)) return;
    }
    if (waitLoop) waitLoop->quit();
}

void QtWindowSystem::Impl::gadgetEvent(int id, int why) {
    if (programmatic > 0) return;
    qt::Gadget* g = find(id);
    if (!g) return;
    push(Event{EventKind::Gadget, g->window, id, why});
}

Event QtWindowSystem::Impl::take() {
    std::lock_guard<std::mutex> lock(queueMutex);
    return queue.take();
}

TvWindow* QtWindowSystem::Impl::parentForNewGadget(int id) {
    if (!onGui() || find(id)) return nullptr;  // ids are unique across windows
    return findWindow(currentWindow);
}

bool QtWindowSystem::Impl::place(int id, GadgetKind kind, QWidget* w, Rect r, const QString& text, int state) {
    w->setGeometry(rect(r));
    w->setProperty("tvGadget", id);
    w->show();
    gadgets[id] = qt::Gadget{kind, currentWindow, w, r, {}};
    mirror.setTextState(id, text, state);
    return true;
}

void QtWindowSystem::Impl::finishLayout() {
    if (laidOut) return;
    laidOut = true;
    scale = qt::fittingScale(scale, windows, gadgets);
    qt::applyGeometry(scale, windows, gadgets);
}

void QtWindowSystem::Impl::bringToFront(int id) {
    TvWindow* w = findWindow(id);
    if (!w) return;
    front = id;
    // Raising is meaningless without a window manager and only warns there.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) w->raise();
    w->activateWindow();
}

// ---------------------------------------------------------------- set-up

namespace {

// The program's icon, from the resources built into the backend, so that
// it shows from the build tree too; the windows and boxes take it from the
// application.
QIcon programIcon() {
    registerIconResource();
    QIcon icon(QStringLiteral(":/tarvolin/tarvolin.png"));
    icon.addFile(QStringLiteral(":/tarvolin/tarvolin.svg"));  // skipped without an SVG reader
    return icon;
}

}  // namespace

QtWindowSystem::QtWindowSystem() : d(std::make_unique<Impl>()) {
    d->gui = QThread::currentThread();
    d->clock.start();
    // Windows are hidden, never closed, and the program decides when it ends.
    QApplication::setQuitOnLastWindowClosed(false);
    if (QApplication::windowIcon().isNull()) QApplication::setWindowIcon(programIcon());
    d->scale = qt::layoutScaleFor(QFontMetrics(QApplication::font()).height());
    d->hub = new QObject();
    d->focusFilter = new qt::FocusFilter();
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
    if (d->translator) QCoreApplication::removeTranslator(d->translator.get());
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
        qt::centreOnScreen(w);
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
    QWidget* w = d->onGui() ? d->findWindow(id) : nullptr;
    if (!w) return;
    if (hide) {
        w->hide();
    } else {
        w->show();  // keeps a minimised window minimised
        d->bringToFront(id);
    }
}

void QtWindowSystem::setWindowTitle(int id, std::string_view title) {
    TvWindow* w = d->onGui() ? d->findWindow(id) : nullptr;
    if (!w) return;
    w->title = std::string(title);
    w->setWindowTitle(qs(title));
}

void QtWindowSystem::activateWindow(int id) {
    QWidget* w = d->onGui() ? d->findWindow(id) : nullptr;
    if (!w) return;
    if (w->isMinimized()) w->showNormal();
    d->bringToFront(id);
}

// ---------------------------------------------------------------- gadgets

bool QtWindowSystem::frameGadget(int id, Rect r, std::string_view caption) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new QGroupBox(qs(caption), parent);
    w->setFocusPolicy(Qt::NoFocus);
    bool ok = d->place(id, GadgetKind::Frame, w, r, w->title(), 0);
    w->lower();  // frames sit behind the gadgets drawn inside them
    return ok;
}

bool QtWindowSystem::textGadget(int id, Rect r, std::string_view caption, Align align) {
    TvWindow* parent = d->parentForNewGadget(id);
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
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new QLineEdit(parent);
    w->setText(qs(text));
    w->setCursorPosition(0);
    w->installEventFilter(d->focusFilter);
    QObject::connect(w, &QLineEdit::textChanged, w, [this, id](const QString& t) {
        d->mirror.setText(id, t);
        d->gadgetEvent(id, cause::Change);
    });
    return d->place(id, GadgetKind::String, w, r, w->text(), 0);
}

bool QtWindowSystem::buttonGadget(int id, Rect r, std::string_view caption) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new qt::TvButton(qs(caption), parent);
    w->setAutoDefault(false);
    QObject::connect(w, &QPushButton::clicked, w, [this, id] { d->gadgetEvent(id, cause::Click); });
    return d->place(id, GadgetKind::Button, w, r, w->text(), 0);
}

bool QtWindowSystem::checkBoxGadget(int id, Rect r, std::string_view caption) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new QCheckBox(qs(caption), parent);
    QObject::connect(w, &QCheckBox::toggled, w, [this, id](bool on) { d->mirror.setState(id, on ? 1 : 0); });
    // clicked comes after the tick has changed.
    QObject::connect(w, &QCheckBox::clicked, w, [this, id] { d->gadgetEvent(id, cause::Click); });
    return d->place(id, GadgetKind::CheckBox, w, r, w->text(), 0);
}

bool QtWindowSystem::comboGadget(int id, Rect r) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new qt::TvCombo(parent);
    w->setEditable(false);
    w->installEventFilter(d->focusFilter);
    w->notify = [this, id](int why) { d->gadgetEvent(id, why); };
    QObject::connect(w, &QComboBox::currentIndexChanged, w, [this, id, w](int index) {
        d->mirror.setTextState(id, index < 0 ? QString() : w->itemText(index), index);
        d->gadgetEvent(id, cause::Selection);
    });
    return d->place(id, GadgetKind::Combo, w, r, QString(), -1);
}

bool QtWindowSystem::listGadget(int id, Rect r, std::string_view firstColumnTitle, int firstColumnWidth,
                                unsigned /*flags*/) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new qt::TvList(parent);
    w->setColumnCount(1);
    w->setHeaderLabels({qs(firstColumnTitle)});
    w->setColumnWidths({d->px(std::max(0, firstColumnWidth))});
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
        d->mirror.setListSelection(id, w->selectedRow());
        d->gadgetEvent(id, cause::Selection);
    });
    QObject::connect(w, &QTreeWidget::itemChanged, w, [this, id, w](QTreeWidgetItem* item, int column) {
        d->mirror.setListTick(id, w->rowOf(item), item->checkState(0) == Qt::Checked);
        if (column == 0) d->gadgetEvent(id, cause::Tick);
    });
    return ok;
}

bool QtWindowSystem::spinGadget(int id, Rect r, int minimum, int maximum, unsigned /*flags*/) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new qt::TvSpin(parent, rangeOf(minimum, maximum));
    QObject::connect(w->edit(), &QLineEdit::textChanged, w,
                     [this, id, w](const QString& t) { d->mirror.setTextState(id, t, w->value()); });
    return d->place(id, GadgetKind::Spin, w, r, w->rawText(), w->value());
}

bool QtWindowSystem::progressBarGadget(int id, Rect r, int minimum, int maximum) {
    TvWindow* parent = d->parentForNewGadget(id);
    if (!parent) return false;
    auto* w = new QProgressBar(parent);
    Range range = rangeOf(minimum, maximum);
    w->setRange(range.lo, range.hi);
    w->setValue(w->minimum());
    w->setTextVisible(false);
    return d->place(id, GadgetKind::ProgressBar, w, r, QString(), w->value());
}

// ---------------------------------------------------------------- events

Event QtWindowSystem::waitEvent(int timeoutMs) {
    if (!d->onGui()) return Event{};
    d->finishLayout();
    if (Event e = d->take(); e.kind != EventKind::None) return e;
    if (timeoutMs == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return d->take();
    }
    // Sleeps in the event dispatcher until an event of ours is queued or the
    // timer fires: no polling.
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
        // The application is quitting (session end): the event loop can no
        // longer wait, so the program is told its window was closed.
        std::unique_lock<std::mutex> lock(d->queueMutex);
        if (d->queue.empty()) {
            lock.unlock();
            int window = d->currentWindow;
            for (const auto& [id, w] : d->windows)
                if (w->isVisible()) window = id;
            d->push(Event{EventKind::CloseWindow, window, 0, 0});
        }
    }
    return d->take();
}

int QtWindowSystem::eventGadget() {
    std::lock_guard<std::mutex> lock(d->queueMutex);
    return d->queue.lastGadget();
}

// ---------------------------------------------------------------- the desktop

std::string QtWindowSystem::clipboardText() {
    if (!d->onGui()) return {};
    QClipboard* cb = QGuiApplication::clipboard();
    if (!cb) return {};
    const QMimeData* data = cb->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return {};
    return ss(data->text());
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
        const Qt::WindowFlags type = w->windowFlags() & Qt::WindowType_Mask;
        t.toolWindow = type == Qt::Tool || type == Qt::ToolTip || type == Qt::Popup;
        out.push_back(std::move(t));
    }
    return out;
}

}  // namespace tv

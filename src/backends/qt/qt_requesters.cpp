// The Qt backend's message box, folder chooser and input box, and the
// language of Qt's own texts in them. Each is shown on the UI thread,
// whichever thread asks; a worker waits for the answer while the UI
// thread's loop goes on.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>

#include "backends/qt/qt_impl.h"

namespace tv {

using qt::qs;
using qt::ss;

namespace {

// What a requester that got no answer gives: shutdown, or the application
// quitting under it.
void answerUnanswered(QtRequest& r) {
    r.done = true;
    r.answer = r.kind == RequesterKind::MessageBox ? closedAnswer(r.type) : 0;
    r.result.clear();
}

void centreOn(QWidget* dlg, QWidget* owner) {
    dlg->adjustSize();
    QRect area;
    if (owner) area = owner->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
    if (area.isValid()) dlg->move(area.center() - QPoint(dlg->width() / 2, dlg->height() / 2));
}

// A standard button's text in the program's language: the desktop's theme
// may otherwise put its own, in the desktop's language.
QString buttonText(const char* source) { return QCoreApplication::translate("QPlatformTheme", source); }

void setButtonTexts(QMessageBox* box) {
    const struct {
        QMessageBox::StandardButton button;
        const char* text;
    } texts[] = {{QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Cancel"}, {QMessageBox::Yes, "&Yes"},
                 {QMessageBox::No, "&No"}};
    for (const auto& t : texts)
        if (QAbstractButton* b = box->button(t.button)) b->setText(buttonText(t.text));
}

// Keeps a box at least as wide as its title bar needs to show the caption
// whole: Qt sizes it for its text and buttons alone, and a short text would
// leave "Tarv... Error" in the title bar.
void fitCaption(QMessageBox* box, double scale) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(qt::titleBarWidth(box->windowTitle(), scale), 0, QSizePolicy::Fixed,
                                  QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
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

bool QtWindowSystem::Impl::shuttingDownNow() {
    std::lock_guard<std::mutex> lock(requestMutex);
    return shuttingDown;
}

// The program window in the foreground: the one last brought to the front
// while it stays visible, else the active one if it is the program's.
QWidget* QtWindowSystem::Impl::foregroundWindow() const {
    auto it = windows.find(front);
    if (it != windows.end() && it->second->isVisible()) return it->second;
    QWidget* active = QApplication::activeWindow();
    for (const auto& [id, w] : windows)
        if (w == active) return w;
    return nullptr;
}

void QtWindowSystem::Impl::disableProgramWindows(QtRequest& r, QWidget* owner) {
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

void QtWindowSystem::Impl::finish(const std::shared_ptr<QtRequest>& r, int answerCode, const std::string& result) {
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

void QtWindowSystem::Impl::finishUnanswered(const std::shared_ptr<QtRequest>& r) {
    finish(r, r->kind == RequesterKind::MessageBox ? closedAnswer(r->type) : 0, std::string());
}

// Shows the requester without blocking; the answer comes through finish.
void QtWindowSystem::Impl::openRequest(const std::shared_ptr<QtRequest>& r) {
    {
        std::lock_guard<std::mutex> lock(requestMutex);
        if (r->done) return;
    }
    if (shuttingDownNow()) {
        finishUnanswered(r);
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
    // Not a child of the owner: disabling the owner would disable the box
    // too. The owner is its transient parent instead.
    dlg->setWindowModality(Qt::ApplicationModal);
    centreOn(dlg, r->kind == RequesterKind::InputBox ? nullptr : owner);
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

QDialog* QtWindowSystem::Impl::makeMessageBox(const std::shared_ptr<QtRequest>& r) {
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
    setButtonTexts(box);
    fitCaption(box, scale);  // last: setting the icon lays the box out anew
    std::weak_ptr<QtRequest> weak = r;
    QObject::connect(box, &QDialog::finished, box, [this, box, weak](int) {
        auto req = weak.lock();
        if (!req) return;
        int unanswered = closedAnswer(req->type);
        QAbstractButton* b = box->clickedButton();
        finish(req, b ? answerOf(box->standardButton(b), unanswered) : unanswered, std::string());
    });
    return box;
}

QDialog* QtWindowSystem::Impl::makeFolderChooser(const std::shared_ptr<QtRequest>& r) {
    auto* dlg = new QFileDialog(nullptr, r->title);
    dlg->setFileMode(QFileDialog::Directory);
    dlg->setOption(QFileDialog::ShowDirsOnly, true);
    dlg->setOption(QFileDialog::DontUseNativeDialog, true);
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    // Names only, as a folder browser shows them: the size and type columns
    // say nothing of folders, and Qt's French has no word for their "Folder".
    dlg->setViewMode(QFileDialog::List);
    dlg->setLabelText(QFileDialog::Reject, buttonText("Cancel"));
    QString initial = qs(chooserStartFolder(ss(r->extra)));
    // A missing or empty start folder leaves the dialog at its own start.
    if (!initial.isEmpty() && QFileInfo(initial).isDir()) dlg->setDirectory(initial);
    std::weak_ptr<QtRequest> weak = r;
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

// No close box (under X11, Qt's hints for these flags withhold the close
// function from the window manager); closing it all the same, with Alt+F4
// or a window manager that shows a close box anyway, is Escape: the empty
// answer, as a QDialog rejects on close.
QDialog* QtWindowSystem::Impl::makeInputBox(const std::shared_ptr<QtRequest>& r) {
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
    std::weak_ptr<QtRequest> weak = r;
    QObject::connect(dlg, &QDialog::finished, dlg, [this, edit, weak](int result) {
        auto req = weak.lock();
        if (!req) return;
        finish(req, 0, result == QDialog::Accepted ? ss(edit->text()) : std::string());
    });
    return dlg;
}

// Shows a requester and waits for its answer: on the UI thread in a local
// event loop, on another thread by handing it to the UI thread.
std::shared_ptr<QtRequest> QtWindowSystem::Impl::run(std::shared_ptr<QtRequest> r) {
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

void QtWindowSystem::Impl::closeAllRequests() {
    auto open = openRequests;
    for (auto& r : open) finishUnanswered(r);
}

// ---------------------------------------------------------------- the contract

int QtWindowSystem::messageBox(std::string_view title, std::string_view text, unsigned type) {
    auto r = std::make_shared<QtRequest>();
    r->kind = RequesterKind::MessageBox;
    r->title = qs(title);
    r->text = qs(text);
    r->type = type;
    return d->run(r)->answer;
}

std::string QtWindowSystem::folderChooser(std::string_view title, std::string_view initialFolder) {
    auto r = std::make_shared<QtRequest>();
    r->kind = RequesterKind::FolderChooser;
    r->title = qs(title);
    r->extra = qs(initialFolder);
    return d->run(r)->result;
}

std::string QtWindowSystem::inputBox(std::string_view title, std::string_view prompt, std::string_view defaultText) {
    auto r = std::make_shared<QtRequest>();
    r->kind = RequesterKind::InputBox;
    r->title = qs(title);
    r->text = qs(prompt);
    r->extra = qs(defaultText);
    return d->run(r)->result;
}

void QtWindowSystem::useLanguage(std::string_view code) {
    if (!d->onGui()) return;
    if (d->translator) {
        QCoreApplication::removeTranslator(d->translator.get());
        d->translator.reset();
    }
    const QString lang = qs(code);
    // Qt's texts are English without a translation; a code is letters and
    // "_" only, never a path.
    if (lang.isEmpty() || lang == QLatin1String("en")) return;
    for (QChar c : lang)
        if (!(c.isLetter() && c.unicode() < 128) && c != u'_') return;
    const QString file = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_") + lang +
                         QStringLiteral(".qm");
    // Checked first: QTranslator would fall back to other files of its own.
    if (!QFileInfo(file).isFile()) return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(file) && QCoreApplication::installTranslator(translator.get()))
        d->translator = std::move(translator);
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

}  // namespace tv

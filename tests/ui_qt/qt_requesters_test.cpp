// Message boxes, input boxes and folder choosers of the Qt backend, from the
// UI thread and from a worker thread while the UI loop goes on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWindow>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "qt_support.h"
#include "support/locale_env.h"

using namespace tv;
using tvtest::findTopLevel;
using tvtest::whenReady;

namespace {

constexpr int Progress = 203;
constexpr int Stop = 2037;

class QtRequesters : public tvtest::QtBackendTest {
protected:
    QtRequesters() : QtBackendTest({Progress, 319, 129, "Tarvolin"}) {}
    void SetUp() override {
        QtBackendTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(ui->buttonGadget(Stop, {120, 90, 70, 20}, "Stop"));
        ui->waitEvent(0);
        ui->activateWindow(Progress);
        // The owner of a worker's box is the active window.
        ASSERT_TRUE(tvtest::waitUntil([this] { return QApplication::activeWindow() == probe->windowWidget(Progress); }));
    }
    // Clicks the message box's button of that kind once a box is up (and
    // ready says so), noting what the program's window looked like meanwhile.
    void answerBoxWith(QMessageBox::StandardButton which, std::function<bool()> ready = nullptr) {
        whenReady([this, which, ready] {
            auto* box = findTopLevel<QMessageBox>();
            if (!box || (ready && !ready())) return false;
            progressEnabledWhileOpen = probe->windowWidget(Progress)->isEnabled();
            boxText = box->text();
            boxIcon = box->icon();
            boxButtons = box->standardButtons();
            box->button(which)->click();
            return true;
        });
    }

    bool progressEnabledWhileOpen = true;
    QString boxText;
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons boxButtons;
};

TEST_F(QtRequesters, WorkerBoxIsAnsweredWhileTheUiLoopKeepsRunning) {
    // Answered once the run loop has come round twice with the box up; a box
    // that held the loop would be answered only when the hang guard ran out.
    int passesWithBox = 0;
    QElapsedTimer sinceShown;
    answerBoxWith(QMessageBox::No, [&] {
        if (!sinceShown.isValid()) sinceShown.start();
        return passesWithBox >= 2 || sinceShown.elapsed() > tvtest::HangGuardMs;
    });
    std::atomic<int> answerCode{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        answerCode = ui->messageBox("Tarvolin", "Overwrite a.jpg?", mb::YesNo | mb::IconWarning);
        finished = true;
    });
    QElapsedTimer t;
    t.start();
    while (!finished && t.elapsed() < 2 * tvtest::HangGuardMs) {
        ui->waitEvent(50);  // the run loop: waits and refreshes meanwhile
        if (findTopLevel<QMessageBox>()) ++passesWithBox;
    }
    worker.join();
    EXPECT_EQ(answerCode.load(), answer::No);
    EXPECT_GE(passesWithBox, 2) << "the UI loop went on while the box was open";
    EXPECT_FALSE(progressEnabledWhileOpen) << "Stop cannot be pressed while the question is open";
    EXPECT_TRUE(probe->windowWidget(Progress)->isEnabled()) << "enabled again afterwards";
    EXPECT_EQ(boxText, "Overwrite a.jpg?");
    EXPECT_EQ(boxIcon, QMessageBox::Warning);
    EXPECT_EQ(boxButtons, QMessageBox::Yes | QMessageBox::No);
}

TEST_F(QtRequesters, ButtonSetsIconsAndAnswersOnTheUiThread) {
    struct Case {
        unsigned type;
        QMessageBox::StandardButton click;
        int expected;
        QMessageBox::Icon icon;
    } cases[] = {
        {mb::Ok | mb::IconNone, QMessageBox::Ok, answer::Ok, QMessageBox::NoIcon},
        {mb::YesNoCancel | mb::IconWarning, QMessageBox::Cancel, answer::Cancel, QMessageBox::Warning},
        {mb::YesNoCancel | mb::IconWarning, QMessageBox::Yes, answer::Yes, QMessageBox::Warning},
        {mb::YesNo | mb::IconError, QMessageBox::Yes, answer::Yes, QMessageBox::Critical},
        {mb::YesNo | mb::IconNone, QMessageBox::No, answer::No, QMessageBox::NoIcon},
    };
    for (const Case& c : cases) {
        answerBoxWith(c.click);
        int a = ui->messageBox("Tarvolin - Stop", "<i>Stop</i> the compression?", c.type);
        EXPECT_EQ(a, c.expected) << c.type;
        EXPECT_EQ(boxIcon, c.icon) << c.type;
        EXPECT_EQ(boxText, "<i>Stop</i> the compression?");
        EXPECT_FALSE(progressEnabledWhileOpen);
        EXPECT_TRUE(probe->windowWidget(Progress)->isEnabled());
    }
}

TEST_F(QtRequesters, WorkerBoxDisablesItsOwnerOnlyAUiThreadBoxEveryVisibleWindow) {
    constexpr int Other = 200;
    ASSERT_TRUE(ui->openWindow(Other, 0, 0, 200, 100, "Tarvolin - Settings", wflag::TitleBar));
    ui->activateWindow(Progress);
    ASSERT_TRUE(tvtest::waitUntil([this] { return QApplication::activeWindow() == probe->windowWidget(Progress); }));
    bool otherEnabledWhileOpen = false;
    auto seeOther = [&] {
        otherEnabledWhileOpen = probe->windowWidget(Other)->isEnabled();
        return true;
    };

    answerBoxWith(QMessageBox::Ok, seeOther);
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        ui->messageBox("Tarvolin", "Load failed.", mb::Ok | mb::IconError);
        finished = true;
    });
    QElapsedTimer t;
    t.start();
    while (!finished && t.elapsed() < tvtest::HangGuardMs) ui->waitEvent(50);
    worker.join();
    EXPECT_FALSE(progressEnabledWhileOpen) << "the owner";
    EXPECT_TRUE(otherEnabledWhileOpen) << "a window the worker did not make";

    ui->activateWindow(Progress);
    ASSERT_TRUE(tvtest::waitUntil([this] { return QApplication::activeWindow() == probe->windowWidget(Progress); }));
    answerBoxWith(QMessageBox::Ok, seeOther);
    ui->messageBox("Tarvolin", "Load failed.", mb::Ok | mb::IconError);
    EXPECT_FALSE(progressEnabledWhileOpen);
    EXPECT_FALSE(otherEnabledWhileOpen) << "every visible window of the UI thread";
    EXPECT_TRUE(probe->windowWidget(Other)->isEnabled());
    EXPECT_TRUE(probe->windowWidget(Progress)->isEnabled());
}

TEST_F(QtRequesters, ShutdownAnswersOpenAndLaterRequestersAtOnce) {
    std::atomic<int> first{0};
    std::string input = "unset";
    std::atomic<bool> asked{false};
    std::thread worker([&] {
        first = ui->messageBox("Tarvolin", "Save failed. Retry?", mb::YesNoCancel | mb::IconWarning);
        asked = true;
        input = ui->inputBox("New name", "Name:", "a.jpg");
    });
    // Shut down once the box is really up.
    bool shut = false;
    whenReady([&] {
        if (!findTopLevel<QMessageBox>()) return false;
        ui->shutdown();
        shut = true;
        return true;
    });
    QElapsedTimer t;
    t.start();
    while (!asked && t.elapsed() < tvtest::HangGuardMs) ui->waitEvent(50);
    worker.join();  // must not hang
    EXPECT_TRUE(shut);
    EXPECT_EQ(first.load(), answer::Cancel);
    EXPECT_EQ(input, "");
    EXPECT_TRUE(tvtest::waitUntil([] { return findTopLevel<QMessageBox>() == nullptr; })) << "the open box was closed";
    EXPECT_TRUE(probe->windowWidget(Progress)->isEnabled());
    EXPECT_EQ(ui->messageBox("Tarvolin", "Remove?", mb::YesNo), answer::No);
    EXPECT_EQ(ui->folderChooser("Select folder", "/tmp"), "");
}

// A French desktop for one test: the locale variables and Qt's default
// locale, restored afterwards.
class FrenchDesktop {
public:
    FrenchDesktop() : locale_(QLocale()) { QLocale::setDefault(QLocale(QLocale::French, QLocale::Canada)); }
    ~FrenchDesktop() { QLocale::setDefault(locale_); }

private:
    tvtest::LocaleEnv env_{"fr_CA.UTF-8"};
    QLocale locale_;
};

bool frenchInstalled() {
    return QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_fr.qm");
}

TEST_F(QtRequesters, BoxesAndChooserSpeakTheProgramsLanguageNotTheDesktops) {
    if (!frenchInstalled()) GTEST_SKIP() << "Qt's French translation (qt6-translations-l10n) is not installed";
    FrenchDesktop desktop;
    struct Case {
        const char* language;
        unsigned type;
        QStringList buttons;  // OK, Yes, No, Cancel, those the box has
    } boxes[] = {
        {"fr", mb::Ok, {"OK"}},
        {"fr", mb::YesNoCancel, {"&Oui", "&Non", "Annuler"}},
        {"fr", mb::YesNo, {"&Oui", "&Non"}},
        {"en", mb::Ok, {"OK"}},
        {"en", mb::YesNoCancel, {"&Yes", "&No", "Cancel"}},
        {"en", mb::YesNo, {"&Yes", "&No"}},
        {"xx", mb::YesNoCancel, {"&Yes", "&No", "Cancel"}},  // no such translation: English
        {"fr", mb::YesNo, {"&Oui", "&Non"}},                 // and back
    };
    for (const Case& c : boxes) {
        ui->useLanguage(c.language);
        QStringList seen;
        whenReady([&] {
            auto* box = findTopLevel<QMessageBox>();
            if (!box) return false;
            for (auto b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
                if (box->button(b)) seen << box->button(b)->text();
            box->button(box->standardButtons() & QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::No)->click();
            return true;
        });
        ui->messageBox("Tarvolin - Error", "Unexisting path !", c.type | mb::IconWarning);
        EXPECT_EQ(seen, c.buttons) << c.language << " " << c.type;
    }

    struct Chooser {
        const char* language;
        QStringList texts;  // look in, folder, accept, reject
    } choosers[] = {
        {"fr", {"Voir dans :", "Dossier :", "&Choisir", "Annuler"}},
        {"en", {"Look in:", "Directory:", "&Choose", "Cancel"}},
    };
    for (const Chooser& c : choosers) {
        ui->useLanguage(c.language);
        QStringList seen;
        whenReady([&] {
            auto* d = findTopLevel<QFileDialog>();
            if (!d) return false;
            for (auto label : {QFileDialog::LookIn, QFileDialog::FileName, QFileDialog::Accept, QFileDialog::Reject})
                seen << d->labelText(label);
            // Names only: no column with an untranslated "Folder" type.
            if (d->viewMode() != QFileDialog::List) seen << "detail view";
            d->reject();
            return true;
        });
        EXPECT_EQ(ui->folderChooser("Select folder", QDir::tempPath().toStdString()), "");
        EXPECT_EQ(seen, c.texts) << c.language;
    }
}

TEST_F(QtRequesters, BoxIsAtLeastAsWideAsItsCaption) {
    // The title in the title bar's font and the window manager's buttons.
    QFontMetrics title(QFontDatabase::systemFont(QFontDatabase::TitleFont));
    for (const char* caption : {"Tarvolin - Error", "Tarvolin - Erreur", "Tarvolin - Ecrassement de fichier ?"}) {
        int width = 0;
        whenReady([&] {
            auto* box = findTopLevel<QMessageBox>();
            if (!box) return false;
            width = box->width();
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        ui->messageBox(caption, "OK ?", mb::Ok | mb::IconWarning);
        EXPECT_GE(width, title.horizontalAdvance(caption) + 100) << caption;
    }
}

// The input box: the dialog itself, Enter and Escape.
QDialog* openInputBox() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && !qobject_cast<QMessageBox*>(d) &&
                                                  !qobject_cast<QFileDialog*>(d))
            return d;
    return nullptr;
}

TEST_F(QtRequesters, InputBoxLayoutEnterAndEscape) {
    const double f = probe->layoutScale();
    auto at = [f](int v) { return int(std::lround(v * f)); };
    bool checked = false;
    whenReady([&] {
        QDialog* d = openInputBox();
        if (!d) return false;
        auto* edit = d->findChild<QLineEdit*>();
        auto* label = d->findChild<QLabel*>();
        auto* ok = d->findChild<QPushButton*>();
        EXPECT_EQ(d->windowTitle(), "New name");
        EXPECT_FALSE(d->windowFlags() & Qt::WindowCloseButtonHint) << "no close box";
        EXPECT_EQ(label->text(), "Name of the new file:");
        EXPECT_EQ(label->geometry(), QRect(at(10), at(10), at(280), at(22)));
        EXPECT_EQ(edit->geometry(), QRect(at(10), at(32), at(275), at(21)));
        EXPECT_EQ(ok->geometry(), QRect(at(110), at(67), at(80), at(25)));
        EXPECT_EQ(ok->text(), "OK");
        EXPECT_TRUE(ok->isDefault());
        EXPECT_EQ(edit->text(), "photo.jpg");
        EXPECT_EQ(edit->cursorPosition(), 9) << "caret at the end";
        EXPECT_EQ(d->focusWidget(), edit);
        EXPECT_FALSE(probe->windowWidget(Progress)->isEnabled());
        edit->setText("renamed.jpg");
        tvtest::pressKey(edit, Qt::Key_Return);
        checked = true;
        return true;
    });
    EXPECT_EQ(ui->inputBox("New name", "Name of the new file:", "photo.jpg"), "renamed.jpg");
    EXPECT_TRUE(checked);
    EXPECT_TRUE(probe->windowWidget(Progress)->isEnabled());

    whenReady([&] {
        QDialog* d = openInputBox();
        if (!d) return false;
        tvtest::pressKey(d->findChild<QLineEdit*>(), Qt::Key_Escape);
        return true;
    });
    EXPECT_EQ(ui->inputBox("New name", "Name:", "photo.jpg"), "") << "Escape gives an empty text";

    whenReady([&] {
        QDialog* d = openInputBox();
        if (!d) return false;
        d->findChild<QPushButton*>()->click();
        return true;
    });
    EXPECT_EQ(ui->inputBox("New name", "Name:", "kept.jpg"), "kept.jpg");
}

TEST_F(QtRequesters, InputBoxHasNoCloseBoxAndAnyCloseIsEscape) {
    struct Case {
        const char* how;
        std::function<void(QDialog*)> close;
    } cases[] = {
        {"the widget closed", [](QDialog* d) { d->close(); }},
        {"the window manager (Alt+F4, its close)", [](QDialog* d) { d->windowHandle()->close(); }},
    };
    for (const Case& c : cases) {
        bool mayClose = true;
        whenReady([&] {
            QDialog* d = openInputBox();
            if (!d) return false;
            mayClose = tv::QtProbe::windowManagerMayClose(d);
            d->findChild<QLineEdit*>()->setText("typed.jpg");
            c.close(d);
            return true;
        });
        EXPECT_EQ(ui->inputBox("New name", "Name:", "photo.jpg"), "") << c.how;
        EXPECT_FALSE(mayClose) << c.how;
        EXPECT_TRUE(probe->windowWidget(Progress)->isEnabled()) << c.how;
    }
}

TEST_F(QtRequesters, InputBoxFromTheWorker) {
    whenReady([&] {
        QDialog* d = openInputBox();
        if (!d) return false;
        d->findChild<QLineEdit*>()->setText("b (2).jpg");
        d->accept();
        return true;
    });
    std::string got;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        got = ui->inputBox("New name", "Name:", "b.jpg");
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < tvtest::HangGuardMs) ui->waitEvent(50);
    worker.join();
    EXPECT_EQ(got, "b (2).jpg");
}

TEST_F(QtRequesters, FolderChooserStartsOnTheFolderAndEndsWithASeparator) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QString photos = tmp.path() + "/Photos";
    ASSERT_TRUE(QDir().mkpath(photos));
    QString seen;
    whenReady([&] {
        auto* d = findTopLevel<QFileDialog>();
        if (!d) return false;
        seen = d->directory().absolutePath();
        EXPECT_EQ(d->windowTitle(), "Select folder");
        QMetaObject::invokeMethod(d, "accept");
        return true;
    });
    std::string chosen = ui->folderChooser("Select folder", (photos + "/").toStdString());
    EXPECT_EQ(seen, photos) << "the trailing separator is dropped and the folder selected";
    EXPECT_EQ(chosen, (photos + "/").toStdString());

    whenReady([&] {
        auto* d = findTopLevel<QFileDialog>();
        if (!d) return false;
        d->reject();
        return true;
    });
    EXPECT_EQ(ui->folderChooser("Select folder", photos.toStdString()), "") << "cancel";

    // A folder that does not exist opens wherever the dialog starts.
    whenReady([&] {
        auto* d = findTopLevel<QFileDialog>();
        if (!d) return false;
        seen = d->directory().absolutePath();
        d->reject();
        return true;
    });
    EXPECT_EQ(ui->folderChooser("Select folder", (tmp.path() + "/missing/").toStdString()), "");
    EXPECT_NE(seen, tmp.path() + "/missing");
}

}  // namespace

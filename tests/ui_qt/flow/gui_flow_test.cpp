// The whole program on the Qt backend: one batch clicked through its four
// windows, and every window of both languages laid out with no caption cut.
//
// With TARVOLIN_SCREENSHOT_DIR set, the window pictures are also written
// there as <window>-<lang>.png (tools/screenshots.sh does that), with the
// ratio question, the folder chooser and an image list long enough to scroll.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <string>
#include <vector>

#include "../qt_support.h"
#include "backends/scripted/scripted_window_system.h"
#include "windows/ids.h"
#include "shell/program.h"
#include "shell/stored_options.h"
#include "windows/main_flow.h"
#include "windows/settings.h"
#include "windows/windows.h"

using namespace tv;

namespace {

void writePhoto(const QString& path, int w, int h, const char* format) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x + y) % 256));
    ASSERT_TRUE(img.save(path, format)) << path.toStdString();
}

QAbstractButton* button(QtProbe& probe, int id) { return static_cast<QAbstractButton*>(probe.gadgetWidget(id)); }

TEST(GuiFlow, OneBatchClickedThroughEveryWindow) {
    tvtest::qtApp();
    QTemporaryDir work, photos;
    ASSERT_TRUE(work.isValid() && photos.isValid());
    writePhoto(photos.path() + "/a.jpg", 64, 48, "JPG");
    writePhoto(photos.path() + "/b.png", 40, 30, "PNG");
    writePhoto(photos.path() + "/c.bmp", 20, 10, "BMP");

    QtWindowSystem ui;
    QtProbe probe(ui);
    Program p(ui);
    p.workDir = work.path().toStdString();
    std::string photoFolder = photos.path().toStdString() + "/";
    p.picturesFolder = [&] { return photoFolder; };
    std::vector<std::string> opened;
    p.openFolder = [&](const std::string& path) { opened.push_back(path); };

    std::vector<std::string> steps;
    int rowsListed = -1;
    std::string params;
    // The user, looking at the screen every 10 ms; gone with this scope.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, &user, [&] {
        if (p.ended) return;
        if (probe.isWindowVisible(id::WndMain) && steps.empty()) {
            EXPECT_EQ(ui.getText(id::StringPath), photoFolder);
            // " 50%: 1/2", picked as the user would.
            static_cast<QComboBox*>(probe.gadgetWidget(id::ComboSize))->setCurrentIndex(4);
            button(probe, id::ButtonList)->click();
            steps.push_back("list");
        } else if (probe.isWindowVisible(id::WndList) && steps.size() == 1) {
            rowsListed = ui.countItems(id::ListImgList);
            button(probe, id::ButtonNext)->click();
            steps.push_back("next");
        } else if (probe.isWindowVisible(id::WndCompress) && steps.size() == 2) {
            params = ui.getText(id::TextParams);
            button(probe, id::CheckboxRenameImage)->click();
            button(probe, id::ButtonLaunchCompression)->click();
            steps.push_back("compress");
        }
    });
    user.start(10);
    EXPECT_EQ(runTarvolin(p), 0);
    EXPECT_TRUE(p.ended);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(rowsListed, 3);
    EXPECT_EQ(params, "Settings for 3 images to compress");
    EXPECT_EQ(p.ProcessedCount.load(), 3);

    // Renamed in listing order, halved, JPEG whatever the source was.
    QStringList outputs = QDir(photos.path()).entryList({"Nouvel album *"}, QDir::Files, QDir::Name);
    ASSERT_EQ(outputs.size(), 3) << outputs.join(", ").toStdString();
    std::vector<QSize> sizes;
    for (const QString& name : outputs) {
        EXPECT_TRUE(name.endsWith(".jpg")) << name.toStdString();
        QImage out(photos.path() + "/" + name);
        EXPECT_FALSE(out.isNull()) << name.toStdString();
        sizes.push_back(out.size());
    }
    std::vector<QSize> halves{{32, 24}, {20, 15}, {10, 5}};
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    std::sort(halves.begin(), halves.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    EXPECT_EQ(sizes, halves);
    EXPECT_TRUE(QFile::exists(photos.path() + "/a.jpg")) << "sources stay";
    EXPECT_TRUE(QFile::exists(work.path() + "/data.tvl"));
    EXPECT_FALSE(QFile::exists(work.path() + "/temp.tmp"));
}

TEST(GuiFlow, WorkerQuestionsAreAnsweredWhileTheProgressWindowWaits) {
    tvtest::qtApp();
    QTemporaryDir work, photos, out;
    ASSERT_TRUE(work.isValid() && photos.isValid() && out.isValid());
    writePhoto(photos.path() + "/a.jpg", 40, 20, "JPG");
    writePhoto(out.path() + "/a.jpg", 8, 8, "JPG");  // in the way

    QtWindowSystem ui;
    QtProbe probe(ui);
    Program p(ui);
    p.workDir = work.path().toStdString();
    std::string photoFolder = photos.path().toStdString() + "/";
    p.picturesFolder = [&] { return photoFolder; };
    p.openFolder = [](const std::string&) {};

    int stage = 0;
    bool progressDisabledDuringQuestion = false;
    QString question, offered;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, &user, [&] {
        if (p.ended) return;
        if (stage == 0 && probe.isWindowVisible(id::WndMain)) {
            button(probe, id::ButtonList)->click();
            stage = 1;
        } else if (stage == 1 && probe.isWindowVisible(id::WndList)) {
            button(probe, id::ButtonNext)->click();
            stage = 2;
        } else if (stage == 2 && probe.isWindowVisible(id::WndCompress)) {
            button(probe, id::CheckboxOtherFolder)->click();
            static_cast<QLineEdit*>(probe.gadgetWidget(id::StringOtherFolder))->setText(out.path());
            button(probe, id::ButtonLaunchCompression)->click();
            stage = 3;
        } else if (stage == 3) {
            if (auto* box = tvtest::findTopLevel<QMessageBox>()) {
                progressDisabledDuringQuestion = !probe.windowWidget(id::WndProgress)->isEnabled();
                question = box->text();
                box->button(QMessageBox::No)->click();  // no overwrite: a new name
                stage = 4;
            }
        } else if (stage == 4) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<QDialog*>(w);
                if (!d || !d->isVisible() || qobject_cast<QMessageBox*>(d)) continue;
                auto* edit = d->findChild<QLineEdit*>();
                offered = edit->text();
                edit->setText(out.path() + "/renamed.jpg");
                tvtest::pressKey(edit, Qt::Key_Return);
                stage = 5;
                break;
            }
        }
    });
    user.start(10);
    EXPECT_EQ(runTarvolin(p), 0);
    EXPECT_EQ(stage, 5);
    EXPECT_TRUE(progressDisabledDuringQuestion);
    EXPECT_TRUE(question.contains(out.path() + "/a.jpg")) << question.toStdString();
    EXPECT_EQ(offered, out.path() + "/a.jpg");
    QImage renamed(out.path() + "/renamed.jpg");
    EXPECT_EQ(renamed.size(), QSize(40, 20));
    EXPECT_EQ(QImage(out.path() + "/a.jpg").size(), QSize(8, 8)) << "the file in the way is kept";
    EXPECT_EQ(p.ProcessedCount.load(), 1);
}

// ---------------------------------------------------------------- layout

// The part of a widget not covered by a later sibling to its right.
int visibleWidth(QWidget* w) {
    int right = w->geometry().right() + 1;
    bool after = false;
    for (QObject* o : w->parentWidget()->children()) {
        if (o == w) {
            after = true;
            continue;
        }
        auto* s = qobject_cast<QWidget*>(o);
        if (!after || !s || qobject_cast<QGroupBox*>(s) || s->isHidden()) continue;
        if (s->geometry().intersects(w->geometry()) && s->x() > w->x()) right = std::min(right, s->x());
    }
    return right - w->x();
}

// Each caption's text against the room its widget gives it.
std::vector<std::string> clippedCaptions(QWidget* window) {
    std::vector<std::string> bad;
    for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QFontMetrics fm = w->fontMetrics();
        if (!window->rect().contains(w->geometry())) bad.push_back("outside: " + w->objectName().toStdString());
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (fm.horizontalAdvance(l->text()) > visibleWidth(l)) bad.push_back(l->text().toStdString());
        } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
            int box = c->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                      c->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
            if (box + fm.horizontalAdvance(c->text()) > c->width()) bad.push_back(c->text().toStdString());
        } else if (auto* b = qobject_cast<QPushButton*>(w)) {
            if (fm.horizontalAdvance(b->text()) + 4 > b->width()) bad.push_back(b->text().toStdString());
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            if (fm.horizontalAdvance(g->title()) + 8 > g->width()) bad.push_back(g->title().toStdString());
        } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox opt;
            opt.initFrom(cb);
            QRect field = cb->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, cb);
            for (int i = 0; i < cb->count(); ++i)
                if (fm.horizontalAdvance(cb->itemText(i)) > field.width()) bad.push_back(cb->itemText(i).toStdString());
        }
    }
    return bad;
}

class Windows : public ::testing::TestWithParam<unsigned char> {};

// Writes a picture of the widget as <name>-<lang>.png when screenshots are
// asked for.
void keepPicture(QWidget* w, const char* name, const char* lang) {
    QImage picture = w->grab().toImage();
    EXPECT_EQ(picture.size(), w->size() * w->devicePixelRatio()) << name;
    if (const char* dir = std::getenv("TARVOLIN_SCREENSHOT_DIR")) {
        QString file = QString("%1/%2-%3.png").arg(dir, name, lang);
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
    }
}

bool exposed(QWidget* w) { return w->windowHandle() && w->windowHandle()->isExposed(); }

TEST_P(Windows, EveryCaptionFitsAndNothingSpillsOut) {
    tvtest::qtApp();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QtWindowSystem ui;
    QtProbe probe(ui);
    Program p(ui);
    p.workDir = work.path().toStdString();
    p.defaultFolder = "/home/user/Pictures/";
    ui.useLanguage(languageTag(GetParam()));
    ASSERT_TRUE(loadMessageTable(p, GetParam()));
    ASSERT_TRUE(buildWindows(p));
    probe.finishLayout();
    // What the windows show later in a run.
    for (const char* row : {"DSC_0001.JPG\n2.4 Mo", "holiday.png\n812 Ko", "scan.bmp\n5.9 Mo"})
        ui.addItem(id::ListImgList, -1, row);
    for (int r = 0; r < 3; ++r) ui.setItemState(id::ListImgList, r, row::Ticked | (r == 1 ? row::Selected : 0));
    ui.hideGadget(id::TextContainsVideo, false);
    ui.hideGadget(id::TextRatio, false);
    ui.hideGadget(id::StringRatio, false);
    std::string params = p.texts.lookup("Text.Params");
    if (auto at = params.find('%'); at != std::string::npos) params.replace(at, 1, "12");
    ui.setText(id::TextParams, params);
    refreshProgress(p, 4, 12);

    const char* lang = GetParam() == LangFrench ? "fr" : "en";
    struct Shot {
        int id;
        const char* name;
    } shots[] = {{id::WndMain, "settings"}, {id::WndList, "image-list"}, {id::WndCompress, "options"},
                 {id::WndProgress, "progress"}};
    for (const Shot& s : shots) {
        QWidget* w = probe.windowWidget(s.id);
        ASSERT_NE(w, nullptr);
        w->show();
        // Shown for the window system too, whatever it takes to get there.
        ASSERT_TRUE(tvtest::waitUntil([w] { return w->windowHandle() && w->windowHandle()->isExposed(); })) << s.name;
        EXPECT_EQ(clippedCaptions(w), std::vector<std::string>{}) << s.name << " " << lang;
        keepPicture(w, s.name, lang);
        w->hide();
    }

    // An image list long enough to scroll.
    for (int r = ui.countItems(id::ListImgList); r < 40; ++r) {
        ui.addItem(id::ListImgList, -1, QString("IMG_%1.JPG\n%2 Ko").arg(r + 1, 4, 10, QChar('0')).arg(800 + r * 37).toStdString());
        ui.setItemState(id::ListImgList, r, r % 7 == 3 ? 0 : row::Ticked);
    }
    QWidget* list = probe.windowWidget(id::WndList);
    list->show();
    ASSERT_TRUE(tvtest::waitUntil([list] { return exposed(list); }));
    keepPicture(list, "image-list-40", lang);
    list->hide();

    // The question of a typed ratio and the folder chooser, through their
    // handlers, in the program's language.
    const bool french = GetParam() == LangFrench;
    const bool translated = !french || QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                                                         "/qtbase_fr.qm");
    probe.windowWidget(id::WndMain)->show();
    ui.setText(id::StringRatio, "120%");
    QStringList buttons;
    tvtest::whenReady([&] {
        auto* box = tvtest::findTopLevel<QMessageBox>();
        if (!box || !exposed(box)) return false;
        for (QAbstractButton* b : box->buttons()) buttons << b->text();
        keepPicture(box, "question", lang);
        box->button(QMessageBox::Cancel)->click();
        return true;
    });
    EXPECT_FALSE(parseScaleRatio(p)) << "Cancel stays in the settings window";
    EXPECT_FALSE(p.ended);
    if (translated) {
        QStringList expected = french ? QStringList{"&Oui", "&Non", "Annuler"} : QStringList{"&Yes", "&No", "Cancel"};
        std::sort(buttons.begin(), buttons.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(buttons, expected) << lang;
    }

    QTemporaryDir pictures;
    ASSERT_TRUE(pictures.isValid());
    for (const char* folder : {"Anniversaire", "Noël 2023", "Vacances"}) QDir(pictures.path()).mkdir(folder);
    ui.setText(id::StringPath, pictures.path().toStdString() + "/");
    QString accept;
    tvtest::whenReady([&] {
        auto* chooser = tvtest::findTopLevel<QFileDialog>();
        if (!chooser || !exposed(chooser)) return false;
        accept = chooser->labelText(QFileDialog::Accept);
        keepPicture(chooser, "folder-chooser", lang);
        chooser->reject();
        return true;
    });
    onButtonBrowse(p);
    if (translated) {
        EXPECT_EQ(accept, french ? "&Choisir" : "&Choose");
    }
    tvtest::stopDrivers();
}

// Every window and gadget is the program's rectangle times one factor; only
// a drop-down list may be wider, into free room on its right.
TEST_P(Windows, LayoutIsTheProgramsRectanglesTimesOneFactor) {
    tvtest::qtApp();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    ScriptedWindowSystem plan;  // keeps the rectangles as the program gives them
    Program planned(plan);
    QtWindowSystem ui;
    QtProbe probe(ui);
    Program p(ui);
    for (Program* q : {&planned, &p}) {
        q->workDir = work.path().toStdString();
        q->defaultFolder = "/home/user/Pictures/";
        ASSERT_TRUE(loadMessageTable(*q, GetParam()));
        ASSERT_TRUE(buildWindows(*q));
    }
    probe.finishLayout();
    const double f = probe.layoutScale();
    auto at = [f](int v) { return int(std::lround(v * f)); };
    for (int window : {id::WndMain, id::WndList, id::WndCompress, id::WndProgress}) {
        std::optional<Rect> r = plan.windowRect(window);
        ASSERT_TRUE(r);
        EXPECT_EQ(probe.windowWidget(window)->size(), QSize(at(r->w), at(r->h))) << window;
    }
    int gadgets = 0;
    for (int gadget = 2000; gadget <= 2039; ++gadget) {
        std::optional<Rect> r = plan.gadgetRect(gadget);
        if (!r) continue;
        ++gadgets;
        QRect g = probe.gadgetWidget(gadget)->geometry();
        EXPECT_EQ(QRect(g.x(), g.y(), 0, g.height()), QRect(at(r->x), at(r->y), 0, at(r->h))) << gadget;
        if (plan.gadgetKind(gadget) == GadgetKind::Combo) {
            EXPECT_GE(g.width(), at(r->w)) << gadget;
        } else {
            EXPECT_EQ(g.width(), at(r->w)) << gadget;
        }
    }
    EXPECT_GE(gadgets, 38);
}

INSTANTIATE_TEST_SUITE_P(Languages, Windows, ::testing::Values(LangEnglish, LangFrench),
                         [](const auto& param_info) { return param_info.param == LangFrench ? "French" : "English"; });

}  // namespace

// Stop-to-question latency of the desktop program: the real main flow on the
// Qt backend, clicked through its windows by a timer as a user would, with a
// batch of large pictures from FOLDER written into a fresh folder. While the
// batch runs, Stop is pressed again and again at staggered moments; for each
// press it reports the time until the stop question is shown (its Show
// event) and painted, and until the worker thread sleeps at its pause gate.
// Every question is answered No (go on) but the last, answered Yes.
//
//   gui_stop FOLDER [--presses N] [--first-ms T] [--gap-ms G] [--answer-ms A]
//
// T: first press after Compress; G: from an answer to the next press; A:
// how long each question stays up (the worker's pause is only seen within).
//
// Run it with QT_QPA_PLATFORM=offscreen, or under xvfb-run for a real X
// server (bench/gui_stop.sh). The pictures are only read.

#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "windows/ids.h"
#include "shell/program.h"
#include "backends/qt/qt_probe.h"
#include "backends/qt/qt_window_system.h"
#include "windows/main_flow.h"

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// State letter and utime + stime of one thread of this process.
bool threadStat(int tid, char& state, long& ticks) {
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (!std::getline(f, line)) return false;
    std::size_t close = line.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    std::vector<std::string> v;
    while (rest >> field) v.push_back(field);
    if (v.size() < 13) return false;
    state = v[0][0];
    ticks = std::atol(v[11].c_str()) + std::atol(v[12].c_str());
    return true;
}

std::vector<int> threadIds() {
    std::vector<int> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ids.push_back(std::atoi(e->d_name));
        closedir(d);
    }
    return ids;
}

// The busiest thread other than the GUI thread: the batch worker.
int busiestOther(int gui) {
    int best = 0;
    long bestTicks = -1;
    for (int tid : threadIds()) {
        char s;
        long t;
        if (tid != gui && threadStat(tid, s, t) && t > bestTicks) {
            best = tid;
            bestTicks = t;
        }
    }
    return best;
}

struct Press {
    Clock::time_point stop, shown, painted, paused;
    bool haveShown = false, havePainted = false, havePaused = false;
};

// Sees the question come up.
class BoxWatcher : public QObject {
public:
    std::vector<Press>* presses = nullptr;
    bool eventFilter(QObject* o, QEvent* ev) override {
        if (!presses->empty() && qobject_cast<QMessageBox*>(o)) {
            Press& p = presses->back();
            if (ev->type() == QEvent::Show && !p.haveShown) {
                p.shown = Clock::now();
                p.haveShown = true;
            } else if (ev->type() == QEvent::Paint && !p.havePainted) {
                p.painted = Clock::now();
                p.havePainted = true;
            }
        }
        return QObject::eventFilter(o, ev);
    }
};

void median(std::vector<double> v, const char* what) {
    if (v.empty()) {
        std::printf("%s: none\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("%s: median %.1f ms, max %.1f ms, min %.1f ms (%zu presses)\n", what, v[v.size() / 2], v.back(),
                v.front(), v.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    int presses = 12, firstMs = 400, gapMs = 337, answerMs = 1000;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--presses" && i + 1 < argc)
            presses = std::atoi(argv[++i]);
        else if (a == "--first-ms" && i + 1 < argc)
            firstMs = std::atoi(argv[++i]);
        else if (a == "--gap-ms" && i + 1 < argc)
            gapMs = std::atoi(argv[++i]);
        else if (a == "--answer-ms" && i + 1 < argc)
            answerMs = std::atoi(argv[++i]);
        else if (folder.empty() && a[0] != '-')
            folder = a;
        else
            folder.clear(), i = argc;
    }
    if (folder.empty() || presses < 1) {
        std::fprintf(stderr, "usage: gui_stop FOLDER [--presses N] [--first-ms T] [--gap-ms G] [--answer-ms A]\n");
        return 2;
    }
    if (folder.back() != '/') folder += '/';

    char workT[] = "/tmp/tv_gui_stop_work_XXXXXX";
    char outT[] = "/tmp/tv_gui_stop_out_XXXXXX";
    if (!mkdtemp(workT) || !mkdtemp(outT)) {
        std::perror("gui_stop: mkdtemp");
        return 1;
    }
    const std::string work = workT, out = outT;

    QApplication app(argc, argv);
    tv::QtWindowSystem ui;
    tv::QtProbe probe(ui);
    tv::Program p(ui);
    p.workDir = work;
    p.picturesFolder = [&folder] { return folder; };
    p.openFolder = [](const std::string&) {};

    std::vector<Press> log;
    BoxWatcher watcher;
    watcher.presses = &log;
    app.installEventFilter(&watcher);

    const int gui = static_cast<int>(syscall(SYS_gettid));
    std::atomic<int> workerTid{0};
    std::atomic<bool> done{false};
    std::mutex logMutex;

    // Watches the worker after each press: paused once it sleeps for 20
    // polls in a row (0.5 ms apart), counted from the first of them.
    std::atomic<int> watching{-1};
    std::thread monitor([&] {
        while (!done.load()) {
            int k = watching.load();
            int tid = workerTid.load();
            if (k < 0 || tid == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                continue;
            }
            int asleep = 0;
            Clock::time_point first;
            while (!done.load() && watching.load() == k) {
                char s = '?';
                long t = 0;
                if (!threadStat(tid, s, t)) break;
                if (s == 'S') {
                    if (asleep++ == 0) first = Clock::now();
                    if (asleep == 20) {
                        std::lock_guard<std::mutex> lock(logMutex);
                        log[k].paused = first;
                        log[k].havePaused = true;
                        break;
                    }
                } else {
                    asleep = 0;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            int expected = k;
            watching.compare_exchange_strong(expected, -1);
        }
    });

    auto button = [&probe](int id) { return static_cast<QAbstractButton*>(probe.gadgetWidget(id)); };
    int stage = 0;
    Clock::time_point nextPress;
    Clock::time_point answerAt;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, &user, [&] {
        if (p.ended) return;
        const Clock::time_point now = Clock::now();
        if (stage == 0 && probe.isWindowVisible(tv::id::WndMain)) {
            button(tv::id::ButtonList)->click();
            stage = 1;
        } else if (stage == 1 && probe.isWindowVisible(tv::id::WndList)) {
            button(tv::id::ButtonNext)->click();
            stage = 2;
        } else if (stage == 2 && probe.isWindowVisible(tv::id::WndCompress)) {
            button(tv::id::CheckboxOtherFolder)->click();
            static_cast<QLineEdit*>(probe.gadgetWidget(tv::id::StringOtherFolder))->setText(QString::fromStdString(out));
            button(tv::id::ButtonLaunchCompression)->click();
            nextPress = now + std::chrono::milliseconds(firstMs);
            stage = 3;
        } else if (stage == 3 && now >= nextPress && probe.isWindowVisible(tv::id::WndProgress)) {
            if (workerTid.load() == 0) workerTid.store(busiestOther(gui));
            {
                std::lock_guard<std::mutex> lock(logMutex);
                log.push_back(Press{});
                log.back().stop = Clock::now();
            }
            watching.store(static_cast<int>(log.size()) - 1);
            // Queues the Stop event; the run loop picks it up.
            button(tv::id::ButtonStopCompression)->click();
            stage = 4;
        } else if (stage == 4) {
            QMessageBox* box = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
            if (!box) return;
            if (answerAt == Clock::time_point{}) answerAt = now + std::chrono::milliseconds(answerMs);
            if (now < answerAt) return;  // time for the worker to reach its gate
            answerAt = Clock::time_point{};
            const bool last = static_cast<int>(log.size()) >= presses || p.WorkerFinished.load() != 0;
            box->button(last ? QMessageBox::Yes : QMessageBox::No)->click();
            nextPress = now + std::chrono::milliseconds(gapMs);
            stage = last ? 5 : 3;
        }
    });
    user.start(1);
    tv::runTarvolin(p);
    done.store(true);
    monitor.join();

    std::vector<double> shown, painted, paused;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const Press& r = log[i];
        std::printf("press %zu: shown %.1f ms, painted %.1f ms, worker paused %s\n", i + 1,
                    r.haveShown ? msBetween(r.stop, r.shown) : -1.0, r.havePainted ? msBetween(r.stop, r.painted) : -1.0,
                    r.havePaused ? (std::to_string(msBetween(r.stop, r.paused)) + " ms").c_str() : "not seen");
        if (r.haveShown) shown.push_back(msBetween(r.stop, r.shown));
        if (r.havePainted) painted.push_back(msBetween(r.stop, r.painted));
        if (r.havePaused) paused.push_back(msBetween(r.stop, r.paused));
    }
    std::printf("saved before the end: %d\n", p.ProcessedCount.load());
    median(shown, "stop_to_question_shown");
    median(painted, "stop_to_question_painted");
    median(paused, "stop_to_worker_paused");
    std::string rm = "rm -rf '" + work + "' '" + out + "'";
    if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "gui_stop: could not remove %s\n", out.c_str());
    return static_cast<int>(shown.size()) == static_cast<int>(log.size()) && !log.empty() ? 0 : 1;
}

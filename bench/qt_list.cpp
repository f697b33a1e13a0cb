// How fast the image list of the Qt backend fills and reads back, at 1,000
// to 50,000 rows: each row added and ticked as the folder listing does it,
// then the UI thread's events handled until it is idle again (the list lays
// itself out, its scroll bars follow); and every row read back, on the UI
// thread as Next counts the ticks, and from another thread as the worker
// reads them. Run on the offscreen platform unless another one is asked for.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "backends/qt/qt_window_system.h"

namespace {

constexpr int WndList = 201;
constexpr int ImgList = 2020;

QApplication* app() {
    static QApplication* a = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "bench_qt_list";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return a;
}

// The image list window as the program builds it, shown, as it is when the
// folder is listed.
std::unique_ptr<tv::QtWindowSystem> listWindow() {
    app();
    auto ui = std::make_unique<tv::QtWindowSystem>();
    ui->openWindow(WndList, 0, 0, 460, 340, "Tarvolin - Images list", tv::wflag::TitleBar | tv::wflag::Centered);
    ui->listGadget(ImgList, {10, 10, 440, 270}, "Images", 355, 0);
    ui->addColumn(ImgList, 1, "Size", 80);
    ui->waitEvent(0);
    return ui;
}

std::vector<std::string> rowTexts(int rows) {
    std::vector<std::string> texts;
    texts.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i) texts.push_back("IMG_" + std::to_string(10000 + i) + ".jpg\n2.9 Mo");
    return texts;
}

// Until nothing is left to do: the delayed layout, the scroll bars it
// shows, the paint.
void settle() {
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void fill(tv::QtWindowSystem& ui, const std::vector<std::string>& texts) {
    for (const std::string& t : texts) {
        ui.addItem(ImgList, -1, t);
        const int r = ui.countItems(ImgList) - 1;
        if (r >= 0) ui.setItemState(ImgList, r, tv::row::Ticked);
    }
    settle();
}

void rowsPerSecond(benchmark::State& state) {
    state.counters["rows/s"] =
        benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}

// 1,000 to 50,000 rows, in milliseconds.
void rowCounts(benchmark::internal::Benchmark* b) {
    for (int rows : {1000, 4000, 16000, 50000}) b->Arg(rows);
    b->Unit(benchmark::kMillisecond);
}

void BM_QtListFillAndTick(benchmark::State& state) {
    const std::vector<std::string> texts = rowTexts(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto ui = listWindow();
        state.ResumeTiming();
        fill(*ui, texts);
        state.PauseTiming();
        if (ui->countItems(ImgList) != int(texts.size())) state.SkipWithError("rows missing");
        ui.reset();
        state.ResumeTiming();
    }
    rowsPerSecond(state);
}
BENCHMARK(BM_QtListFillAndTick)->Apply(rowCounts)->UseRealTime();

// Next: count the rows, read every row's bits.
void BM_QtListReadOnUiThread(benchmark::State& state) {
    auto ui = listWindow();
    fill(*ui, rowTexts(int(state.range(0))));
    for (auto _ : state) {
        int ticked = 0;
        const int n = ui->countItems(ImgList);
        for (int r = 0; r < n; ++r) ticked += (ui->getItemState(ImgList, r) & tv::row::Ticked) != 0;
        if (ticked != state.range(0)) state.SkipWithError("ticks missing");
        benchmark::DoNotOptimize(ticked);
    }
    rowsPerSecond(state);
}
BENCHMARK(BM_QtListReadOnUiThread)->Apply(rowCounts)->UseRealTime();

// The worker walking the rows while the UI thread waits; timed inside the
// worker, so that starting the thread is left out.
void BM_QtListReadFromWorker(benchmark::State& state) {
    auto ui = listWindow();
    fill(*ui, rowTexts(int(state.range(0))));
    const int n = int(state.range(0));
    for (auto _ : state) {
        int ticked = 0;
        double seconds = 0;
        std::thread worker([&] {
            const auto start = std::chrono::steady_clock::now();
            for (int r = 0; r < n; ++r) ticked += (ui->getItemState(ImgList, r) & tv::row::Ticked) != 0;
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        worker.join();
        state.SetIterationTime(seconds);
        if (ticked != n) state.SkipWithError("ticks missing");
    }
    rowsPerSecond(state);
}
BENCHMARK(BM_QtListReadFromWorker)->Apply(rowCounts)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();

// Palette and PNG output speed: learning the 256-entry palette of a
// 4-megapixel picture and mapping every pixel, and writing a 12-megapixel
// RGB picture as PNG (unfiltered, level 9).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "imaging/image.h"
#include "imaging/quantizer.h"

using namespace tv::img;

namespace {

using namespace tvbench;

void BM_QuantiseBuild8Bit4MP(benchmark::State& state) {
    const int bpp = static_cast<int>(state.range(0));
    std::vector<std::uint8_t> px = make_picture(W4, H4, bpp);
    for (auto _ : state) {
        PaletteQuantizer* q = quantizer_build(px.data(), W4, H4, bpp * 8, row_pitch(W4, bpp * 8), 8, 7);
        if (!q) {
            state.SkipWithError("no memory");
            break;
        }
        benchmark::DoNotOptimize(q->palette);
        quantizer_release(q);
    }
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(W4) * H4 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_QuantiseBuild8Bit4MP)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_QuantiseMapRows8Bit4MP(benchmark::State& state) {
    std::vector<std::uint8_t> px = make_picture(W4, H4, 3);
    PaletteQuantizer* q = quantizer_build(px.data(), W4, H4, 24, row_pitch(W4, 24), 8, 7);
    if (!q) {
        state.SkipWithError("no memory");
        return;
    }
    for (auto _ : state) {
        for (int y = 0; y < H4; ++y) benchmark::DoNotOptimize(quantizer_index_row(*q, y));
    }
    quantizer_release(q);
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(W4) * H4 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_QuantiseMapRows8Bit4MP)->Unit(benchmark::kMillisecond);

std::string temp_path(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name + std::to_string(getpid());
}

void BM_PngEncodeRgb12MP(benchmark::State& state) {
    std::vector<std::uint8_t> px = make_picture(W12, H12, 3);
    Engine e;
    register_png_encoder(e);
    EncodeFn fn = nullptr;
    for (const ImageEncoder& enc : e.encoders)
        if (enc.id == PngEncoderId) fn = enc.encode_rgb;
    const std::string path = temp_path("tv_bench_png_");
    for (auto _ : state) {
        if (!fn || fn(path.c_str(), px.data(), W12, H12, row_pitch(W12, 24), BottomUp, 7, 24, nullptr, &e) != 1) {
            state.SkipWithError("PNG encode failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(W12) * H12 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PngEncodeRgb12MP)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PngEncodePalette8Bit4MP(benchmark::State& state) {
    std::vector<std::uint8_t> px = make_picture(W4, H4, 3);
    Engine e;
    register_png_encoder(e);
    EncodeFn fn = nullptr;
    for (const ImageEncoder& enc : e.encoders)
        if (enc.id == PngEncoderId) fn = enc.encode_rgb;
    const std::string path = temp_path("tv_bench_png8_");
    for (auto _ : state) {
        if (!fn || fn(path.c_str(), px.data(), W4, H4, row_pitch(W4, 24), BottomUp, 7, 8, nullptr, &e) != 1) {
            state.SkipWithError("PNG encode failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(W4) * H4 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PngEncodePalette8Bit4MP)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();

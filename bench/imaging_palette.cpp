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

#include "imaging/image.h"
#include "imaging/quantizer.h"

using namespace tv::img;

namespace {

constexpr int W4 = 2448, H4 = 1632;
constexpr int W12 = 4000, H12 = 3000;

// Something like a photograph: soft gradients, a few hard edges, grain.
std::vector<std::uint8_t> make_picture(int w, int h, int bpp) {
    const int pitch = row_pitch(w, bpp * 8);
    std::vector<std::uint8_t> px(static_cast<std::size_t>(pitch) * h);
    std::uint32_t s = 12345;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = px.data() + static_cast<std::size_t>(y) * pitch;
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            int grain = static_cast<int>((s >> 24) % 13) - 6;
            double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
            int base = ((x / 97 + y / 89) % 5 == 0) ? 60 : 0;
            int b = static_cast<int>(120 + 90 * std::sin(6.0 * fx + 2.0 * fy)) + base + grain;
            int g = static_cast<int>(110 + 80 * std::cos(4.0 * fy - 3.0 * fx)) - base / 2 + grain;
            int r = static_cast<int>(130 + 70 * std::sin(9.0 * fx * fy + 1.0)) + grain;
            row[x * bpp] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
            row[x * bpp + 1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
            row[x * bpp + 2] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
            if (bpp == 4) row[x * bpp + 3] = static_cast<std::uint8_t>(std::clamp(200 + grain * 8, 0, 255));
        }
    }
    return px;
}

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

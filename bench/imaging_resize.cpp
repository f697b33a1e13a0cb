// Resize speed: a 12-megapixel 24-bit picture to half size and to two
// thirds, a 4-megapixel 32-bit one to half size, and, as the yardstick,
// decoding the same 12-megapixel picture from JPEG with libjpeg-turbo. The
// half-size 24-bit resize should take less time than that decode.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <jpeglib.h>

#include "bench_support.h"
#include "imaging/image.h"
#include "support/jpeg_write.h"

using namespace tv::img;

namespace {

using namespace tvbench;

const std::vector<std::uint8_t>& picture12() {
    static const std::vector<std::uint8_t> px = make_picture(W12, H12, 3);
    return px;
}

// The engine's layout (bottom-up, B, G, R) as a quality-90 JPEG.
std::vector<std::uint8_t> encode_jpeg(const std::vector<std::uint8_t>& bgr, int w, int h) {
    const int pitch = row_pitch(w, 24);
    return tvtest::encodeRgbJpeg(w, h, 90, [&bgr, w, h, pitch](int y, unsigned char* row) {
        const std::uint8_t* s = bgr.data() + static_cast<std::size_t>(h - 1 - y) * pitch;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = s[3 * x + 2];
            row[3 * x + 1] = s[3 * x + 1];
            row[3 * x + 2] = s[3 * x];
        }
    });
}

const std::vector<std::uint8_t>& jpeg12() {
    static const std::vector<std::uint8_t> data = encode_jpeg(picture12(), W12, H12);
    return data;
}

// Decode to the engine's layout (bottom-up, B, G, R) as the loader does.
bool decode_jpeg(const std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& out) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&d, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    d.dct_method = JDCT_ISLOW;
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const int w = static_cast<int>(d.output_width), h = static_cast<int>(d.output_height);
    const int pitch = row_pitch(w, 24);
    out.resize(static_cast<std::size_t>(pitch) * h);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rp = out.data() + static_cast<std::size_t>(h - 1 - static_cast<int>(d.output_scanline)) * pitch;
        jpeg_read_scanlines(&d, &rp, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

void resize_rgb(int dw, int dh) {
    static Engine e;
    static std::vector<std::uint8_t> dst;
    dst.resize(static_cast<std::size_t>(row_pitch(dw, 24)) * dh);
    detail::resample_rgb(e, dst.data(), row_pitch(dw, 24), dw, dh, picture12().data(), row_pitch(W12, 24), W12,
                         H12);
    benchmark::DoNotOptimize(dst.data());
}

void BM_Resize24_12MP_Half(benchmark::State& st) {
    picture12();
    for (auto _ : st) resize_rgb(W12 / 2, H12 / 2);
    st.counters["MP/s"] = benchmark::Counter(W12 * H12 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Resize24_12MP_Half)->Unit(benchmark::kMillisecond);

void BM_Resize24_12MP_TwoThirds(benchmark::State& st) {
    picture12();
    for (auto _ : st) resize_rgb(W12 * 2 / 3, H12 * 2 / 3);
    st.counters["MP/s"] = benchmark::Counter(W12 * H12 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Resize24_12MP_TwoThirds)->Unit(benchmark::kMillisecond);

void BM_Resize32_4MP_Half(benchmark::State& st) {
    static const std::vector<std::uint8_t> src = make_picture(W4, H4, 4);
    Engine e;
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(W4 / 2) * (H4 / 2) * 4);
    for (auto _ : st) {
        detail::resample_rgba(e, dst.data(), W4 / 2, H4 / 2, src.data(), W4, H4);
        benchmark::DoNotOptimize(dst.data());
    }
    st.counters["MP/s"] = benchmark::Counter(W4 * H4 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Resize32_4MP_Half)->Unit(benchmark::kMillisecond);

void BM_JpegDecode_12MP(benchmark::State& st) {
    const auto& data = jpeg12();
    std::vector<std::uint8_t> out;
    for (auto _ : st) {
        decode_jpeg(data, out);
        benchmark::DoNotOptimize(out.data());
    }
    st.counters["MP/s"] = benchmark::Counter(W12 * H12 / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_JpegDecode_12MP)->Unit(benchmark::kMillisecond);

double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double wall_ms() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Best {
    double cpu = 1e30, wall = 1e30;
};

template <typename F>
void measure(Best& b, F f) {
    const double c0 = thread_cpu_ms(), w0 = wall_ms();
    f();
    b.cpu = std::min(b.cpu, thread_cpu_ms() - c0);
    b.wall = std::min(b.wall, wall_ms() - w0);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The target in one line: half-size resize against decoding the same
    // picture, best of several alternating runs (processor time, which a
    // busy machine disturbs less than the clock).
    std::vector<std::uint8_t> out;
    Best decode, resize;
    for (int i = 0; i < 9; ++i) {
        measure(decode, [&] { decode_jpeg(jpeg12(), out); });
        measure(resize, [] { resize_rgb(W12 / 2, H12 / 2); });
    }
    std::printf("12 MP JPEG decode %.1f ms, 24-bit half-size resize %.1f ms (processor time; clock %.1f / %.1f ms)\n",
                decode.cpu, resize.cpu, decode.wall, resize.wall);
    std::printf("resize/decode %.2f: %s\n", resize.cpu / decode.cpu,
                resize.cpu < decode.cpu ? "the resize is faster" : "the resize is SLOWER");
    return 0;
}

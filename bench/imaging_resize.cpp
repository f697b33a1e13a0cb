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

#include "imaging/image.h"

using namespace tv::img;

namespace {

constexpr int W12 = 4000, H12 = 3000;
constexpr int W4 = 2448, H4 = 1632;

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

const std::vector<std::uint8_t>& picture12() {
    static const std::vector<std::uint8_t> px = make_picture(W12, H12, 3);
    return px;
}

std::vector<std::uint8_t> encode_jpeg(const std::vector<std::uint8_t>& bgr, int w, int h) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    const int pitch = row_pitch(w, 24);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    while (c.next_scanline < c.image_height) {
        const std::uint8_t* s = bgr.data() + static_cast<std::size_t>(h - 1 - c.next_scanline) * pitch;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = s[3 * x + 2];
            row[3 * x + 1] = s[3 * x + 1];
            row[3 * x + 2] = s[3 * x];
        }
        JSAMPROW rp = row.data();
        jpeg_write_scanlines(&c, &rp, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
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

// Decode and encode speed on a 12-megapixel photograph-like picture.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "imaging/image.h"

namespace {

using namespace tv::img;

constexpr int W = 4000, H = 3000;

// Smooth gradients with some texture, so the encoder sees photo-like data.
ImageHandle make_picture(Engine& e) {
    Image* im = detail::create_image(e, W, H, 24);
    if (!im) return NoImage;
    im->source_depth = 24;
    const int pitch = row_pitch(W, 24);
    for (int y = 0; y < H; ++y) {
        std::uint8_t* row = im->pixels + static_cast<std::size_t>(pitch) * y;
        for (int x = 0; x < W; ++x) {
            const int noise = static_cast<int>((static_cast<unsigned>(x * 2654435761u) ^ static_cast<unsigned>(y * 40503u)) >> 28);
            row[3 * x + 0] = static_cast<std::uint8_t>((x * 255 / W + noise) & 0xFF);
            row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / H + noise) & 0xFF);
            row[3 * x + 2] = static_cast<std::uint8_t>(static_cast<int>(127.5 + 127.5 * std::sin(x * 0.01 + y * 0.013)));
        }
    }
    return detail::add_to_table(e, im);
}

std::string temp_path(const char* name) { return std::string("/tmp/tv_bench_") + std::to_string(getpid()) + "_" + name; }

// Loads the picture at path once an iteration, then removes the file.
void time_loads(benchmark::State& state, Engine& e, const std::string& path) {
    for (auto _ : state) {
        ImageHandle loaded = image_load(e, path);
        if (!loaded) {
            state.SkipWithError("load failed");
            break;
        }
        image_free(e, loaded);
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(W) * H / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}

void BM_EncodeJpeg12MP(benchmark::State& state) {
    Engine e;
    register_jpeg_encoder(e);
    ImageHandle h = make_picture(e);
    const std::string path = temp_path("enc.jpg");
    for (auto _ : state) {
        if (!image_save(e, h, path, JpegEncoderId, static_cast<int>(state.range(0)))) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.counters["MP/s"] = benchmark::Counter(static_cast<double>(W) * H / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
    std::remove(path.c_str());
}
BENCHMARK(BM_EncodeJpeg12MP)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg12MP(benchmark::State& state) {
    Engine e;
    register_jpeg_decoder(e);
    register_jpeg_encoder(e);
    ImageHandle h = make_picture(e);
    const std::string path = temp_path("dec.jpg");
    if (!image_save(e, h, path, JpegEncoderId, 7)) {
        state.SkipWithError("could not write the picture");
        return;
    }
    image_free(e, h);
    time_loads(state, e, path);
}
BENCHMARK(BM_DecodeJpeg12MP)->Unit(benchmark::kMillisecond);

void BM_DecodeBmp12MP(benchmark::State& state) {
    // A 24-bit BMP written by hand: header then the rows as stored.
    const std::string path = temp_path("dec.bmp");
    {
        Engine e;
        ImageHandle h = make_picture(e);
        const Image* im = image_get(e, h);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || !im) {
            if (f) std::fclose(f);
            state.SkipWithError("could not write the picture");
            return;
        }
        std::uint8_t hdr[54] = {'B', 'M'};
        auto put32 = [&](int at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) hdr[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        put32(2, static_cast<std::uint32_t>(54 + im->size));
        put32(10, 54);
        put32(14, 40);
        put32(18, W);
        put32(22, H);
        hdr[26] = 1;
        hdr[28] = 24;
        bool ok = std::fwrite(hdr, 1, 54, f) == 54 && std::fwrite(im->pixels, 1, im->size, f) == im->size;
        if (std::fclose(f) != 0 || !ok) {
            state.SkipWithError("could not write the picture");
            return;
        }
    }
    Engine e;
    time_loads(state, e, path);
}
BENCHMARK(BM_DecodeBmp12MP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

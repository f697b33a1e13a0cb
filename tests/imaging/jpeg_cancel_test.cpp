// The cancel check while libjpeg reads the scans of a multi-scan file: the
// library reads them all inside jpeg_start_decompress, where no loop of the
// engine runs, so the decoder has the library consult the check there.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <thread>

#include "image_test_util.h"
#include "imaging/decoder_context.h"
#include "imaging/image.h"

using namespace tv::img;
using namespace tvtest;

namespace {

constexpr int Width = 1024;
constexpr int Height = 768;

// A noisy picture, so every scan carries data.
std::string write_progressive(const TempDir& d) {
    JpegSpec s;
    s.width = Width;
    s.height = Height;
    s.quality = 92;
    s.progressive = true;
    s.samples.resize(static_cast<std::size_t>(Width) * Height * 3);
    std::mt19937 rng(7);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            for (int c = 0; c < 3; ++c)
                s.samples[(static_cast<std::size_t>(y) * Width + x) * 3 + c] =
                    static_cast<std::uint8_t>(grad(x, y, c) + rng() % 48);
    const std::string path = d.file("p.jpg");
    EXPECT_TRUE(write_jpeg(path, s));
    return path;
}

struct Outcome {
    int checkResult = 0;
    bool cancelled = false;
    bool stateLeft = false;
};

// Only the JPEG decoder's check, which for a multi-scan file reads every scan.
Outcome run_check(Engine& e, const std::string& path) {
    Outcome o;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (!f) return o;
    DecoderContext ctx;
    ctx.engine = &e;
    ctx.file = f;
    const ImageDecoder& jpeg = e.decoders.front();
    o.checkResult = jpeg.check(ctx);
    o.cancelled = ctx.cancelled;
    if (o.checkResult) {
        jpeg.release(ctx);
    } else {
        o.stateLeft = ctx.state != nullptr;
    }
    std::fclose(f);
    return o;
}

Bytes pixels_of(const Engine& e, ImageHandle h) {
    const Image* im = image_get(e, h);
    return im ? Bytes(im->pixels, im->pixels + im->size) : Bytes{};
}

std::size_t images_held(const Engine& e) {
    std::size_t n = 0;
    for (const Image* im : e.table) n += im != nullptr;
    return n;
}

class JpegCancel : public ::testing::TestWithParam<bool> {};

// How often the check is asked while the scans are read, with nothing stopped.
int checks_while_reading(const std::string& path, bool compact) {
    Engine e;
    registerCodecs(e);
    e.compactJpegCoefficients = compact;
    int asked = 0;
    e.cancel = [&] {
        ++asked;
        return false;
    };
    const Outcome o = run_check(e, path);
    EXPECT_EQ(o.checkResult, 1);
    return asked;
}

TEST_P(JpegCancel, ScansAreReadUnderTheCheck) {
    TempDir d;
    const std::string path = write_progressive(d);
    // Many times, spread over the scans, not once at the start.
    EXPECT_GT(checks_while_reading(path, GetParam()), 50);
}

TEST_P(JpegCancel, StopBeforeTheScansFailsAtOnce) {
    TempDir d;
    const std::string path = write_progressive(d);
    Engine e;
    registerCodecs(e);
    e.compactJpegCoefficients = GetParam();
    int asked = 0;
    e.cancel = [&] {
        ++asked;
        return true;
    };
    const Outcome o = run_check(e, path);
    EXPECT_EQ(o.checkResult, 0);
    EXPECT_TRUE(o.cancelled);
    EXPECT_FALSE(o.stateLeft);
    EXPECT_EQ(asked, 1);
}

TEST_P(JpegCancel, StopWhileReadingTheScansFailsTheLoadAtOnce) {
    TempDir d;
    const std::string path = write_progressive(d);
    const int reading = checks_while_reading(path, GetParam());
    ASSERT_GT(reading, 4);
    for (int stopAt : {2, reading / 2, reading}) {
        Engine e;
        registerCodecs(e);
        e.compactJpegCoefficients = GetParam();
        int asked = 0;
        e.cancel = [&] { return ++asked >= stopAt; };
        // Through the whole load: its own check comes first, then the scans.
        EXPECT_EQ(image_load(e, path), NoImage) << "stop at " << stopAt;
        EXPECT_EQ(asked, stopAt) << "asked again after the stop";
        EXPECT_EQ(images_held(e), 0u);

        asked = 0;
        const Outcome o = run_check(e, path);
        EXPECT_EQ(o.checkResult, 0) << "stop at " << stopAt;
        EXPECT_TRUE(o.cancelled);
        EXPECT_FALSE(o.stateLeft);
        EXPECT_EQ(asked, stopAt);
    }
}

TEST_P(JpegCancel, PauseWhileReadingTheScansKeepsThePixels) {
    TempDir d;
    const std::string path = write_progressive(d);
    const int reading = checks_while_reading(path, GetParam());
    ASSERT_GT(reading, 4);

    Engine plain;
    registerCodecs(plain);
    plain.compactJpegCoefficients = GetParam();
    const ImageHandle ph = image_load(plain, path);
    ASSERT_NE(ph, NoImage);
    const Bytes expected = pixels_of(plain, ph);

    // The check blocks, as a paused batch's does, until told to go on.
    Engine e;
    registerCodecs(e);
    e.compactJpegCoefficients = GetParam();
    std::atomic<int> asked{0};
    std::atomic<bool> paused{false};
    std::atomic<bool> resume{false};
    const int pauseAt = reading / 2;
    e.cancel = [&] {
        if (asked.fetch_add(1) + 1 == pauseAt) {
            paused.store(true);
            paused.notify_all();
            resume.wait(false);
        }
        return false;
    };
    ImageHandle h = NoImage;
    std::thread loader([&] { h = image_load(e, path); });
    paused.wait(false);
    // Held at the gate: nothing goes on meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(asked.load(), pauseAt);
    resume.store(true);
    resume.notify_all();
    loader.join();
    ASSERT_NE(h, NoImage);
    EXPECT_EQ(image_width(e, h), Width);
    EXPECT_EQ(image_height(e, h), Height);
    EXPECT_TRUE(pixels_of(e, h) == expected);
}

TEST_P(JpegCancel, ACheckThatNeverStopsChangesNoPixel) {
    TempDir d;
    const std::string path = write_progressive(d);
    Engine plain;
    registerCodecs(plain);
    plain.compactJpegCoefficients = GetParam();
    Engine checked;
    registerCodecs(checked);
    checked.compactJpegCoefficients = GetParam();
    checked.cancel = [] { return false; };
    const ImageHandle a = image_load(plain, path);
    const ImageHandle b = image_load(checked, path);
    ASSERT_NE(a, NoImage);
    ASSERT_NE(b, NoImage);
    EXPECT_TRUE(pixels_of(plain, a) == pixels_of(checked, b));
}

INSTANTIATE_TEST_SUITE_P(Stores, JpegCancel, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Compact" : "Library"; });

}  // namespace

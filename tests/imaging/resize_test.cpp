// Resizing: the cubic filter's numbers, the pass order, edges, the
// fixed-point 24-bit path against the exact one, raw stretching, and the
// rule that a failed or cancelled resize leaves the image as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/image.h"
#include "imaging/resize_internal.h"
#include "scalar_kernels.h"

using namespace tv::img;
using tvtest::ScalarKernels;

namespace {

std::uint32_t next_random(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

// 32-bit pixels, B, G, R, A, rows of 4w bytes.
std::vector<std::uint8_t> rgba_row(const std::vector<int>& b, int g, int r, int a) {
    std::vector<std::uint8_t> px;
    for (int v : b) {
        px.push_back(static_cast<std::uint8_t>(v));
        px.push_back(static_cast<std::uint8_t>(g));
        px.push_back(static_cast<std::uint8_t>(r));
        px.push_back(static_cast<std::uint8_t>(a));
    }
    return px;
}

std::vector<int> channel(const std::vector<std::uint8_t>& px, int bpp, int c) {
    std::vector<int> out;
    for (std::size_t i = c; i < px.size(); i += bpp) out.push_back(px[i]);
    return out;
}

std::vector<std::uint8_t> resample4(const std::vector<std::uint8_t>& src, int sw, int sh, int dw, int dh) {
    Engine e;
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(dw) * dh * 4, 0xCD);
    EXPECT_EQ(detail::resample_rgba(e, dst.data(), dw, dh, src.data(), sw, sh), 1);
    return dst;
}

ImageHandle make_image(Engine& e, int w, int h, int d, std::uint32_t seed, bool opaque = false) {
    Image* im = detail::create_image(e, w, h, d);
    if (!im) return NoImage;
    std::uint32_t s = seed;
    for (std::size_t i = 0; i < im->size; ++i) im->pixels[i] = static_cast<std::uint8_t>(next_random(s));
    if (d == 32 && opaque)
        for (std::size_t i = 3; i < im->size; i += 4) im->pixels[i] = 255;
    return detail::add_to_table(e, im);
}

struct Snapshot {
    const std::uint8_t* pixels;
    std::vector<std::uint8_t> bytes;
    int width, height, depth;
};

Snapshot snap(const Engine& e, ImageHandle h) {
    const Image* im = image_get(e, h);
    return {im->pixels, std::vector<std::uint8_t>(im->pixels, im->pixels + im->size), im->width, im->height,
            im->depth};
}

void expect_unchanged(const Engine& e, ImageHandle h, const Snapshot& before) {
    const Image* im = image_get(e, h);
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(im->pixels, before.pixels);
    EXPECT_EQ(im->width, before.width);
    EXPECT_EQ(im->height, before.height);
    EXPECT_EQ(im->depth, before.depth);
    ASSERT_EQ(im->size, before.bytes.size());
    EXPECT_EQ(std::memcmp(im->pixels, before.bytes.data(), im->size), 0);
}

// Random 24-bit picture with padded rows.
std::vector<std::uint8_t> random_rgb(int w, int h, std::uint32_t seed, int mode) {
    const int pitch = row_pitch(w, 24);
    std::vector<std::uint8_t> px(static_cast<std::size_t>(pitch) * h);
    std::uint32_t s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x) {
            std::uint8_t v;
            if (mode == 0)
                v = static_cast<std::uint8_t>(next_random(s));
            else if (mode == 1)  // hard edges: the cubic overshoots most here
                v = (next_random(s) & 1) ? 255 : 0;
            else  // smooth ramp with noise, closer to a photograph
                v = static_cast<std::uint8_t>(std::clamp(
                    static_cast<int>((x * 7 + y * 3) % 256) + static_cast<int>(next_random(s) % 9) - 4, 0, 255));
            px[static_cast<std::size_t>(y) * pitch + x] = v;
        }
    return px;
}

}  // namespace

// ---- the filter and its contribution lists ----

TEST(ResizeFilter, MitchellValuesAndSupport) {
    EXPECT_NEAR(detail::mitchell(0.0), 8.0 / 9.0, 1e-15);
    EXPECT_NEAR(detail::mitchell(1.0), 1.0 / 18.0, 1e-15);
    EXPECT_NEAR(detail::mitchell(-1.0), 1.0 / 18.0, 1e-15);
    EXPECT_EQ(detail::mitchell(2.0), 0.0);
    EXPECT_EQ(detail::mitchell(-2.5), 0.0);
    EXPECT_LT(detail::mitchell(1.5), 0.0);  // the negative lobe
}

TEST(ResizeFilter, EnlargingTwoToFourCutsTheWindowAtTheEdge) {
    detail::Contributions c;
    ASSERT_TRUE(detail::build_contributions(c, 2, 4));
    EXPECT_EQ(c.left[0], 0);
    ASSERT_EQ(c.count[0], 2);
    EXPECT_NEAR(c.w[0], 1.0309, 1e-4);
    EXPECT_NEAR(c.w[1], -0.0309, 1e-4);
    for (int i = 0; i < 4; ++i) {
        double sum = 0;
        for (int j = 0; j < c.count[i]; ++j) sum += c.w[i * c.taps + j];
        EXPECT_NEAR(sum, 1.0, 1e-12) << i;
        EXPECT_GE(c.left[i], 0);
        EXPECT_LE(c.left[i] + c.count[i], 2);
    }
}

TEST(ResizeFilter, ShrinkingFourToTwoWeights) {
    detail::Contributions c;
    ASSERT_TRUE(detail::build_contributions(c, 4, 2));
    EXPECT_EQ(c.left[0], 0);
    ASSERT_EQ(c.count[0], 4);
    EXPECT_NEAR(c.w[0], 0.4353, 1e-4);
    EXPECT_NEAR(c.w[1], 0.4353, 1e-4);
    EXPECT_NEAR(c.w[2], 0.1425, 1e-4);
    EXPECT_NEAR(c.w[3], -0.0130, 1e-4);
}

TEST(ResizeFilter, WindowNeverExceedsTapsNorLeavesTheInput) {
    const int cases[][2] = {{7, 3}, {3, 7}, {100, 33}, {33, 100}, {1, 9}, {9, 1}, {1000, 7}, {5, 5}};
    for (auto& cs : cases) {
        detail::Contributions c;
        ASSERT_TRUE(detail::build_contributions(c, cs[0], cs[1]));
        const double scale = static_cast<double>(cs[1]) / cs[0];
        const double h = scale < 1 ? 2 / scale : 2;
        for (int i = 0; i < cs[1]; ++i) {
            EXPECT_GE(c.left[i], 0);
            EXPECT_LE(c.left[i] + c.count[i], cs[0]);
            EXPECT_LE(c.count[i], 2 * std::ceil(h) + 1);
        }
    }
}

// ---- the exact 32-bit resampler ----

TEST(ResampleRgba, WorkedExamplesToTheByte) {
    {
        auto out = resample4(rgba_row({0, 255}, 200, 77, 255), 2, 1, 4, 1);
        EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{0, 63, 192, 255}));
        EXPECT_EQ(channel(out, 4, 1), (std::vector<int>{200, 200, 200, 200}));
        EXPECT_EQ(channel(out, 4, 3), (std::vector<int>{255, 255, 255, 255}));
    }
    {
        auto out = resample4(rgba_row({0, 255, 0, 255}, 10, 10, 255), 4, 1, 2, 1);
        EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{108, 147}));
    }
    {
        auto out = resample4(rgba_row({10, 20, 30, 40, 50, 60, 70, 80}, 0, 0, 255), 8, 1, 3, 1);
        EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{20, 45, 70}));
    }
}

TEST(ResampleRgba, WorkedExamplesDownAColumnInStorageOrder) {
    // One pixel per row: the vertical pass, row 0 first in memory.
    auto out = resample4(rgba_row({0, 255}, 0, 0, 255), 1, 2, 1, 4);
    EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{0, 63, 192, 255}));
    out = resample4(rgba_row({10, 20, 30, 40, 50, 60, 70, 80}, 0, 0, 255), 1, 8, 1, 3);
    EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{20, 45, 70}));
    out = resample4(rgba_row({0, 255, 0, 255}, 0, 0, 255), 1, 4, 1, 2);
    EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{108, 147}));
}

TEST(ResampleRgba, OvershootIsHeldNotWrapped) {
    // Sums of about -7.9 and 262.9 at the ends of a hard edge.
    auto out = resample4(rgba_row({255, 0}, 0, 0, 0), 2, 1, 4, 1);
    EXPECT_EQ(channel(out, 4, 0), (std::vector<int>{255, 192, 63, 0}));
    // Alpha is filtered like the colours, overshoot and all.
    out = resample4(rgba_row({0, 0}, 0, 0, 0), 2, 1, 4, 1);
    std::vector<std::uint8_t> src = rgba_row({0, 0}, 0, 0, 0);
    src[3] = 0;
    src[7] = 255;
    out = resample4(src, 2, 1, 4, 1);
    EXPECT_EQ(channel(out, 4, 3), (std::vector<int>{0, 63, 192, 255}));
}

TEST(ResampleRgba, OpaqueStaysOpaqueAndFlatStaysFlat) {
    const int sizes[][4] = {{37, 23, 11, 5}, {5, 4, 41, 17}, {64, 64, 1, 1}, {1, 1, 13, 9}, {30, 2, 7, 60}};
    for (auto& s : sizes) {
        std::vector<std::uint8_t> src(static_cast<std::size_t>(s[0]) * s[1] * 4);
        std::uint32_t seed = 99;
        for (std::size_t i = 0; i < src.size(); i += 4) {
            src[i] = static_cast<std::uint8_t>(next_random(seed));
            src[i + 1] = 123;  // flat channel
            src[i + 2] = static_cast<std::uint8_t>(next_random(seed));
            src[i + 3] = 255;
        }
        auto out = resample4(src, s[0], s[1], s[2], s[3]);
        for (std::size_t i = 0; i < out.size(); i += 4) {
            ASSERT_EQ(out[i + 3], 255) << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3];
            ASSERT_EQ(out[i + 1], 123);
        }
    }
}

TEST(ResampleRgba, WidthOrHeightOfOne) {
    // Three pixels to one: the centre is input 1 and the window is cut on
    // both sides, leaving weights symmetric about it.
    auto out = resample4(rgba_row({30, 90, 150}, 0, 0, 255), 3, 1, 1, 1);
    const double w0 = detail::mitchell(1.0 / 3.0) / 3.0, w1 = detail::mitchell(0.0) / 3.0;
    const double expect = (w0 * 30 + w1 * 90 + w0 * 150) / (2 * w0 + w1);
    EXPECT_EQ(out[0], static_cast<int>(expect + 0.5));
    EXPECT_EQ(out[0], 90);
    // A single pixel spread to a row and a column keeps its value.
    out = resample4(rgba_row({77}, 1, 2, 3), 1, 1, 9, 1);
    for (std::size_t i = 0; i < out.size(); i += 4) EXPECT_EQ(out[i] + out[i + 1] + out[i + 2] + out[i + 3], 83);
    out = resample4(rgba_row({77}, 1, 2, 3), 1, 1, 1, 6);
    for (std::size_t i = 0; i < out.size(); i += 4) EXPECT_EQ(out[i], 77);
    // Many rows squeezed into one.
    std::vector<std::uint8_t> col = rgba_row({0, 10, 20, 30, 40, 50, 60, 70, 80, 90}, 0, 0, 255);
    out = resample4(col, 1, 10, 1, 1);
    EXPECT_EQ(out[0], 45);
}

namespace {
// The two passes done by hand: a resize of each row alone (height 1), then
// of each column alone (width 1), or the other way round.
std::vector<std::uint8_t> two_passes(const std::vector<std::uint8_t>& src, int sw, int sh, int dw, int dh,
                                     bool horizontalFirst) {
    auto rows = [](const std::vector<std::uint8_t>& in, int w, int h, int nw) {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(nw) * h * 4);
        for (int y = 0; y < h; ++y) {
            std::vector<std::uint8_t> row(in.begin() + static_cast<std::ptrdiff_t>(y) * w * 4,
                                          in.begin() + static_cast<std::ptrdiff_t>(y + 1) * w * 4);
            auto r = resample4(row, w, 1, nw, 1);
            std::copy(r.begin(), r.end(), out.begin() + static_cast<std::ptrdiff_t>(y) * nw * 4);
        }
        return out;
    };
    auto cols = [](const std::vector<std::uint8_t>& in, int w, int h, int nh) {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * nh * 4);
        for (int x = 0; x < w; ++x) {
            std::vector<std::uint8_t> col;
            for (int y = 0; y < h; ++y)
                col.insert(col.end(), in.begin() + (static_cast<std::ptrdiff_t>(y) * w + x) * 4,
                           in.begin() + (static_cast<std::ptrdiff_t>(y) * w + x) * 4 + 4);
            auto c = resample4(col, 1, h, 1, nh);
            for (int y = 0; y < nh; ++y)
                std::copy(c.begin() + y * 4, c.begin() + y * 4 + 4,
                          out.begin() + (static_cast<std::ptrdiff_t>(y) * w + x) * 4);
        }
        return out;
    };
    if (horizontalFirst) return cols(rows(src, sw, sh, dw), dw, sh, dh);
    return rows(cols(src, sw, sh, dh), sw, dh, dw);
}

std::vector<std::uint8_t> edgy_rgba(int w, int h, std::uint32_t seed) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h * 4);
    for (auto& v : px) v = (next_random(seed) & 1) ? 250 : 5;
    return px;
}
}  // namespace

TEST(ResampleRgba, PassOrderKeepsTheIntermediateSmallAndTiesGoHorizontal) {
    struct Case {
        int sw, sh, dw, dh;
        bool hFirst;
    } cases[] = {
        {8, 4, 4, 2, true},    // 4*4 == 8*2: tie
        {6, 9, 4, 6, true},    // 9*4 == 6*6: tie
        {8, 6, 3, 5, true},    // 6*3 < 8*5
        {6, 8, 5, 3, false},   // 8*5 > 6*3
        {5, 5, 9, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
        EXPECT_EQ(detail::horizontal_first(c.sw, c.sh, c.dw, c.dh), c.hFirst);
        // Find a picture on which the two orders disagree, so the result
        // shows which one ran.
        std::vector<std::uint8_t> src, h, v;
        for (std::uint32_t seed = 1; seed < 200; ++seed) {
            src = edgy_rgba(c.sw, c.sh, seed);
            h = two_passes(src, c.sw, c.sh, c.dw, c.dh, true);
            v = two_passes(src, c.sw, c.sh, c.dw, c.dh, false);
            if (h != v) break;
        }
        ASSERT_NE(h, v) << "no picture tells the orders apart";
        EXPECT_EQ(resample4(src, c.sw, c.sh, c.dw, c.dh), c.hFirst ? h : v);
    }
}

// ---- the exact resampler's AVX2 kernels against its plain loops ----

namespace {
// Random bytes, or (mode 1) runs of 0 and 255 that make the cubic filter
// overshoot below 0 and above 255.
std::vector<std::uint8_t> random_bytes(std::size_t n, std::uint32_t seed, int mode) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t s = seed;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t r = next_random(s);
        v[i] = mode == 1 ? static_cast<std::uint8_t>(((i / 3) + (r & 1)) % 2 ? 255 : 0) : static_cast<std::uint8_t>(r);
    }
    return v;
}
}  // namespace

TEST(ResampleExact, KernelsGiveThePlainLoopsBytes) {
    if (!detail::processor_has_avx2()) GTEST_SKIP() << "no AVX2 on this processor: only the plain loops run";
    // Odd widths (tails of the 16-byte blocks and of the pixel pairs), one
    // row or column, enlarging and shrinking, both pass orders.
    const int sizes[][4] = {{1, 1, 3, 2},     {2, 3, 1, 1},    {5, 7, 3, 4},     {7, 5, 13, 9},  {17, 3, 9, 6},
                            {33, 19, 16, 10}, {31, 40, 62, 7}, {64, 1, 21, 1},   {1, 64, 1, 23}, {101, 57, 50, 28},
                            {9, 200, 5, 99},  {257, 3, 128, 5}, {40, 30, 41, 31}, {3, 3, 300, 200}};
    int cases = 0;
    for (const auto& z : sizes)
        for (int ch = 1; ch <= 4; ++ch)
            for (int mode = 0; mode < 2; ++mode) {
                Engine e;
                const int sp = z[0] * ch + 5, dp = z[2] * ch + 3;  // pitches with gaps
                auto src = random_bytes(static_cast<std::size_t>(sp) * z[1], 77u + z[0] * 31u + ch, mode);
                std::vector<std::uint8_t> simd(static_cast<std::size_t>(dp) * z[3], 0xCD), plain(simd);
                {
                    ScalarKernels vector(false);
                    ASSERT_EQ(detail::resample_exact(e, simd.data(), dp, z[2], z[3], src.data(), sp, z[0], z[1], ch), 1);
                }
                {
                    ScalarKernels scalar;
                    ASSERT_EQ(detail::resample_exact(e, plain.data(), dp, z[2], z[3], src.data(), sp, z[0], z[1], ch), 1);
                }
                EXPECT_EQ(simd, plain) << z[0] << "x" << z[1] << " -> " << z[2] << "x" << z[3] << ", " << ch
                                       << " channels, mode " << mode;
                ++cases;
            }
    EXPECT_EQ(cases, 14 * 4 * 2);
}

TEST(ResampleExact, KernelsStopWhenAsked) {
    Engine e;
    int calls = 0;
    e.cancel = [&calls] { return ++calls > 1; };
    const int sw = 64, sh = 64, dw = 32, dh = 32;
    auto src = random_bytes(static_cast<std::size_t>(sw) * sh * 4, 5, 0);
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(dw) * dh * 4);
    EXPECT_EQ(detail::resample_exact(e, dst.data(), dw * 4, dw, dh, src.data(), sw * 4, sw, sh, 4), 0);
    EXPECT_GT(calls, 1);
}

// ---- the fixed-point 24-bit resampler ----

namespace {
struct Diff {
    int maxDiff = 0;
    bool identical = true;
};

Diff compare_fast_to_exact(int sw, int sh, int dw, int dh, std::uint32_t seed, int mode) {
    Engine e;
    auto src = random_rgb(sw, sh, seed, mode);
    const int sp = row_pitch(sw, 24), dp = row_pitch(dw, 24);
    std::vector<std::uint8_t> exact(static_cast<std::size_t>(dp) * dh), fast(exact.size()), plain(exact.size());
    EXPECT_EQ(detail::resample_exact(e, exact.data(), dp, dw, dh, src.data(), sp, sw, sh, 3), 1);
    EXPECT_EQ(detail::resample_rgb(e, fast.data(), dp, dw, dh, src.data(), sp, sw, sh), 1);
    {
        ScalarKernels scalar;
        EXPECT_EQ(detail::resample_rgb(e, plain.data(), dp, dw, dh, src.data(), sp, sw, sh), 1);
    }
    Diff d;
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < 3 * dw; ++x) {
            std::size_t i = static_cast<std::size_t>(y) * dp + x;
            d.maxDiff = std::max(d.maxDiff, std::abs(exact[i] - fast[i]));
            if (fast[i] != plain[i]) d.identical = false;
        }
    return d;
}
}  // namespace

TEST(ResampleRgb, ExactThreeChannelsMatchTheColoursOfTheRgbaPath) {
    const int sizes[][4] = {{31, 17, 12, 40}, {40, 30, 20, 15}, {9, 50, 9, 7}};
    for (auto& s : sizes) {
        Engine e;
        auto rgb = random_rgb(s[0], s[1], 5, 0);
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(s[0]) * s[1] * 4);
        const int sp = row_pitch(s[0], 24);
        for (int y = 0; y < s[1]; ++y)
            for (int x = 0; x < s[0]; ++x) {
                for (int c = 0; c < 3; ++c)
                    rgba[(static_cast<std::size_t>(y) * s[0] + x) * 4 + c] = rgb[static_cast<std::size_t>(y) * sp + 3 * x + c];
                rgba[(static_cast<std::size_t>(y) * s[0] + x) * 4 + 3] = static_cast<std::uint8_t>(x * 11 + y);
            }
        const int dp = row_pitch(s[2], 24);
        std::vector<std::uint8_t> three(static_cast<std::size_t>(dp) * s[3]);
        ASSERT_EQ(detail::resample_exact(e, three.data(), dp, s[2], s[3], rgb.data(), sp, s[0], s[1], 3), 1);
        auto four = resample4(rgba, s[0], s[1], s[2], s[3]);
        for (int y = 0; y < s[3]; ++y)
            for (int x = 0; x < s[2]; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(three[static_cast<std::size_t>(y) * dp + 3 * x + c],
                              four[(static_cast<std::size_t>(y) * s[2] + x) * 4 + c]);
    }
}

TEST(ResampleRgb, WithinOneOfTheExactResampler) {
    const int sizes[][4] = {
        {4000 / 10, 3000 / 10, 200, 150},  // half
        {300, 200, 200, 133},              // two thirds
        {97, 61, 193, 122},                // doubling
        {64, 48, 517, 390},                // large enlargement
        {250, 180, 31, 22},                // an eighth
        {511, 7, 23, 3},                   // strong shrink
        {1, 1, 17, 5},   {1, 40, 1, 13},  {40, 1, 7, 1},  {33, 21, 1, 1},
        {23, 19, 23, 19},                  // same size still filters
        {120, 3, 5, 90},                   // shrink one way, enlarge the other
        {3, 120, 90, 5},   {17, 13, 16, 14},  {1000, 2, 3, 2},   {2, 700, 2, 9},
    };
    int fixedRuns = 0;
    for (auto& s : sizes)
        for (int mode = 0; mode < 3; ++mode) {
            SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3] << " mode "
                                            << mode);
            Diff d = compare_fast_to_exact(s[0], s[1], s[2], s[3], 1234u + static_cast<std::uint32_t>(mode), mode);
            EXPECT_LE(d.maxDiff, 1);
            EXPECT_TRUE(d.identical) << "SIMD and portable kernels disagree";
            if (!detail::fixed_point_falls_back(s[0], s[1], s[2], s[3])) ++fixedRuns;
        }
    EXPECT_GE(fixedRuns, 40);  // most of these went through fixed point
}

TEST(ResampleRgb, RandomSizesStayWithinOne) {
    std::uint32_t s = 77;
    for (int n = 0; n < 60; ++n) {
        int sw = 1 + static_cast<int>(next_random(s) % 90), sh = 1 + static_cast<int>(next_random(s) % 90);
        int dw = 1 + static_cast<int>(next_random(s) % 90), dh = 1 + static_cast<int>(next_random(s) % 90);
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << dw << "x" << dh);
        Diff d = compare_fast_to_exact(sw, sh, dw, dh, s, n % 3);
        EXPECT_LE(d.maxDiff, 1);
        EXPECT_TRUE(d.identical);
    }
}

TEST(ResampleRgb, ErrorsAreRoundingNotBias) {
    // Within 1 is not enough on its own: a path that truncated instead of
    // rounding would also stay within 1, but always on one side.
    const int sizes[][4] = {{400, 300, 200, 150}, {300, 200, 200, 133}, {97, 61, 193, 122}, {250, 180, 31, 22}};
    for (auto& z : sizes) {
        SCOPED_TRACE(testing::Message() << z[0] << "x" << z[1] << " -> " << z[2] << "x" << z[3]);
        Engine e;
        auto src = random_rgb(z[0], z[1], 5, 0);
        const int sp = row_pitch(z[0], 24), dp = row_pitch(z[2], 24);
        std::vector<std::uint8_t> exact(static_cast<std::size_t>(dp) * z[3]), fast(exact.size());
        ASSERT_EQ(detail::resample_exact(e, exact.data(), dp, z[2], z[3], src.data(), sp, z[0], z[1], 3), 1);
        ASSERT_EQ(detail::resample_rgb(e, fast.data(), dp, z[2], z[3], src.data(), sp, z[0], z[1]), 1);
        long n = 0, differ = 0, sum = 0;
        for (int y = 0; y < z[3]; ++y)
            for (int x = 0; x < 3 * z[2]; ++x) {
                const int d = fast[static_cast<std::size_t>(y) * dp + x] - exact[static_cast<std::size_t>(y) * dp + x];
                ++n;
                differ += d != 0;
                sum += d;
            }
        EXPECT_LT(static_cast<double>(differ) / n, 0.3);
        EXPECT_LT(std::fabs(static_cast<double>(sum) / n), 0.02);
    }
}

TEST(ResampleRgb, WorkedExamplesOnThreeChannels) {
    Engine e;
    struct Case {
        std::vector<int> in, out;
    } cases[] = {{{0, 255}, {0, 63, 192, 255}}, {{0, 255, 0, 255}, {108, 147}}, {{10, 20, 30, 40, 50, 60, 70, 80}, {20, 45, 70}}};
    for (const Case& c : cases) {
        const int sw = static_cast<int>(c.in.size()), dw = static_cast<int>(c.out.size());
        std::vector<std::uint8_t> src(static_cast<std::size_t>(row_pitch(sw, 24))), dst(static_cast<std::size_t>(row_pitch(dw, 24)));
        for (int x = 0; x < sw; ++x) src[3 * x] = src[3 * x + 1] = src[3 * x + 2] = static_cast<std::uint8_t>(c.in[x]);
        ASSERT_EQ(detail::resample_rgb(e, dst.data(), row_pitch(dw, 24), dw, 1, src.data(), row_pitch(sw, 24), sw, 1), 1);
        for (int x = 0; x < dw; ++x)
            for (int k = 0; k < 3; ++k) EXPECT_EQ(dst[3 * x + k], c.out[x]) << x;
    }
}

TEST(ResampleRgb, CommonRatiosUseFixedPoint) {
    EXPECT_FALSE(detail::fixed_point_falls_back(4000, 3000, 2000, 1500));
    EXPECT_FALSE(detail::fixed_point_falls_back(4000, 3000, 2667, 2000));
    EXPECT_FALSE(detail::fixed_point_falls_back(4000, 3000, 500, 375));
    EXPECT_FALSE(detail::fixed_point_falls_back(640, 480, 1280, 960));
    EXPECT_FALSE(detail::fixed_point_falls_back(4000, 3000, 400, 300));
}

TEST(ResampleRgb, ExtremeShrinkFallsBackAndMatchesExactly) {
    // Thousands of taps per output in the second pass, whose input has
    // fraction bits: fixed point would not stay within 1.
    ASSERT_TRUE(detail::fixed_point_falls_back(1500, 1500, 1, 1));
    Diff d = compare_fast_to_exact(1500, 1500, 1, 1, 9, 0);
    EXPECT_EQ(d.maxDiff, 0);
    // A first pass that strong still fits fixed point and stays within 1.
    ASSERT_FALSE(detail::fixed_point_falls_back(3000, 4, 1, 2));
    d = compare_fast_to_exact(3000, 4, 1, 2, 9, 0);
    EXPECT_LE(d.maxDiff, 1);
}

TEST(ResampleRgb, PaddingBytesOfTheDestinationAreLeftAlone) {
    Engine e;
    auto src = random_rgb(10, 6, 3, 0);
    const int dw = 5, dh = 3, dp = row_pitch(dw, 24);  // 15 bytes used of 16
    std::vector<std::uint8_t> dst(static_cast<std::size_t>(dp) * dh, 0xAB);
    ASSERT_EQ(detail::resample_rgb(e, dst.data(), dp, dw, dh, src.data(), row_pitch(10, 24), 10, 6), 1);
    for (int y = 0; y < dh; ++y) EXPECT_EQ(dst[static_cast<std::size_t>(y) * dp + 15], 0xAB);
}

// ---- image_resize ----

TEST(ImageResize, ReplacesPixelsKeepsHandleAndMetadata) {
    Engine e;
    ImageHandle h = make_image(e, 40, 30, 24, 1);
    ASSERT_NE(h, NoImage);
    Image* im = detail::lookup(e, h);
    im->exif = {1, 2, 3};
    im->icc = {9};
    im->source_depth = 8;
    const int dp = row_pitch(20, 24);
    std::vector<std::uint8_t> ref(static_cast<std::size_t>(dp) * 15);
    ASSERT_EQ(detail::resample_rgb(e, ref.data(), dp, 20, 15, im->pixels, row_pitch(40, 24), 40, 30), 1);
    ASSERT_NE(image_resize(e, h, 20, 15), 0);
    im = detail::lookup(e, h);
    EXPECT_EQ(image_width(e, h), 20);
    EXPECT_EQ(image_height(e, h), 15);
    EXPECT_EQ(im->depth, 24);
    EXPECT_EQ(im->source_depth, 8);
    EXPECT_EQ(im->size, static_cast<std::size_t>(dp) * 15);
    EXPECT_EQ(im->exif, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(im->icc, (std::vector<std::uint8_t>{9}));
    EXPECT_EQ(std::memcmp(im->pixels, ref.data(), ref.size()), 0);
}

TEST(ImageResize, ThirtyTwoBitGoesThroughTheExactResampler) {
    Engine e;
    ImageHandle h = make_image(e, 21, 13, 32, 4, true);
    const Image* im = image_get(e, h);
    std::vector<std::uint8_t> src(im->pixels, im->pixels + im->size);
    auto ref = resample4(src, 21, 13, 8, 30);
    ASSERT_NE(image_resize(e, h, 8, 30), 0);
    im = image_get(e, h);
    EXPECT_EQ(im->depth, 32);
    ASSERT_EQ(im->size, ref.size());
    EXPECT_EQ(std::memcmp(im->pixels, ref.data(), ref.size()), 0);
    for (std::size_t i = 3; i < im->size; i += 4) ASSERT_EQ(im->pixels[i], 255);
}

TEST(ImageResize, SameSizeChangesNothing) {
    Engine e;
    ImageHandle h = make_image(e, 17, 9, 24, 2);
    Snapshot before = snap(e, h);
    EXPECT_NE(image_resize(e, h, 17, 9), 0);
    expect_unchanged(e, h, before);
    EXPECT_NE(image_resize(e, h, 17, 9, 1), 0);
    expect_unchanged(e, h, before);
}

TEST(ImageResize, BadRequestsFailAndLeaveTheImageAlone) {
    Engine e;
    ImageHandle h24 = make_image(e, 12, 8, 24, 3);
    ImageHandle h32 = make_image(e, 12, 8, 32, 3);
    for (ImageHandle h : {h24, h32}) {
        Snapshot before = snap(e, h);
        EXPECT_EQ(image_resize(e, h, 0, 0), 0);
        EXPECT_EQ(image_resize(e, h, 0, 8), 0);
        EXPECT_EQ(image_resize(e, h, 12, -3), 0);
        EXPECT_EQ(image_resize(e, h, 40000, 8), 0);
        EXPECT_EQ(image_resize(e, h, 6, 40000), 0);
        EXPECT_EQ(image_resize(e, h, 32768, 32768, 1), 0);
        expect_unchanged(e, h, before);
    }
    EXPECT_EQ(image_resize(e, 0, 5, 5), 0);
    EXPECT_EQ(image_resize(e, 99, 5, 5), 0);
    EXPECT_EQ(image_resize(e, -1, 5, 5), 0);
    image_free(e, h24);
    EXPECT_EQ(image_resize(e, h24, 5, 5), 0);  // freed handle
}

TEST(ImageResize, NoMemoryForTheNewPictureLeavesItAlone) {
    Engine e;
    ImageHandle h = make_image(e, 64, 64, 24, 8);
    ImageHandle g = make_image(e, 64, 64, 32, 8);
    ASSERT_NE(g, NoImage);
    Snapshot before = snap(e, h);
    e.maxPixelBytes = 64 * 64 * 3;  // the picture fits, a bigger one does not
    EXPECT_EQ(image_resize(e, h, 200, 200), 0);
    expect_unchanged(e, h, before);
    before = snap(e, g);
    e.maxPixelBytes = 64 * 64 * 4;
    EXPECT_EQ(image_resize(e, g, 65, 64), 0);
    expect_unchanged(e, g, before);
}

TEST(ImageResize, SixteenBitBecomesTwentyFourBit) {
    Engine e;
    const int w = 9, hgt = 6;
    Image* im = detail::create_image(e, w, hgt, 16);
    ASSERT_NE(im, nullptr);
    const int pitch = row_pitch(w, 16);
    std::uint32_t s = 11;
    for (int y = 0; y < hgt; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint16_t v = static_cast<std::uint16_t>(next_random(s) & 0x7FFF);
            std::memcpy(im->pixels + static_cast<std::size_t>(y) * pitch + 2 * x, &v, 2);
        }
    im->source_depth = 16;
    Image* wide = detail::convert16_to_24(e, *im);
    ASSERT_NE(wide, nullptr);
    const int dp = row_pitch(4, 24);
    std::vector<std::uint8_t> ref(static_cast<std::size_t>(dp) * 11);
    ASSERT_EQ(detail::resample_rgb(e, ref.data(), dp, 4, 11, wide->pixels, row_pitch(w, 24), w, hgt), 1);
    detail::destroy_image(wide);
    ImageHandle h = detail::add_to_table(e, im);
    ASSERT_NE(image_resize(e, h, 4, 11), 0);
    const Image* out = image_get(e, h);
    EXPECT_EQ(out->depth, 24);
    EXPECT_EQ(out->source_depth, 16);
    ASSERT_EQ(out->size, ref.size());
    EXPECT_EQ(std::memcmp(out->pixels, ref.data(), ref.size()), 0);
}

TEST(ImageResize, LargestDimensionsWork) {
    for (int depth : {24, 32}) {
        Engine e;
        ImageHandle h = make_image(e, 1, 1, depth, 31, true);
        std::vector<std::uint8_t> px(image_get(e, h)->pixels, image_get(e, h)->pixels + depth / 8);
        ASSERT_NE(image_resize(e, h, MaxDimension, 1), 0);
        EXPECT_EQ(image_width(e, h), MaxDimension);
        const Image* im = image_get(e, h);
        // One pixel spread over the row keeps its value everywhere.
        for (int x = 0; x < MaxDimension; x += 997)
            ASSERT_EQ(std::memcmp(im->pixels + static_cast<std::size_t>(x) * (depth / 8), px.data(), px.size()), 0);
        ASSERT_NE(image_resize(e, h, 3, MaxDimension), 0);
        EXPECT_EQ(image_height(e, h), MaxDimension);
        ASSERT_NE(image_resize(e, h, 2, 2), 0);
        EXPECT_EQ(image_width(e, h), 2);
    }
}

TEST(ImageResize, RawModeTakesTheNearestPixel) {
    Engine e;
    // 2x2 to 4x4 doubles every pixel; 32-bit keeps alpha as it is.
    ImageHandle h = make_image(e, 2, 2, 32, 21);
    const Image* im = image_get(e, h);
    std::vector<std::uint8_t> src(im->pixels, im->pixels + im->size);
    ASSERT_NE(image_resize(e, h, 4, 4, 1), 0);
    im = image_get(e, h);
    EXPECT_EQ(im->depth, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(std::memcmp(im->pixels + (y * 4 + x) * 4, src.data() + ((y / 2) * 2 + x / 2) * 4, 4), 0);
    // 9x6 to 3x2 at 24 bits takes the middle pixel of each 3x3 block.
    ImageHandle g = make_image(e, 9, 6, 24, 22);
    im = image_get(e, g);
    const int sp = row_pitch(9, 24);
    src.assign(im->pixels, im->pixels + im->size);
    ASSERT_NE(image_resize(e, g, 3, 2, 1), 0);
    im = image_get(e, g);
    const int dp = row_pitch(3, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(std::memcmp(im->pixels + y * dp + x * 3, src.data() + (3 * y + 1) * sp + (3 * x + 1) * 3, 3),
                      0);
}

TEST(ImageResize, CancelMidwayLeavesTheImageUnchanged) {
    // 150x100 runs the horizontal pass first, 290x20 the vertical one.
    const int targets[][2] = {{150, 100}, {290, 20}};
    for (auto& t : targets)
        for (int depth : {24, 32, 16}) {
            for (int mode : {0, 1}) {
                SCOPED_TRACE(testing::Message() << depth << " bits, mode " << mode << ", to " << t[0] << "x" << t[1]);
                Engine e;
                ImageHandle h = make_image(e, 300, 200, depth, 5);
                Snapshot before = snap(e, h);
                int calls = 0;
                e.cancel = [&calls] { return ++calls >= 3; };
                EXPECT_EQ(image_resize(e, h, t[0], t[1], mode), 0);
                EXPECT_GE(calls, 3);  // stopped inside the passes, not before
                expect_unchanged(e, h, before);
                // The same resize goes through once nobody asks to stop.
                e.cancel = nullptr;
                EXPECT_NE(image_resize(e, h, t[0], t[1], mode), 0);
                EXPECT_EQ(image_width(e, h), t[0]);
            }
        }
}

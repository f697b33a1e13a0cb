// Palette quantiser: palette size, index range and packing, mapping that
// depends on the pixel alone, transparency, determinism, and the search
// structures the index lookup relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "imaging/image.h"
#include "imaging/quantizer.h"
#include "scalar_kernels.h"
#include "test_pic.h"

using namespace tv::img;

namespace {

using tvtest::Pic;

std::uint32_t rng(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

// A picture of smooth gradients plus noise, so many colours compete.
Pic gradient(int w, int h, int depth, std::uint32_t seed = 7) {
    Pic p = tvtest::blank_pic(w, h, depth, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* q = p.at(x, y);
            q[0] = static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
            q[1] = static_cast<std::uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
            q[2] = static_cast<std::uint8_t>(rng(seed));
            if (depth == 32) q[3] = static_cast<std::uint8_t>(rng(seed));
        }
    return p;
}

// A picture made of a few colours repeated at random places.
Pic few_colours(int w, int h, int depth, const std::vector<std::array<std::uint8_t, 4>>& colours,
                std::uint32_t seed = 3) {
    Pic p = tvtest::blank_pic(w, h, depth, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto& c = colours[rng(seed) % colours.size()];
            std::memcpy(p.at(x, y), c.data(), depth / 8);
        }
    return p;
}

PaletteQuantizer* build(const Pic& p, int depth) {
    return quantizer_build(p.px.data(), p.w, p.h, p.depth, p.pitch, depth, 7);
}

// Unpacks index x of a packed row: first pixel in the most significant bits.
int unpack(const std::uint8_t* row, int x, int depth) {
    int perByte = 8 / depth;
    int byte = row[x / perByte];
    int shift = 8 - depth * (x % perByte + 1);
    return (byte >> shift) & ((1 << depth) - 1);
}

const std::uint8_t* working(const PaletteQuantizer& q, int x, int y) {
    return q.pixels + (static_cast<std::size_t>(y) * q.width + x) * 4;
}

}  // namespace

TEST(Quantizer, RefusesWhatItCannotMap) {
    Pic p = gradient(8, 8, 24);
    for (int d : {0, 3, 5, 6, 7, 9, 16}) EXPECT_EQ(build(p, d), nullptr) << "depth " << d;
    EXPECT_EQ(quantizer_build(p.px.data(), 8, 8, 16, p.pitch, 8, 7), nullptr);
    EXPECT_EQ(quantizer_build(p.px.data(), 0, 8, 24, p.pitch, 8, 7), nullptr);
    EXPECT_EQ(quantizer_build(p.px.data(), 8, 0, 24, p.pitch, 8, 7), nullptr);
    EXPECT_EQ(quantizer_build(nullptr, 8, 8, 24, p.pitch, 8, 7), nullptr);
    EXPECT_EQ(quantizer_build(p.px.data(), 8, 8, 24, 8, 8, 7), nullptr);  // pitch shorter than a row
}

TEST(Quantizer, GammaTableMapsLinearBytesIntoGammaSpace) {
    Pic p = gradient(4, 4, 24);
    PaletteQuantizer* q = build(p, 8);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->biasvalues[0], 0.0);
    EXPECT_EQ(q->biasvalues[255], 255.0);
    // 255 * (128/255)^(1/1.8) = 173.9 -> 174; 255 * (1/255)^(1/1.8) = 11.5 -> 12
    EXPECT_EQ(q->biasvalues[128], 174.0);
    EXPECT_EQ(q->biasvalues[1], 12.0);
    for (int v = 1; v < 256; ++v) EXPECT_GE(q->biasvalues[v], q->biasvalues[v - 1]);
    quantizer_release(q);
}

TEST(Quantizer, PaletteSizeIsTwoToTheDepthAndIndicesStayBelowIt) {
    Pic p24 = gradient(61, 37, 24);
    Pic p32 = gradient(61, 37, 32);
    for (Pic* p : {&p24, &p32}) {
        for (int d : {1, 2, 4, 8}) {
            PaletteQuantizer* q = build(*p, d);
            ASSERT_NE(q, nullptr);
            EXPECT_EQ(q->N, 1u << d);
            std::vector<int> seen(256, 0);
            for (int y = 0; y < p->h; ++y) {
                const std::uint8_t* row = quantizer_index_row(*q, y);
                for (int x = 0; x < p->w; ++x) {
                    int idx = unpack(row, x, d);
                    ASSERT_LT(idx, 1 << d);
                    ++seen[idx];
                }
            }
            if (d == 1) {
                EXPECT_GT(seen[0] + seen[1], 0);
            }
            for (int i = 0; i < 256; ++i) {
                EXPECT_LT(quantizer_index(*q, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                          static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i)),
                          1 << d);
            }
            quantizer_release(q);
        }
    }
}

TEST(Quantizer, RowsArePackedFirstPixelHighAndPaddedWithZero) {
    // 33 pixels: at 1 bit the fifth byte holds one pixel in its top bit.
    Pic p = gradient(33, 5, 24);
    for (int d : {1, 2, 4, 8}) {
        PaletteQuantizer* q = build(p, d);
        ASSERT_NE(q, nullptr);
        const std::size_t meaningful = (33 * d + 7) / 8;
        for (int y = 0; y < p.h; ++y) {
            const std::uint8_t* row = quantizer_index_row(*q, y);
            for (int x = 0; x < p.w; ++x) {
                const std::uint8_t* w = working(*q, x, y);
                ASSERT_EQ(unpack(row, x, d), quantizer_index(*q, w[0], w[1], w[2], w[3]))
                    << "depth " << d << " x " << x << " y " << y;
            }
            // Bits after the last pixel and bytes after the row are zero, so
            // the files written are the same from run to run.
            int usedBits = (33 * d) % 8;
            if (usedBits) {
                EXPECT_EQ(row[meaningful - 1] & ((1 << (8 - usedBits)) - 1), 0);
            }
            for (std::size_t k = meaningful; k < 33 + 8; ++k) EXPECT_EQ(row[k], 0) << k;
        }
        quantizer_release(q);
    }
}

TEST(Quantizer, EqualPixelsGetEqualIndices) {
    std::vector<std::array<std::uint8_t, 4>> colours;
    std::uint32_t s = 11;
    for (int i = 0; i < 40; ++i)
        colours.push_back({static_cast<std::uint8_t>(rng(s)), static_cast<std::uint8_t>(rng(s)),
                           static_cast<std::uint8_t>(rng(s)), static_cast<std::uint8_t>(rng(s))});
    for (int depth : {24, 32}) {
        Pic p = few_colours(70, 50, depth, colours);
        for (int d : {2, 4, 8}) {
            PaletteQuantizer* q = build(p, d);
            ASSERT_NE(q, nullptr);
            std::map<std::uint32_t, int> first;
            for (int y = 0; y < p.h; ++y) {
                const std::uint8_t* row = quantizer_index_row(*q, y);
                for (int x = 0; x < p.w; ++x) {
                    std::uint32_t key;
                    std::memcpy(&key, working(*q, x, y), 4);
                    int idx = unpack(row, x, d);
                    auto [it, fresh] = first.emplace(key, idx);
                    if (!fresh) {
                        ASSERT_EQ(it->second, idx);
                    }
                }
            }
            quantizer_release(q);
        }
    }
}

TEST(Quantizer, TwentyFourBitPicturesAreLearntOpaque) {
    Pic p = gradient(19, 7, 24);
    std::fill(p.px.begin(), p.px.end(), std::uint8_t{0});  // padding and pixels zero: black
    PaletteQuantizer* q = build(p, 4);
    ASSERT_NE(q, nullptr);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) ASSERT_EQ(working(*q, x, y)[3], 255);
    // A black opaque picture: the colour of the chosen entry is black,
    // because colour counts in full when alpha is 255.
    int idx = quantizer_index(*q, 0, 0, 0, 255);
    EXPECT_LE(q->palette[idx][0] + q->palette[idx][1] + q->palette[idx][2], 3);
    quantizer_release(q);
}

TEST(Quantizer, ThirtyTwoBitMemoryIsUsedDirectly) {
    Pic p = gradient(16, 16, 32);
    PaletteQuantizer* q = build(p, 8);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->pixels, p.px.data());
    quantizer_release(q);
}

TEST(Quantizer, FullyTransparentPixelIsMatchedOnAlphaAlone) {
    Pic p = gradient(40, 40, 32);
    // A quarter of the picture fully transparent, of assorted colours.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) p.at(x, y)[3] = 0;
    for (int d : {1, 4, 8}) {
        PaletteQuantizer* q = build(p, d);
        ASSERT_NE(q, nullptr);
        int minAlpha = 256;
        for (std::uint32_t i = 0; i < q->N; ++i) minAlpha = std::min<int>(minAlpha, q->searchMap[i][3]);
        int a = quantizer_index(*q, 0, 0, 0, 0);
        int b = quantizer_index(*q, 255, 10, 200, 0);
        int c = quantizer_index(*q, 17, 255, 255, 0);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a, c);
        EXPECT_EQ(q->searchMap[a][3], minAlpha);
        quantizer_release(q);
    }
}

TEST(Quantizer, SameInputGivesSamePaletteAndIndices) {
    Pic p = gradient(300, 200, 24, 99);
    PaletteQuantizer* a = build(p, 8);
    PaletteQuantizer* b = build(p, 8);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::memcmp(a->palette, b->palette, sizeof a->palette), 0);
    EXPECT_EQ(std::memcmp(a->network, b->network, sizeof a->network), 0);
    for (int y = 0; y < p.h; ++y) {
        std::vector<std::uint8_t> ra(quantizer_index_row(*a, y), quantizer_index_row(*a, y) + p.w);
        const std::uint8_t* rb = quantizer_index_row(*b, y);
        ASSERT_EQ(std::memcmp(ra.data(), rb, p.w), 0) << y;
    }
    quantizer_release(a);
    quantizer_release(b);
}

TEST(Quantizer, SearchMapIsSortedOnGreenAndIndexedByIt) {
    Pic p = gradient(128, 96, 32, 5);
    for (int d : {2, 4, 8}) {
        PaletteQuantizer* q = build(p, d);
        ASSERT_NE(q, nullptr);
        const std::uint32_t n = q->N;
        for (std::uint32_t i = 1; i < n; ++i) ASSERT_LE(q->searchMap[i - 1][1], q->searchMap[i][1]);
        for (int g = 0; g < 256; ++g) {
            std::uint32_t k = q->netindex[g];
            ASSERT_LT(k, n);
            bool present = false;
            for (std::uint32_t i = 0; i < n; ++i) present = present || q->searchMap[i][1] == g;
            if (present) {
                EXPECT_EQ(q->searchMap[k][1], g) << "green " << g;
            } else if (g > q->searchMap[0][1] && g < q->searchMap[n - 1][1]) {
                // Between two present values: the first node above.
                EXPECT_GT(q->searchMap[k][1], g);
                EXPECT_LT(q->searchMap[k - 1][1], g);
            }
        }
        // Search entries are the palette entries taken back into gamma space.
        for (std::uint32_t i = 0; i < n; ++i) {
            for (int c = 0; c < 3; ++c) EXPECT_EQ(q->searchMap[i][c], q->biasvalues[q->palette[i][c]]);
            EXPECT_EQ(q->searchMap[i][3], q->palette[i][3]);
        }
        quantizer_release(q);
    }
}

TEST(Quantizer, PaletteColoursMapToAnEntryAtDistanceZero) {
    Pic p = gradient(90, 90, 24, 21);
    PaletteQuantizer* q = build(p, 8);
    ASSERT_NE(q, nullptr);
    for (std::uint32_t i = 0; i < q->N; ++i) {
        const std::uint8_t* e = q->palette[i];
        int j = quantizer_index(*q, e[0], e[1], e[2], e[3]);
        if (e[3] == 0) continue;  // transparent entries match on alpha only
        for (int c = 0; c < 4; ++c) ASSERT_EQ(q->searchMap[j][c], q->searchMap[i][c]) << "entry " << i;
    }
    quantizer_release(q);
}

TEST(Quantizer, FewColoursAreReproduced) {
    // Four well-separated colours on sixteen entries: each pixel's entry is
    // its own colour, give or take the rounding of the gamma round trip.
    std::vector<std::array<std::uint8_t, 4>> colours = {
        {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 255, 255}, {0, 255, 0, 255}};
    Pic p = few_colours(64, 64, 24, colours);
    PaletteQuantizer* q = build(p, 4);
    ASSERT_NE(q, nullptr);
    for (const auto& c : colours) {
        int idx = quantizer_index(*q, c[0], c[1], c[2], 255);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(q->palette[idx][k], c[k], 12) << "channel " << k;
    }
    // And a black and white picture at one bit keeps black apart from white.
    Pic bw = few_colours(50, 50, 24, {{0, 0, 0, 255}, {255, 255, 255, 255}});
    PaletteQuantizer* q1 = build(bw, 1);
    ASSERT_NE(q1, nullptr);
    int black = quantizer_index(*q1, 0, 0, 0, 255), white = quantizer_index(*q1, 255, 255, 255, 255);
    EXPECT_NE(black, white);
    EXPECT_LE(q1->palette[black][1], 12);
    EXPECT_GE(q1->palette[white][1], 243);
    quantizer_release(q);
    quantizer_release(q1);
}

TEST(Quantizer, SinglePixelAndRowOutsideThePicture) {
    Pic p = gradient(1, 1, 24);
    PaletteQuantizer* q = build(p, 8);
    ASSERT_NE(q, nullptr);
    const std::uint8_t* r = quantizer_index_row(*q, 0);
    const std::uint8_t* w = working(*q, 0, 0);
    EXPECT_EQ(r[0], quantizer_index(*q, w[0], w[1], w[2], w[3]));
    const std::uint8_t* out = quantizer_index_row(*q, 5);  // no such row: all zero, no read outside
    for (int k = 0; k < 9; ++k) EXPECT_EQ(out[k], 0);
    quantizer_release(q);
    quantizer_release(nullptr);
}

TEST(Quantizer, OneSampleMovesTheWinnerOntoItAndItsNeighboursByRadius) {
    // A single red pixel is one learning sample on four fresh nodes (grey
    // ramp, alpha 0, 16, 32, 48). Node 0 wins, takes the sample exactly, and
    // nodes 1 to 3 are pulled by the first neighbourhood rates.
    std::uint8_t px[4] = {0, 0, 255, 0};
    PaletteQuantizer* q = quantizer_build(px, 1, 1, 24, 4, 2, 7);
    ASSERT_NE(q, nullptr);
    const double* bv = q->biasvalues;
    const double target[4] = {255.0, 255.0, 0.0, 0.0};  // alpha, red, green, blue in gamma space
    std::vector<std::array<double, 4>> expected;
    expected.push_back({255.0, 255.0, 0.0, 0.0});
    const double rates[4] = {0.0, 255.0 * 1024 / 262144.0, 255.0 * 1024 / 262144.0, 253.0 * 1024 / 262144.0};
    for (int i = 1; i < 4; ++i) {
        double c = bv[i * 64];
        double start[4] = {16.0 * i, c, c, c};
        std::array<double, 4> v{};
        for (int k = 0; k < 4; ++k) v[k] = start[k] - rates[i] * (start[k] - target[k]);
        expected.push_back(v);
    }
    std::vector<std::array<double, 4>> got;
    for (int i = 0; i < 4; ++i) got.push_back({q->network[i][0], q->network[i][1], q->network[i][2], q->network[i][3]});
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(got[i][k], expected[i][k]) << i << "," << k;
    // Frequencies and biases stay with node numbers (the sort moves colours only).
    EXPECT_DOUBLE_EQ(q->bias[0], 0.25 - 1.0);
    EXPECT_DOUBLE_EQ(q->freq[0], 0.25 - 0.25 / 1024 + 1.0 / 1024);
    for (int i = 1; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(q->bias[i], 0.25);
        EXPECT_DOUBLE_EQ(q->freq[i], 0.25 - 0.25 / 1024);
    }
    // The pixel maps to the entry that holds it exactly.
    int idx = quantizer_index(*q, 0, 0, 255, 255);
    EXPECT_EQ(q->palette[idx][0], 0);
    EXPECT_EQ(q->palette[idx][1], 0);
    EXPECT_EQ(q->palette[idx][2], 255);
    EXPECT_EQ(q->palette[idx][3], 255);
    quantizer_release(q);
}

TEST(Quantizer, VectorAndPlainLoopsLearnTheSameNetworkAndIndices) {
    if (!detail::processor_has_avx2()) GTEST_SKIP() << "no AVX2 on this processor: only the plain loops run";
    // Odd sizes and every palette size (2 nodes leave the vector loops
    // nothing, 16 and 256 whole registers), opaque and translucent.
    for (int pictureDepth : {24, 32})
        for (int depth : {1, 2, 4, 8}) {
            const Pic p = gradient(97, 61, pictureDepth, 11u + static_cast<std::uint32_t>(depth));
            PaletteQuantizer* q[2];
            for (int scalar = 0; scalar < 2; ++scalar) {
                tvtest::ScalarKernels use(scalar != 0);
                q[scalar] = build(p, depth);
                ASSERT_NE(q[scalar], nullptr);
            }
            EXPECT_EQ(std::memcmp(q[0]->network, q[1]->network, sizeof q[0]->network), 0) << pictureDepth << " " << depth;
            EXPECT_EQ(std::memcmp(q[0]->palette, q[1]->palette, sizeof q[0]->palette), 0) << pictureDepth << " " << depth;
            for (int y = 0; y < p.h; ++y) {
                const std::vector<std::uint8_t> row(quantizer_index_row(*q[0], y), quantizer_index_row(*q[0], y) + p.w);
                ASSERT_EQ(std::memcmp(row.data(), quantizer_index_row(*q[1], y), row.size()), 0) << "row " << y;
            }
            quantizer_release(q[0]);
            quantizer_release(q[1]);
        }
}

TEST(Quantizer, LearningAsksTheCancelCheckAndStopsWhereItSaysStop) {
    // 512 x 512 learns from every second pixel: 131072 samples, a check
    // before each 1024th.
    const Pic p = gradient(512, 512, 24);
    Engine e;
    int asked = 0;
    e.cancel = [&asked] {
        ++asked;
        return false;
    };
    PaletteQuantizer* q = quantizer_build(p.px.data(), p.w, p.h, p.depth, p.pitch, 8, 7, &e);
    ASSERT_NE(q, nullptr);
    quantizer_release(q);
    const int checks = asked;
    EXPECT_EQ(checks, 131072 / static_cast<int>(QuantizerCancelEvery));
    for (int n : {1, checks / 2, checks}) {
        asked = 0;
        e.cancel = [&asked, n] { return ++asked >= n; };
        EXPECT_EQ(quantizer_build(p.px.data(), p.w, p.h, p.depth, p.pitch, 8, 7, &e), nullptr) << n;
        EXPECT_EQ(asked, n) << "asked again after the check that said stop";
    }
}

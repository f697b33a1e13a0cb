// Image table, pixel stores and decoding of BMP, PNG and JPEG files.
#include <gtest/gtest.h>

#include <cstring>

#include <zlib.h>

#include "image_test_util.h"
#include "imaging/image.h"

using namespace tv::img;
using namespace tvtest;

namespace {

struct Loaded {
    Engine e;
    ImageHandle h = NoImage;
    const Image* im = nullptr;
    explicit Loaded(const std::string& path) {
        registerCodecs(e);
        h = image_load(e, path);
        im = image_get(e, h);
    }
};

Bytes bgr(const std::uint8_t* p) { return Bytes{p[0], p[1], p[2]}; }

}  // namespace

// ---------------------------------------------------------------- engine

TEST(ImageEngine, RowPitchFollowsTheTable) {
    EXPECT_EQ(row_pitch(33, 1), 8);
    EXPECT_EQ(row_pitch(32, 1), 4);
    EXPECT_EQ(row_pitch(100, 4), 52);
    EXPECT_EQ(row_pitch(9, 4), 8);
    EXPECT_EQ(row_pitch(5, 8), 8);
    EXPECT_EQ(row_pitch(3, 16), 8);
    EXPECT_EQ(row_pitch(3, 15), 8);
    EXPECT_EQ(row_pitch(1, 24), 4);
    EXPECT_EQ(row_pitch(5, 24), 16);
    EXPECT_EQ(row_pitch(3, 32), 12);
    EXPECT_EQ(row_pitch(32767, 32), 131068);
}

TEST(ImageEngine, CreateImageIsZeroFilledAndBounded) {
    Engine e;
    Image* im = detail::create_image(e, 5, 3, 24);
    ASSERT_NE(im, nullptr);
    EXPECT_EQ(im->size, static_cast<std::size_t>(16 * 3));
    for (std::size_t i = 0; i < im->size; ++i) ASSERT_EQ(im->pixels[i], 0);
    detail::destroy_image(im);

    EXPECT_EQ(detail::create_image(e, 0, 5, 24), nullptr);
    EXPECT_EQ(detail::create_image(e, 5, 0, 24), nullptr);
    EXPECT_EQ(detail::create_image(e, -1, 5, 24), nullptr);
    EXPECT_EQ(detail::create_image(e, 32768, 5, 24), nullptr);
    EXPECT_EQ(detail::create_image(e, 5, 32768, 32), nullptr);
    EXPECT_EQ(detail::create_image(e, 5, 5, 8), nullptr);

    e.maxPixelBytes = 1000;
    EXPECT_EQ(detail::pixel_limit(e), 1000u);
    EXPECT_EQ(detail::create_image(e, 16, 16, 32), nullptr);  // 1024 bytes
    im = detail::create_image(e, 15, 16, 32);                   // 960 bytes
    EXPECT_NE(im, nullptr);
    detail::destroy_image(im);
}

TEST(ImageEngine, LimitComesFromTheMachineWhenUnset) {
    Engine e;
    std::size_t limit = detail::pixel_limit(e);
    EXPECT_GT(limit, std::size_t{64} << 20);
    EXPECT_EQ(e.maxPixelBytes, limit);
}

TEST(ImageEngine, HandlesAreReusedAndUnknownHandlesIgnored) {
    Engine e;
    ImageHandle a = detail::add_to_table(e, detail::create_image(e, 2, 2, 24));
    ImageHandle b = detail::add_to_table(e, detail::create_image(e, 3, 4, 24));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(image_width(e, b), 3);
    EXPECT_EQ(image_height(e, b), 4);
    image_free(e, a);
    EXPECT_EQ(image_get(e, a), nullptr);
    EXPECT_EQ(image_width(e, a), 0);
    image_free(e, a);   // twice: ignored
    image_free(e, 99);  // never held
    image_free(e, -3);
    EXPECT_EQ(image_height(e, 0), 0);
    ImageHandle c = detail::add_to_table(e, detail::create_image(e, 7, 7, 32));
    EXPECT_EQ(c, 1);
    EXPECT_EQ(image_width(e, c), 7);
    image_free_all(e);
    EXPECT_EQ(image_get(e, b), nullptr);
    EXPECT_EQ(image_get(e, c), nullptr);
}

TEST(ImageEngine, RegistrationHappensOnceInCallOrder) {
    Engine e;
    registerCodecs(e);
    registerCodecs(e);
    ASSERT_EQ(e.decoders.size(), 2u);
    EXPECT_STREQ(e.decoders[0].name, "JPEG");
    EXPECT_STREQ(e.decoders[1].name, "PNG");
    ASSERT_GE(e.encoders.size(), 1u);
    EXPECT_EQ(e.encoders[0].id, JpegEncoderId);
    EXPECT_NE(e.encoders[0].encode_rgb, nullptr);
    EXPECT_EQ(e.encoders[0].encode_rgba, nullptr);
    int jpegs = 0;
    for (const ImageEncoder& enc : e.encoders) jpegs += enc.id == JpegEncoderId;
    EXPECT_EQ(jpegs, 1);
}

TEST(ImageEngine, Convert16To24ReplicatesHighBits) {
    Engine e;
    Image* src = detail::create_image(e, 3, 1, 16);
    ASSERT_NE(src, nullptr);
    src->source_depth = 16;
    // 5-5-5: full red; blue 16 (10000b); green 1.
    const std::uint16_t px[3] = {0x7C00, static_cast<std::uint16_t>((1 << 5) | 16), 0x7FFF};
    std::memcpy(src->pixels, px, sizeof px);
    Image* out = detail::convert16_to_24(e, *src);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->depth, 24);
    EXPECT_EQ(out->source_depth, 16);
    EXPECT_EQ(bgr(out->pixels), (Bytes{0, 0, 255}));
    EXPECT_EQ(bgr(out->pixels + 3), (Bytes{132, 8, 0}));  // 10000 -> 10000100, 00001 -> 00001000
    EXPECT_EQ(bgr(out->pixels + 6), (Bytes{255, 255, 255}));
    detail::destroy_image(out);

    // 5-6-5 masks: 6-bit green 32 (100000b) -> 10000010.
    src->red_mask = 0xF800;
    src->green_mask = 0x07E0;
    src->blue_mask = 0x001F;
    const std::uint16_t px2[3] = {0xF800, static_cast<std::uint16_t>(32 << 5), 0x001F};
    std::memcpy(src->pixels, px2, sizeof px2);
    out = detail::convert16_to_24(e, *src);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(bgr(out->pixels), (Bytes{0, 0, 255}));
    EXPECT_EQ(bgr(out->pixels + 3), (Bytes{0, 130, 0}));
    EXPECT_EQ(bgr(out->pixels + 6), (Bytes{255, 0, 0}));
    detail::destroy_image(out);
    detail::destroy_image(src);
}

TEST(ImageEngine, MissingOrUnknownFilesFailToLoad) {
    TempDir dir;
    Engine e;
    registerCodecs(e);
    EXPECT_EQ(image_load(e, ""), NoImage);
    EXPECT_EQ(image_load(e, dir.file("absent.jpg")), NoImage);
    EXPECT_EQ(image_load(e, dir.path()), NoImage);  // a folder
    write_file(dir.file("two.jpg"), Bytes{0xFF, 0xD8});
    EXPECT_EQ(image_load(e, dir.file("two.jpg")), NoImage);
    write_file(dir.file("empty.png"), Bytes{});
    EXPECT_EQ(image_load(e, dir.file("empty.png")), NoImage);
    write_file(dir.file("text.bmp"), Bytes{'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(image_load(e, dir.file("text.bmp")), NoImage);
    EXPECT_TRUE(e.table.empty() || e.table[0] == nullptr);
}

// ---------------------------------------------------------------- BMP

namespace {

std::string save_bmp(const TempDir& d, const std::string& name, const BmpSpec& s) {
    std::string p = d.file(name);
    write_file(p, build_bmp(s));
    return p;
}

}  // namespace

TEST(BmpReader, OneBitPaletteConvertsTo24AndKeepsRowsBottomUp) {
    TempDir d;
    BmpSpec s;
    s.width = 33;
    s.height = 2;
    s.bits = 1;
    s.palette = {0x102030, 0xA0B0C0};
    // File row 0 is the bottom row: all index 1. Top row: only pixel 0 and 32.
    s.data = {0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0};
    Loaded l(save_bmp(d, "p1.bmp", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->width, 33);
    EXPECT_EQ(l.im->height, 2);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 1);
    const Bytes one{0xC0, 0xB0, 0xA0}, zero{0x30, 0x20, 0x10};
    // Memory row 0 = bottom row.
    for (int x = 0; x < 33; ++x) EXPECT_EQ(bgr(l.im->pixels + 3 * x), one) << x;
    EXPECT_EQ(bgr(pixel_at(*l.im, 0, 0)), one);
    EXPECT_EQ(bgr(pixel_at(*l.im, 1, 0)), zero);
    EXPECT_EQ(bgr(pixel_at(*l.im, 31, 0)), zero);
    EXPECT_EQ(bgr(pixel_at(*l.im, 32, 0)), one);
}

TEST(BmpReader, FourAndEightBitPalettesWithShortPalettes) {
    TempDir d;
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.bits = 4;
    s.palette = {0x0000FF, 0x00FF00};
    s.colorsUsed = 2;
    s.data = {0x10, 0x50, 0, 0};  // indexes 1, 0, 5 (5 is past the palette)
    Loaded l4(save_bmp(d, "p4.bmp", s));
    ASSERT_NE(l4.im, nullptr);
    EXPECT_EQ(l4.im->source_depth, 4);
    EXPECT_EQ(l4.im->depth, 24);
    EXPECT_EQ(bgr(pixel_at(*l4.im, 0, 0)), (Bytes{0, 255, 0}));
    EXPECT_EQ(bgr(pixel_at(*l4.im, 1, 0)), (Bytes{255, 0, 0}));
    EXPECT_EQ(bgr(pixel_at(*l4.im, 2, 0)), (Bytes{0, 0, 0}));

    s.bits = 8;
    s.palette = {0x112233, 0x445566, 0x778899};
    s.colorsUsed = 3;
    s.data = {2, 0, 200, 0};
    Loaded l8(save_bmp(d, "p8.bmp", s));
    ASSERT_NE(l8.im, nullptr);
    EXPECT_EQ(l8.im->source_depth, 8);
    EXPECT_EQ(l8.im->depth, 24);
    EXPECT_EQ(bgr(pixel_at(*l8.im, 0, 0)), (Bytes{0x99, 0x88, 0x77}));
    EXPECT_EQ(bgr(pixel_at(*l8.im, 1, 0)), (Bytes{0x33, 0x22, 0x11}));
    EXPECT_EQ(bgr(pixel_at(*l8.im, 2, 0)), (Bytes{0, 0, 0}));
}

TEST(BmpReader, SixteenBitsAreKeptWithTheirMasks) {
    TempDir d;
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bits = 16;
    s.data = {0x00, 0x7C, 0x1F, 0x00};  // 5-5-5 red, blue
    Loaded l(save_bmp(d, "555.bmp", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 16);
    EXPECT_EQ(l.im->source_depth, 16);
    EXPECT_EQ(l.im->red_mask, 0x7C00u);
    EXPECT_EQ(l.im->green_mask, 0x03E0u);
    EXPECT_EQ(l.im->blue_mask, 0x001Fu);
    EXPECT_EQ(l.im->pixels[1], 0x7C);
    EXPECT_EQ(l.im->pixels[2], 0x1F);

    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    s.data = {0xE0, 0x07, 0x00, 0xF8};  // green, red
    Loaded l565(save_bmp(d, "565.bmp", s));
    ASSERT_NE(l565.im, nullptr);
    EXPECT_EQ(l565.im->depth, 16);
    EXPECT_EQ(l565.im->red_mask, 0xF800u);
    EXPECT_EQ(l565.im->green_mask, 0x07E0u);
    Image* wide = detail::convert16_to_24(l565.e, *l565.im);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(bgr(wide->pixels), (Bytes{0, 255, 0}));
    EXPECT_EQ(bgr(wide->pixels + 3), (Bytes{0, 0, 255}));
    detail::destroy_image(wide);
}

TEST(BmpReader, TwentyFourBitsTopDownAndBottomUpAgree) {
    TempDir d;
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bits = 24;
    Bytes bottom{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0};
    Bytes top{11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    s.data = bottom;
    s.data.insert(s.data.end(), top.begin(), top.end());
    Loaded up(save_bmp(d, "up.bmp", s));
    s.height = -2;
    s.data = top;
    s.data.insert(s.data.end(), bottom.begin(), bottom.end());
    Loaded down(save_bmp(d, "down.bmp", s));
    ASSERT_NE(up.im, nullptr);
    ASSERT_NE(down.im, nullptr);
    EXPECT_EQ(up.im->depth, 24);
    EXPECT_EQ(up.im->source_depth, 24);
    EXPECT_EQ(down.im->height, 2);
    ASSERT_EQ(up.im->size, down.im->size);
    EXPECT_EQ(0, std::memcmp(up.im->pixels, down.im->pixels, up.im->size));
    EXPECT_EQ(bgr(pixel_at(*up.im, 1, 0)), (Bytes{14, 15, 16}));
    EXPECT_EQ(bgr(up.im->pixels), (Bytes{1, 2, 3}));
}

TEST(BmpReader, ThirtyTwoBitsDropTheFourthByteAndHonourBitFields) {
    TempDir d;
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bits = 32;
    s.data = {10, 20, 30, 99};
    Loaded plain(save_bmp(d, "32.bmp", s));
    ASSERT_NE(plain.im, nullptr);
    EXPECT_EQ(plain.im->depth, 24);
    EXPECT_EQ(plain.im->source_depth, 32);
    EXPECT_EQ(bgr(plain.im->pixels), (Bytes{10, 20, 30}));

    // Red in the low byte, blue in the third: R,G,B,X order in memory.
    s.compression = 3;
    s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    Loaded fields(save_bmp(d, "32bf.bmp", s));
    ASSERT_NE(fields.im, nullptr);
    EXPECT_EQ(bgr(fields.im->pixels), (Bytes{30, 20, 10}));

    // Same masks inside a V5 header.
    s.headerSize = 124;
    Loaded v5(save_bmp(d, "32v5.bmp", s));
    ASSERT_NE(v5.im, nullptr);
    EXPECT_EQ(bgr(v5.im->pixels), (Bytes{30, 20, 10}));
}

TEST(BmpReader, AlphaBitFieldsAreReadLikeBitFields) {
    TempDir d;
    BmpSpec s;
    s.bits = 32;
    s.compression = 6;
    s.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};  // X,R,G,B... alpha in the low byte
    s.data = {0x80, 30, 20, 10};
    Loaded l(save_bmp(d, "abf.bmp", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 32);
    EXPECT_EQ(bgr(l.im->pixels), (Bytes{10, 20, 30}));
}

TEST(BmpReader, CoreAndLongerHeaders) {
    TempDir d;
    BmpSpec s;
    s.headerSize = 12;
    s.width = 2;
    s.height = 1;
    s.bits = 8;
    s.palette.assign(256, 0);
    s.palette[1] = 0x00FF80;
    s.data = {1, 0, 0, 0};
    Loaded core(save_bmp(d, "os2.bmp", s));
    ASSERT_NE(core.im, nullptr);
    EXPECT_EQ(core.im->source_depth, 8);
    EXPECT_EQ(bgr(core.im->pixels), (Bytes{0x80, 0xFF, 0x00}));
    EXPECT_EQ(bgr(core.im->pixels + 3), (Bytes{0, 0, 0}));

    for (std::uint32_t hs : {52u, 56u, 108u, 124u}) {
        BmpSpec v;
        v.headerSize = hs;
        v.width = 1;
        v.height = 1;
        v.bits = 24;
        v.data = {7, 8, 9, 0};
        Loaded l(save_bmp(d, "v.bmp", v));
        ASSERT_NE(l.im, nullptr) << hs;
        EXPECT_EQ(bgr(l.im->pixels), (Bytes{7, 8, 9})) << hs;
    }
    BmpSpec bad;
    bad.headerSize = 41;
    bad.data = {1, 2, 3, 0};
    Loaded l(save_bmp(d, "bad.bmp", bad));
    EXPECT_EQ(l.h, NoImage);
}

TEST(BmpReader, Rle8RunsAbsoluteDeltaAndEnds) {
    TempDir d;
    BmpSpec s;
    s.width = 6;
    s.height = 3;
    s.bits = 8;
    s.compression = 1;
    s.palette = {0x000010, 0x0000FF, 0x00FF00, 0xFF0000};
    s.data = {
        3, 1,              // bottom row: 3 x index 1
        0, 3, 2, 3, 2, 0,  // absolute: 2,3,2 then a pad byte
        0, 0,              // end of line
        0, 2, 1, 1,        // delta: right 1, up 1 -> (1, 2)
        2, 3,              // two x index 3 at x = 1, 2 of the top row
        0, 1,              // end of bitmap
    };
    Loaded l(save_bmp(d, "rle8.bmp", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 8);
    const Bytes c0{0x10, 0, 0}, c1{0xFF, 0, 0}, c2{0, 0xFF, 0}, c3{0, 0, 0xFF};
    const Bytes bottom[6] = {c1, c1, c1, c2, c3, c2};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(bgr(pixel_at(*l.im, x, 2)), bottom[x]) << x;
    // The middle row was skipped entirely: palette entry 0.
    for (int x = 0; x < 6; ++x) EXPECT_EQ(bgr(pixel_at(*l.im, x, 1)), c0) << x;
    const Bytes top[6] = {c0, c3, c3, c0, c0, c0};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(bgr(pixel_at(*l.im, x, 0)), top[x]) << x;
}

TEST(BmpReader, Rle4RunsAndOddAbsoluteRuns) {
    TempDir d;
    BmpSpec s;
    s.width = 5;
    s.height = 1;
    s.bits = 4;
    s.compression = 2;
    s.palette = {0x000000, 0x0000FF, 0x00FF00};
    s.data = {2, 0x12, 0, 3, 0x21, 0x20, 0, 1};  // 1,2 then absolute 2,1,2 (two bytes, already even)
    Loaded l(save_bmp(d, "rle4.bmp", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->source_depth, 4);
    const Bytes c1{0xFF, 0, 0}, c2{0, 0xFF, 0};
    const Bytes row[5] = {c1, c2, c2, c1, c2};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bgr(pixel_at(*l.im, x, 0)), row[x]) << x;
}

TEST(BmpReader, HostileRleStaysInsideThePicture) {
    TempDir d;
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.bits = 8;
    s.compression = 1;
    s.palette = {0x000000, 0xFFFFFF};
    s.data = {255, 1, 0, 2, 200, 200, 255, 1, 0, 255, 1};  // long runs, wild delta, cut absolute run
    Loaded l(save_bmp(d, "wild.bmp", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(bgr(pixel_at(*l.im, 0, 1)), (Bytes{255, 255, 255}));
    s.height = -2;  // top-down RLE does not exist
    Loaded td(save_bmp(d, "td.bmp", s));
    EXPECT_EQ(td.h, NoImage);
}

TEST(BmpReader, CutFilesLoadWhatTheyHold) {
    TempDir d;
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.bits = 24;
    s.data = {1, 2, 3, 4, 5, 6, 0, 0, 9, 9, 9, 8, 8, 8, 0, 0};
    Bytes f = build_bmp(s);
    f.resize(f.size() - 4);  // the top row's second pixel and padding missing
    write_file(d.file("cut.bmp"), f);
    Loaded l(d.file("cut.bmp"));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(bgr(l.im->pixels), (Bytes{1, 2, 3}));
    EXPECT_EQ(bgr(pixel_at(*l.im, 0, 0)), (Bytes{9, 9, 9}));
    EXPECT_EQ(bgr(pixel_at(*l.im, 1, 0)), (Bytes{0, 0, 0}));
    // Every shorter prefix of the file fails or loads; none reads past it.
    Bytes whole = build_bmp(s);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        write_file(d.file("p.bmp"), part);
        Engine e;
        ImageHandle h = image_load(e, d.file("p.bmp"));
        if (h != NoImage) {
            EXPECT_EQ(image_width(e, h), 2);
        }
    }
}

TEST(BmpReader, HugeOrInvalidDimensionsFailCleanly) {
    TempDir d;
    BmpSpec s;
    s.bits = 24;
    s.data = {0, 0, 0, 0};
    for (auto [w, h] : {std::pair{40000, 1}, {1, 40000}, {1, -40000}, {0, 1}, {1, 0}, {-5, 1},
                        {0x7FFFFFFF, 0x7FFFFFFF}, {1, static_cast<int>(0x80000000u)}}) {
        s.width = w;
        s.height = h;
        Loaded l(save_bmp(d, "huge.bmp", s));
        EXPECT_EQ(l.h, NoImage) << w << "x" << h;
    }
    // Within 32767 but over the memory limit.
    s.width = 32767;
    s.height = 32767;
    Engine e;
    e.maxPixelBytes = 1 << 20;
    EXPECT_EQ(image_load(e, save_bmp(d, "big.bmp", s)), NoImage);
}

TEST(BmpReader, ABmpLoadsWhateverItsName) {
    TempDir d;
    BmpSpec s;
    s.data = {1, 2, 3, 0};
    Loaded l(save_bmp(d, "really.jpg", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(bgr(l.im->pixels), (Bytes{1, 2, 3}));
}

// ---------------------------------------------------------------- PNG

namespace {

std::string png_file(const TempDir& d, const std::string& name, const PngSpec& s) {
    std::string p = d.file(name);
    EXPECT_TRUE(write_png(p, s));
    return p;
}

PngSpec grey(int bits, int w, int h) {
    PngSpec s;
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.bitDepth = bits;
    s.width = w;
    s.height = h;
    const int rowBytes = (w * bits + 7) / 8;
    for (int y = 0; y < h; ++y) {
        Bytes r(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < w; ++x) {
            const int v = (x + y) % (1 << (bits > 8 ? 8 : bits));
            if (bits < 8) {
                r[static_cast<std::size_t>(x * bits / 8)] |= static_cast<std::uint8_t>(v << (8 - bits - (x * bits) % 8));
            } else if (bits == 8) {
                r[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(v * 16);
            }
        }
        s.rows.push_back(r);
    }
    return s;
}

}  // namespace

TEST(PngDecoder, LowBitGreyExpandsWithOrWithoutTransparency) {
    TempDir d;
    for (int bits : {1, 2, 4}) {
        PngSpec s = grey(bits, 5, 2);
        Loaded l(png_file(d, "g.png", s));
        ASSERT_NE(l.im, nullptr) << bits;
        EXPECT_EQ(l.im->depth, 24) << bits;
        EXPECT_EQ(l.im->source_depth, bits);
        const int maxv = (1 << bits) - 1;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 5; ++x) {
                const int v = ((x + y) % (1 << bits)) * 255 / maxv;
                const std::uint8_t* p = pixel_at(*l.im, x, y);
                EXPECT_EQ(bgr(p), (Bytes{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v)}))
                    << bits << " " << x << "," << y;
            }
        s.trnsGray = 1;
        Loaded t(png_file(d, "gt.png", s));
        ASSERT_NE(t.im, nullptr);
        EXPECT_EQ(t.im->depth, 32) << bits;
        EXPECT_EQ(t.im->source_depth, bits);
        EXPECT_EQ(pixel_at(*t.im, 1, 0)[3], 0);    // value 1: transparent
        EXPECT_EQ(pixel_at(*t.im, 0, 0)[3], 255);  // value 0: opaque
    }
}

TEST(PngDecoder, EightAndSixteenBitGreyIgnoreTransparency) {
    TempDir d;
    PngSpec s = grey(8, 4, 1);
    s.trnsGray = 16;
    Loaded l(png_file(d, "g8.png", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 8);
    EXPECT_EQ(bgr(pixel_at(*l.im, 1, 0)), (Bytes{16, 16, 16}));

    PngSpec g16;
    g16.colorType = PNG_COLOR_TYPE_GRAY;
    g16.bitDepth = 16;
    g16.width = 2;
    g16.rows = {Bytes{0xAB, 0xCD, 0x12, 0xFF}};
    g16.trnsGray = 0xABCD;
    Loaded l16(png_file(d, "g16.png", g16));
    ASSERT_NE(l16.im, nullptr);
    EXPECT_EQ(l16.im->depth, 24);
    EXPECT_EQ(l16.im->source_depth, 16);
    EXPECT_EQ(bgr(pixel_at(*l16.im, 0, 0)), (Bytes{0xAB, 0xAB, 0xAB}));
    EXPECT_EQ(bgr(pixel_at(*l16.im, 1, 0)), (Bytes{0x12, 0x12, 0x12}));
}

TEST(PngDecoder, GreyWithAlphaIs32Bits) {
    TempDir d;
    PngSpec s;
    s.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    s.width = 2;
    s.rows = {Bytes{10, 20, 200, 255}};
    Loaded l(png_file(d, "ga.png", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 32);
    EXPECT_EQ(l.im->source_depth, 8);
    EXPECT_EQ(Bytes(l.im->pixels, l.im->pixels + 8), (Bytes{10, 10, 10, 20, 200, 200, 200, 255}));
    s.bitDepth = 16;
    s.rows = {Bytes{0x10, 1, 0x20, 2, 0x30, 3, 0x40, 4}};
    Loaded l16(png_file(d, "ga16.png", s));
    ASSERT_NE(l16.im, nullptr);
    EXPECT_EQ(l16.im->source_depth, 16);
    EXPECT_EQ(Bytes(l16.im->pixels, l16.im->pixels + 8), (Bytes{0x10, 0x10, 0x10, 0x20, 0x30, 0x30, 0x30, 0x40}));
}

TEST(PngDecoder, PaletteWithAndWithoutTransparency) {
    TempDir d;
    for (int bits : {1, 2, 4, 8}) {
        PngSpec s;
        s.colorType = PNG_COLOR_TYPE_PALETTE;
        s.bitDepth = bits;
        s.width = 2;
        s.palette = {png_color{255, 0, 0}, png_color{0, 0, 255}};
        Bytes row(static_cast<std::size_t>((2 * bits + 7) / 8), 0);
        if (bits == 8)
            row = {0, 1};
        else
            row[0] = static_cast<std::uint8_t>(1 << (8 - 2 * bits));  // second pixel index 1
        s.rows = {row};
        Loaded l(png_file(d, "p.png", s));
        ASSERT_NE(l.im, nullptr) << bits;
        EXPECT_EQ(l.im->depth, 24);
        EXPECT_EQ(l.im->source_depth, bits);
        EXPECT_EQ(bgr(l.im->pixels), (Bytes{0, 0, 255}));
        EXPECT_EQ(bgr(l.im->pixels + 3), (Bytes{255, 0, 0}));
        s.trnsAlpha = {77};
        Loaded t(png_file(d, "pt.png", s));
        ASSERT_NE(t.im, nullptr);
        EXPECT_EQ(t.im->depth, 32) << bits;
        EXPECT_EQ(t.im->source_depth, bits);
        EXPECT_EQ(Bytes(t.im->pixels, t.im->pixels + 8), (Bytes{0, 0, 255, 77, 255, 0, 0, 255}));
    }
}

TEST(PngDecoder, RgbIsBgrBottomUpAndIgnoresTransparency) {
    TempDir d;
    PngSpec s;
    s.width = 3;
    s.height = 2;
    for (int y = 0; y < 2; ++y) {
        Bytes r;
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c) r.push_back(grad(x, y, c));
        s.rows.push_back(r);
    }
    s.trnsRgb[0] = grad(0, 0, 0);
    s.trnsRgb[1] = grad(0, 0, 1);
    s.trnsRgb[2] = grad(0, 0, 2);
    Loaded l(png_file(d, "rgb.png", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(bgr(pixel_at(*l.im, x, y)), (Bytes{grad(x, y, 2), grad(x, y, 1), grad(x, y, 0)}));
    // First row in memory is the bottom row of the picture.
    EXPECT_EQ(bgr(l.im->pixels), (Bytes{grad(0, 1, 2), grad(0, 1, 1), grad(0, 1, 0)}));
}

TEST(PngDecoder, SixteenBitSamplesKeepTheirHighByte) {
    TempDir d;
    PngSpec s;
    s.bitDepth = 16;
    s.rows = {Bytes{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80}};
    Loaded l(png_file(d, "rgb16.png", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 24);
    EXPECT_EQ(bgr(l.im->pixels), (Bytes{0x56, 0x34, 0x12}));
    s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    s.rows = {Bytes{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0x9A, 0x01}};
    Loaded a(png_file(d, "rgba16.png", s));
    ASSERT_NE(a.im, nullptr);
    EXPECT_EQ(a.im->depth, 32);
    EXPECT_EQ(a.im->source_depth, 32);
    EXPECT_EQ(Bytes(a.im->pixels, a.im->pixels + 4), (Bytes{0x56, 0x34, 0x12, 0x9A}));
}

TEST(PngDecoder, InterlacedEqualsNonInterlaced) {
    TempDir d;
    PngSpec s;
    s.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    s.width = 13;
    s.height = 11;
    for (int y = 0; y < s.height; ++y) {
        Bytes r;
        for (int x = 0; x < s.width; ++x) {
            for (int c = 0; c < 3; ++c) r.push_back(grad(x, y, c));
            r.push_back(static_cast<std::uint8_t>(x * y));
        }
        s.rows.push_back(r);
    }
    Loaded plain(png_file(d, "plain.png", s));
    s.interlace = true;
    Loaded inter(png_file(d, "inter.png", s));
    ASSERT_NE(plain.im, nullptr);
    ASSERT_NE(inter.im, nullptr);
    ASSERT_EQ(plain.im->size, inter.im->size);
    EXPECT_EQ(0, std::memcmp(plain.im->pixels, inter.im->pixels, plain.im->size));
    EXPECT_EQ(pixel_at(*plain.im, 12, 10)[3], 120);
}

TEST(PngDecoder, KeepsIccProfileAndExif) {
    TempDir d;
    PngSpec s;
    s.rows = {Bytes{1, 2, 3}};
    // libpng checks the profile's header: give it a plausible one, with
    // one tag whose data does not compress (libpng refuses tiny chunks).
    Bytes icc(512, 0);
    icc[2] = 2;  // length 512
    icc[8] = 2;
    icc[9] = 0x10;
    std::memcpy(&icc[12], "mntrRGB XYZ ", 12);
    std::memcpy(&icc[36], "acsp", 4);
    icc[70] = 0xF6;  // D50 illuminant, s15Fixed16: 0.9642, 1.0, 0.8249
    icc[71] = 0xD6;
    icc[73] = 0x01;
    icc[78] = 0xD3;
    icc[79] = 0x2D;
    icc[131] = 1;  // one tag: 'desc' at 144, 368 bytes
    std::memcpy(&icc[132], "desc", 4);
    icc[139] = 144;
    icc[142] = 0x01;
    icc[143] = 0x70;
    std::uint32_t seed = 12345;
    for (std::size_t i = 144; i < icc.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        icc[i] = static_cast<std::uint8_t>(seed >> 24);
    }
    s.icc = icc;
    s.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    Loaded l(png_file(d, "meta.png", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->exif, s.exif);
    EXPECT_EQ(l.im->icc, icc);

    PngSpec none;
    none.rows = {Bytes{1, 2, 3}};
    Loaded n(png_file(d, "none.png", none));
    ASSERT_NE(n.im, nullptr);
    EXPECT_TRUE(n.im->exif.empty());
    EXPECT_TRUE(n.im->icc.empty());
}

TEST(PngDecoder, APngNamedJpgLoadsAsPng) {
    TempDir d;
    PngSpec s;
    s.rows = {Bytes{9, 8, 7}};
    Loaded l(png_file(d, "photo.jpg", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(bgr(l.im->pixels), (Bytes{7, 8, 9}));
}

TEST(PngDecoder, CutOrOversizeFilesNeverCrash) {
    TempDir d;
    PngSpec s;
    s.width = 64;
    s.height = 64;
    for (int y = 0; y < 64; ++y) {
        Bytes r;
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) r.push_back(static_cast<std::uint8_t>((x * 31 + y * 17 + c * 101) ^ (x * y)));
        s.rows.push_back(r);
    }
    std::string p = png_file(d, "full.png", s);
    Bytes whole = read_file(p);
    // Cut inside the image data: the load still succeeds, rows not reached stay black.
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
    write_file(d.file("cut.png"), cut);
    Loaded l(d.file("cut.png"));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->width, 64);
    const std::uint8_t* top = pixel_at(*l.im, 5, 0);
    EXPECT_EQ(bgr(top), (Bytes{s.rows[0][17], s.rows[0][16], s.rows[0][15]}));
    EXPECT_EQ(bgr(pixel_at(*l.im, 5, 63)), (Bytes{0, 0, 0}));
    for (std::size_t n = 0; n < 60 && n < whole.size(); ++n) {
        write_file(d.file("p.png"), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        Engine e;
        registerCodecs(e);
        image_load(e, d.file("p.png"));
    }
    // IHDR width 40000 (the CRC is fixed so libpng reads the header).
    Bytes big = whole;
    big[16] = 0;
    big[17] = 0;
    big[18] = 0x9C;
    big[19] = 0x40;
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, big.data() + 12, 17));
    big[29] = static_cast<std::uint8_t>(crc >> 24);
    big[30] = static_cast<std::uint8_t>(crc >> 16);
    big[31] = static_cast<std::uint8_t>(crc >> 8);
    big[32] = static_cast<std::uint8_t>(crc);
    write_file(d.file("big.png"), big);
    Loaded b(d.file("big.png"));
    EXPECT_EQ(b.h, NoImage);
    // A wrong IHDR CRC fails too.
    big[32] ^= 1;
    write_file(d.file("crc.png"), big);
    Loaded c(d.file("crc.png"));
    EXPECT_EQ(c.h, NoImage);
}

// ---------------------------------------------------------------- JPEG

namespace {

JpegSpec flat_rgb(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    JpegSpec s;
    s.width = w;
    s.height = h;
    s.quality = 100;
    for (int i = 0; i < w * h; ++i) {
        s.samples.push_back(r);
        s.samples.push_back(g);
        s.samples.push_back(b);
    }
    return s;
}

std::string jpeg_file(const TempDir& d, const std::string& name, const JpegSpec& s) {
    std::string p = d.file(name);
    EXPECT_TRUE(write_jpeg(p, s));
    return p;
}

void expect_near(const std::uint8_t* p, int b, int g, int r, int tol) {
    EXPECT_NEAR(p[0], b, tol);
    EXPECT_NEAR(p[1], g, tol);
    EXPECT_NEAR(p[2], r, tol);
}

}  // namespace

TEST(JpegDecoder, ColourPictureIsBgrBottomUp) {
    TempDir d;
    JpegSpec s = flat_rgb(16, 16, 0, 0, 0);
    // Top half red, bottom half blue.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            std::uint8_t* p = &s.samples[static_cast<std::size_t>((y * 16 + x) * 3)];
            p[0] = y < 8 ? 255 : 0;
            p[2] = y < 8 ? 0 : 255;
        }
    Loaded l(jpeg_file(d, "c.jpg", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->width, 16);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 24);
    expect_near(pixel_at(*l.im, 4, 2), 0, 0, 255, 8);
    expect_near(pixel_at(*l.im, 4, 13), 255, 0, 0, 8);
    expect_near(l.im->pixels, 255, 0, 0, 8);  // memory row 0 = bottom = blue
}

TEST(JpegDecoder, GreyGivesThreeEqualSamples) {
    TempDir d;
    JpegSpec s;
    s.width = 8;
    s.height = 8;
    s.components = 1;
    s.inSpace = JCS_GRAYSCALE;
    for (int i = 0; i < 64; ++i) s.samples.push_back(static_cast<std::uint8_t>(i * 4));
    Loaded l(jpeg_file(d, "g.jpg", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->depth, 24);
    EXPECT_EQ(l.im->source_depth, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t* p = pixel_at(*l.im, x, y);
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[1], p[2]);
            EXPECT_NEAR(p[0], (y * 8 + x) * 4, 10);
        }
}

TEST(JpegDecoder, CmykComesOutInTheRightColours) {
    TempDir d;
    // Red: no cyan, full magenta and yellow, no black. Green half: full
    // cyan and yellow. Black row at the bottom.
    auto make = [](bool adobeInverted) {
        JpegSpec s;
        s.width = 16;
        s.height = 16;
        s.components = 4;
        s.inSpace = JCS_CMYK;
        s.quality = 100;
        s.adobeMarker = adobeInverted;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                std::uint8_t c = x < 8 ? 0 : 255, m = x < 8 ? 255 : 0, ye = 255, k = y >= 8 ? 255 : 0;
                if (adobeInverted) {
                    c = 255 - c;
                    m = 255 - m;
                    ye = 255 - ye;
                    k = 255 - k;
                }
                s.samples.insert(s.samples.end(), {c, m, ye, k});
            }
        return s;
    };
    for (bool adobe : {false, true}) {
        Loaded l(jpeg_file(d, adobe ? "adobe.jpg" : "plain.jpg", make(adobe)));
        ASSERT_NE(l.im, nullptr) << adobe;
        EXPECT_EQ(l.im->depth, 24);
        EXPECT_EQ(l.im->source_depth, 32);
        expect_near(pixel_at(*l.im, 2, 2), 0, 0, 255, 6);    // red
        expect_near(pixel_at(*l.im, 13, 2), 0, 255, 0, 6);   // green
        expect_near(pixel_at(*l.im, 2, 13), 0, 0, 0, 6);     // black
    }
    // YCCK with the Adobe marker (the library's own conversion to CMYK).
    JpegSpec y = make(true);
    y.fileSpace = JCS_YCCK;
    Loaded l(jpeg_file(d, "ycck.jpg", y));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->source_depth, 32);
    expect_near(pixel_at(*l.im, 2, 2), 0, 0, 255, 8);
    expect_near(pixel_at(*l.im, 13, 2), 0, 255, 0, 8);
}

TEST(JpegDecoder, CutFilesStillLoad) {
    TempDir d;
    JpegSpec s = flat_rgb(64, 64, 0, 0, 0);
    for (std::size_t i = 0; i < s.samples.size(); ++i) s.samples[i] = static_cast<std::uint8_t>(i * 7 % 251);
    s.quality = 90;
    for (bool progressive : {false, true}) {
        s.progressive = progressive;
        Bytes whole = read_file(jpeg_file(d, "w.jpg", s));
        // Cut in the middle of the last scan's coded data (a cut inside a
        // later scan's table segment is a corrupt header, not a short file).
        std::size_t lastScan = 0;
        for (std::size_t i = 0; i + 1 < whole.size(); ++i)
            if (whole[i] == 0xFF && whole[i + 1] == 0xDA) lastScan = i;
        ASSERT_GT(lastScan, 0u);
        const std::size_t cutAt = (lastScan + 40 + whole.size()) / 2;
        Bytes half(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cutAt));
        write_file(d.file("half.jpg"), half);
        Loaded l(d.file("half.jpg"));
        ASSERT_NE(l.im, nullptr) << progressive;
        EXPECT_EQ(l.im->width, 64);
        EXPECT_EQ(l.im->height, 64);
        // Every prefix: no crash, no hang.
        for (std::size_t n = 0; n < whole.size(); n += 37) {
            write_file(d.file("p.jpg"), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
            Engine e;
            registerCodecs(e);
            image_load(e, d.file("p.jpg"));
        }
    }
}

TEST(JpegDecoder, StartMarkerWithoutHeaderIsRefused) {
    TempDir d;
    write_file(d.file("junk.jpg"), Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 'x', 'y', 'z'});
    Loaded l(d.file("junk.jpg"));
    EXPECT_EQ(l.h, NoImage);
}

TEST(JpegDecoder, OversizeFrameFailsCleanly) {
    TempDir d;
    Bytes f = read_file(jpeg_file(d, "ok.jpg", flat_rgb(8, 8, 1, 2, 3)));
    for (std::size_t i = 2; i + 9 < f.size(); ++i) {
        if (f[i] == 0xFF && (f[i + 1] == 0xC0 || f[i + 1] == 0xC1)) {
            f[i + 7] = 0x9C;  // width 40000
            f[i + 8] = 0x40;
            break;
        }
    }
    write_file(d.file("wide.jpg"), f);
    Loaded l(d.file("wide.jpg"));
    EXPECT_EQ(l.h, NoImage);
    // Within the size rule but over the memory limit.
    Engine e;
    registerCodecs(e);
    e.maxPixelBytes = 100;
    EXPECT_EQ(image_load(e, d.file("ok.jpg")), NoImage);
}

TEST(JpegDecoder, KeepsExifAndReassemblesIcc) {
    TempDir d;
    JpegSpec s = flat_rgb(8, 8, 10, 20, 30);
    s.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 2, 3};
    s.icc.resize(150000);  // spans three APP2 chunks
    for (std::size_t i = 0; i < s.icc.size(); ++i) s.icc[i] = static_cast<std::uint8_t>(i * 13);
    Loaded l(jpeg_file(d, "meta.jpg", s));
    ASSERT_NE(l.im, nullptr);
    EXPECT_EQ(l.im->exif, s.exif);
    EXPECT_EQ(l.im->icc, s.icc);
}

TEST(JpegDecoder, CancelAbandonsTheLoad) {
    TempDir d;
    std::string p = jpeg_file(d, "c.jpg", flat_rgb(16, 16, 1, 2, 3));
    Engine e;
    registerCodecs(e);
    int asked = 0;
    e.cancel = [&] { return ++asked > 3; };
    EXPECT_EQ(image_load(e, p), NoImage);
    EXPECT_GT(asked, 3);
    e.cancel = nullptr;
    EXPECT_NE(image_load(e, p), NoImage);
}

TEST(PngDecoder, CancelAbandonsTheLoad) {
    TempDir d;
    PngSpec s;
    s.width = 4;
    s.height = 20;
    s.rows.assign(20, Bytes(12, 50));
    std::string p = png_file(d, "c.png", s);
    Engine e;
    registerCodecs(e);
    int asked = 0;
    e.cancel = [&] { return ++asked > 5; };
    EXPECT_EQ(image_load(e, p), NoImage);
    EXPECT_GT(asked, 5);
    e.cancel = [] { return false; };
    ImageHandle h = image_load(e, p);
    ASSERT_NE(h, NoImage);
    EXPECT_EQ(image_get(e, h)->pixels[0], 50);
}

TEST(ImageEngine, LimitIsHalfTheMemoryTheEngineIsToldOf) {
    Engine e;
    e.machine.memoryBytes = std::size_t{6} << 30;
    EXPECT_EQ(detail::pixel_limit(e), std::size_t{3} << 30);
    Engine unknown;
    EXPECT_EQ(detail::pixel_limit(unknown), std::size_t{1} << 30);
}

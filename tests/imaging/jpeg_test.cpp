// image_save and the JPEG encoder: quality mapping, markers, flattening,
// carried segments and failures.
#include <gtest/gtest.h>

#include <cstring>

#include "image_test_util.h"
#include "imaging/image.h"

using namespace tv::img;
using namespace tvtest;

namespace {

struct Segment {
    int marker = 0;
    Bytes data;
};

// The marker segments of a JPEG file up to its first scan.
std::vector<Segment> segments(const Bytes& f) {
    std::vector<Segment> out;
    if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8) return out;
    std::size_t i = 2;
    while (i + 4 <= f.size() && f[i] == 0xFF) {
        Segment s;
        s.marker = f[i + 1];
        const std::size_t len = (static_cast<std::size_t>(f[i + 2]) << 8) | f[i + 3];
        if (len < 2 || i + 2 + len > f.size()) break;
        s.data.assign(f.begin() + static_cast<std::ptrdiff_t>(i + 4), f.begin() + static_cast<std::ptrdiff_t>(i + 2 + len));
        out.push_back(s);
        if (s.marker == 0xDA) break;
        i += 2 + len;
    }
    return out;
}

const Segment* find(const std::vector<Segment>& segs, int marker) {
    for (const Segment& s : segs)
        if (s.marker == marker) return &s;
    return nullptr;
}

// Quantisation entries of every table in the file, with each table's precision.
struct Tables {
    std::vector<int> entries;
    bool sixteenBit = false;
};

Tables quant_tables(const std::vector<Segment>& segs) {
    Tables t;
    for (const Segment& s : segs) {
        if (s.marker != 0xDB) continue;
        std::size_t i = 0;
        while (i < s.data.size()) {
            const bool wide = (s.data[i] >> 4) != 0;
            t.sixteenBit = t.sixteenBit || wide;
            ++i;
            for (int k = 0; k < 64 && i < s.data.size(); ++k) {
                t.entries.push_back(wide ? (s.data[i] << 8) | s.data[i + 1] : s.data[i]);
                i += wide ? 2 : 1;
            }
        }
    }
    return t;
}

// A picture put straight into the table: top half red, bottom half blue,
// with a gradient in green.
ImageHandle make_picture(Engine& e, int w, int h, int depth) {
    Image* im = detail::create_image(e, w, h, depth);
    if (!im) return NoImage;
    im->source_depth = depth;
    const int bpp = depth / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = const_cast<std::uint8_t*>(pixel_at(*im, x, y));
            const bool top = y < h / 2;
            p[0] = top ? 0 : 255;
            p[1] = static_cast<std::uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
            p[2] = top ? 255 : 0;
            if (bpp == 4) p[3] = 255;
        }
    return detail::add_to_table(e, im);
}

struct Saved {
    TempDir dir;
    Engine e;
    ImageHandle h = NoImage;
    Saved(int w = 16, int h_ = 16, int depth = 24) {
        registerCodecs(e);
        h = make_picture(e, w, h_, depth);
    }
    Bytes save(int quality, const std::string& name = "out.jpg") {
        const std::string p = dir.file(name);
        EXPECT_EQ(image_save(e, h, p, JpegEncoderId, quality), 1) << quality;
        return read_file(p);
    }
};

// A stand-in encoder that records what image_save hands it.
struct Seen {
    int calls = 0;
    int width = 0, height = 0, pitch = 0, rowFlags = 0, options = 0, outputDepth = 0;
    bool rgba = false;
    Bytes firstRow;
    const Image* meta = nullptr;
    const Engine* engine = nullptr;
};
Seen g_seen;

int record(bool rgba, const std::uint8_t* pixels, int width, int height, int pitch, int rowFlags, int options,
           int outputDepth, const Image* meta, const Engine* engine) {
    ++g_seen.calls;
    g_seen.rgba = rgba;
    g_seen.width = width;
    g_seen.height = height;
    g_seen.pitch = pitch;
    g_seen.rowFlags = rowFlags;
    g_seen.options = options;
    g_seen.outputDepth = outputDepth;
    g_seen.firstRow.assign(pixels, pixels + pitch);
    g_seen.meta = meta;
    g_seen.engine = engine;
    return 1;
}
int record_rgb(const char*, const std::uint8_t* px, int w, int h, int pitch, int f, int o, int d, const Image* m,
               const Engine* e) {
    return record(false, px, w, h, pitch, f, o, d, m, e);
}
int record_rgba(const char*, const std::uint8_t* px, int w, int h, int pitch, int f, int o, int d, const Image* m,
                const Engine* e) {
    return record(true, px, w, h, pitch, f, o, d, m, e);
}
constexpr std::uint32_t RgbOnly = 0x11111111, BothForms = 0x22222222;

}  // namespace

TEST(JpegEncoder, QualityIsHeldToZeroToTen) {
    Saved s;
    EXPECT_EQ(s.save(11, "a.jpg"), s.save(10, "b.jpg"));
    EXPECT_EQ(s.save(1000, "a.jpg"), s.save(10, "b.jpg"));
    EXPECT_EQ(s.save(-1, "c.jpg"), s.save(0, "d.jpg"));
    EXPECT_NE(s.save(5, "e.jpg"), s.save(10, "f.jpg"));
}

TEST(JpegEncoder, QualityMapsOntoTheLibraryTables) {
    Saved s;
    Tables q10 = quant_tables(segments(s.save(10)));
    ASSERT_EQ(q10.entries.size(), 128u);
    for (int v : q10.entries) EXPECT_EQ(v, 1);
    // Standard luminance table starts 16, 11; chrominance 17, 18.
    Tables q5 = quant_tables(segments(s.save(5)));
    ASSERT_EQ(q5.entries.size(), 128u);
    EXPECT_EQ(q5.entries[0], 16);
    EXPECT_EQ(q5.entries[64], 17);
    Tables q3 = quant_tables(segments(s.save(3)));
    EXPECT_EQ(q3.entries[0], (16 * 166 + 50) / 100);
    Tables q0 = quant_tables(segments(s.save(0)));
    EXPECT_EQ(q0.entries[0], (16 * 5000 + 50) / 100);  // not held to 255
    EXPECT_TRUE(q0.sixteenBit);
}

TEST(JpegEncoder, LowQualitiesAreExtendedSequentialOthersBaseline) {
    Saved s;
    for (int q = 0; q <= 10; ++q) {
        std::vector<Segment> segs = segments(s.save(q));
        const bool sof0 = find(segs, 0xC0) != nullptr, sof1 = find(segs, 0xC1) != nullptr;
        if (q <= 2) {
            EXPECT_TRUE(sof1 && !sof0) << q;
        } else {
            EXPECT_TRUE(sof0 && !sof1) << q;
        }
    }
}

TEST(JpegEncoder, WritesJfifThreeComponentsAndFourTwoZero) {
    Saved s;
    std::vector<Segment> segs = segments(s.save(7));
    ASSERT_FALSE(segs.empty());
    EXPECT_EQ(segs[0].marker, 0xE0);
    EXPECT_EQ(0, std::memcmp(segs[0].data.data(), "JFIF\0", 5));
    const Segment* sof = find(segs, 0xC0);
    ASSERT_NE(sof, nullptr);
    EXPECT_EQ((sof->data[1] << 8) | sof->data[2], 16);  // height
    EXPECT_EQ((sof->data[3] << 8) | sof->data[4], 16);  // width
    ASSERT_EQ(sof->data[5], 3);
    EXPECT_EQ(sof->data[7], 0x22);  // luminance 2x2
    EXPECT_EQ(sof->data[10], 0x11);
    EXPECT_EQ(sof->data[13], 0x11);
    EXPECT_EQ(find(segs, 0xE1), nullptr);  // no EXIF in, none out
    EXPECT_EQ(find(segs, 0xE2), nullptr);
}

TEST(JpegEncoder, RowsAndColoursSurviveARoundTrip) {
    Saved s(32, 24);
    s.save(10, "rt.jpg");
    Engine e;
    registerCodecs(e);
    ImageHandle h = image_load(e, s.dir.file("rt.jpg"));
    const Image* im = image_get(e, h);
    ASSERT_NE(im, nullptr);
    ASSERT_EQ(im->width, 32);
    ASSERT_EQ(im->height, 24);
    const Image* src = image_get(s.e, s.h);
    for (int y : {2, 9, 14, 21})
        for (int x : {1, 16, 30})
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel_at(*im, x, y)[c], pixel_at(*src, x, y)[c], 12) << x << "," << y;
}

TEST(JpegEncoder, GreySourceIsWrittenWithThreeComponents) {
    TempDir d;
    JpegSpec g;
    g.components = 1;
    g.inSpace = JCS_GRAYSCALE;
    g.samples.assign(64, 128);
    ASSERT_TRUE(write_jpeg(d.file("g.jpg"), g));
    Engine e;
    registerCodecs(e);
    ImageHandle h = image_load(e, d.file("g.jpg"));
    ASSERT_NE(h, NoImage);
    ASSERT_EQ(image_save(e, h, d.file("o.jpg"), JpegEncoderId, 7), 1);
    std::vector<Segment> segs = segments(read_file(d.file("o.jpg")));
    const Segment* sof = find(segs, 0xC0);
    ASSERT_NE(sof, nullptr);
    EXPECT_EQ(sof->data[5], 3);
}

TEST(FlattenOnWhite, CompositesStraightAlphaOverWhite) {
    const std::uint8_t src[16] = {0, 0, 255, 128, 10, 20, 30, 255, 10, 20, 30, 0, 0, 0, 0, 0};
    std::uint8_t dst[12] = {};
    flatten_on_white(src, 2, 2, 8, dst, 6);
    EXPECT_EQ(Bytes(dst, dst + 3), (Bytes{127, 127, 255}));
    EXPECT_EQ(Bytes(dst + 3, dst + 6), (Bytes{10, 20, 30}));
    EXPECT_EQ(Bytes(dst + 6, dst + 9), (Bytes{255, 255, 255}));
    EXPECT_EQ(Bytes(dst + 9, dst + 12), (Bytes{255, 255, 255}));
}

TEST(ImageSave, ThirtyTwoBitsGoToJpegOnWhite) {
    Saved s(16, 16, 32);
    Image* im = detail::lookup(s.e, s.h);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            std::uint8_t* p = im->pixels + 64 * y + 4 * x;
            p[0] = 0;
            p[1] = 0;
            p[2] = 255;
            p[3] = 128;
        }
    s.save(10, "flat.jpg");
    Engine e;
    registerCodecs(e);
    const Image* out = image_get(e, image_load(e, s.dir.file("flat.jpg")));
    ASSERT_NE(out, nullptr);
    EXPECT_NEAR(out->pixels[0], 127, 3);
    EXPECT_NEAR(out->pixels[1], 127, 3);
    EXPECT_NEAR(out->pixels[2], 255, 3);
}

TEST(ImageSave, HandsEncodersTheRightPixelsDepthAndMeta) {
    TempDir d;
    Engine e;
    e.encoders.push_back(ImageEncoder{RgbOnly, record_rgb, nullptr});
    e.encoders.push_back(ImageEncoder{BothForms, record_rgb, record_rgba});
    const std::string p = d.file("x");

    ImageHandle h24 = make_picture(e, 5, 4, 24);
    detail::lookup(e, h24)->source_depth = 8;
    g_seen = {};
    EXPECT_EQ(image_save(e, h24, p, RgbOnly), 1);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(g_seen.outputDepth, 8);  // depth -1 = the source depth
    EXPECT_EQ(g_seen.options, 7);
    EXPECT_EQ(g_seen.pitch, 16);
    EXPECT_EQ(g_seen.rowFlags, BottomUp);
    EXPECT_EQ(g_seen.meta, image_get(e, h24));
    EXPECT_EQ(g_seen.engine, &e);
    g_seen = {};
    EXPECT_EQ(image_save(e, h24, p, RgbOnly, 3, 24), 1);
    EXPECT_EQ(g_seen.outputDepth, 24);
    EXPECT_EQ(g_seen.options, 3);

    ImageHandle h32 = make_picture(e, 5, 4, 32);
    Image* im32 = detail::lookup(e, h32);
    im32->pixels[3] = 0;  // bottom-left pixel fully transparent
    g_seen = {};
    EXPECT_EQ(image_save(e, h32, p, BothForms), 1);
    EXPECT_TRUE(g_seen.rgba);
    EXPECT_EQ(g_seen.pitch, 20);
    EXPECT_EQ(g_seen.outputDepth, 32);
    g_seen = {};
    EXPECT_EQ(image_save(e, h32, p, RgbOnly), 1);
    EXPECT_FALSE(g_seen.rgba);
    EXPECT_EQ(g_seen.pitch, 16);
    EXPECT_EQ(Bytes(g_seen.firstRow.begin(), g_seen.firstRow.begin() + 3), (Bytes{255, 255, 255}));
    EXPECT_EQ(g_seen.firstRow[3], 255);  // second pixel, opaque blue
    EXPECT_EQ(g_seen.firstRow[5], 0);

    // 16 bits: converted for the encoder instead of refused.
    Image* im16 = detail::create_image(e, 3, 2, 16);
    im16->source_depth = 16;
    im16->pixels[0] = 0x00;
    im16->pixels[1] = 0x7C;  // red
    ImageHandle h16 = detail::add_to_table(e, im16);
    g_seen = {};
    EXPECT_EQ(image_save(e, h16, p, RgbOnly), 1);
    EXPECT_EQ(g_seen.pitch, 12);
    EXPECT_EQ(g_seen.outputDepth, 16);
    EXPECT_EQ(Bytes(g_seen.firstRow.begin(), g_seen.firstRow.begin() + 3), (Bytes{0, 0, 255}));

    g_seen = {};
    EXPECT_EQ(image_save(e, h24, "", RgbOnly), 0);
    EXPECT_EQ(image_save(e, 99, p, RgbOnly), 0);
    EXPECT_EQ(image_save(e, NoImage, p, RgbOnly), 0);
    EXPECT_EQ(image_save(e, h24, p, 0x33333333), 0);
    EXPECT_EQ(g_seen.calls, 0);
}

TEST(ImageSave, SixteenBitBmpSavesAsJpeg) {
    TempDir d;
    BmpSpec s;
    s.width = 8;
    s.height = 8;
    s.bits = 16;
    for (int i = 0; i < 64; ++i) {
        s.data.push_back(0x00);
        s.data.push_back(0x7C);  // 5-5-5 red
    }
    write_file(d.file("in.bmp"), build_bmp(s));
    Engine e;
    registerCodecs(e);
    ImageHandle h = image_load(e, d.file("in.bmp"));
    ASSERT_NE(h, NoImage);
    ASSERT_EQ(image_get(e, h)->depth, 16);
    ASSERT_EQ(image_save(e, h, d.file("out.jpg"), JpegEncoderId, 10), 1);
    const Image* out = image_get(e, image_load(e, d.file("out.jpg")));
    ASSERT_NE(out, nullptr);
    EXPECT_NEAR(out->pixels[0], 0, 4);
    EXPECT_NEAR(out->pixels[2], 255, 4);
}

// The source's EXIF block always survives a JPEG's load and save; its ICC
// profile only when it is for RGB, which the three-component JPEG and the
// colour PNG hold: a CMYK or grey profile would have colour-managed viewers
// misread them.
TEST(ImageSave, ExifSurvivesAndOnlyAnRgbProfileWithIt) {
    struct Case {
        const char* name;
        int components;
        J_COLOR_SPACE inSpace, fileSpace;
        Bytes icc;
        bool kept;
    };
    const Bytes rgbHeader = icc_profile("RGB ");
    const Case cases[] = {
        {"RGB, profile over two markers", 3, JCS_RGB, JCS_UNKNOWN, icc_profile("RGB ", 70000), true},
        {"CMYK", 4, JCS_CMYK, JCS_UNKNOWN, icc_profile("CMYK"), false},
        {"YCCK", 4, JCS_CMYK, JCS_YCCK, icc_profile("CMYK"), false},
        {"grey", 1, JCS_GRAYSCALE, JCS_UNKNOWN, icc_profile("GRAY"), false},
        {"RGB with a grey profile", 3, JCS_RGB, JCS_UNKNOWN, icc_profile("GRAY"), false},
        {"RGB, profile cut inside its header", 3, JCS_RGB, JCS_UNKNOWN, Bytes(rgbHeader.begin(), rgbHeader.begin() + 100),
         false},
    };
    TempDir d;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegSpec s;
        s.components = c.components;
        s.inSpace = c.inSpace;
        s.fileSpace = c.fileSpace;
        s.samples.assign(static_cast<std::size_t>(8 * 8 * c.components), 90);
        s.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 5};
        s.icc = c.icc;
        ASSERT_TRUE(write_jpeg(d.file("in.jpg"), s));
        Engine e;
        registerCodecs(e);
        ImageHandle h = image_load(e, d.file("in.jpg"));
        ASSERT_NE(h, NoImage);
        ASSERT_EQ(image_get(e, h)->icc, c.icc);
        for (std::uint32_t encoder : {JpegEncoderId, PngEncoderId}) {
            const std::string out = d.file(encoder == JpegEncoderId ? "out.jpg" : "out.png");
            ASSERT_EQ(image_save(e, h, out, encoder, 6), 1);
            const Image* back = image_get(e, image_load(e, out));
            ASSERT_NE(back, nullptr) << out;
            EXPECT_EQ(back->exif, s.exif) << out;
            EXPECT_EQ(back->icc, c.kept ? c.icc : Bytes{}) << out;
        }
    }
}

TEST(ImageSave, ExifTooLongForOneMarkerIsLeftOut) {
    Saved s;
    Image* im = detail::lookup(s.e, s.h);
    im->exif.assign(65528, 7);  // 6-byte prefix + this > 65533
    std::vector<Segment> segs = segments(s.save(5));
    EXPECT_EQ(find(segs, 0xE1), nullptr);
    im->exif.assign(65527, 7);
    segs = segments(s.save(5));
    const Segment* app1 = find(segs, 0xE1);
    ASSERT_NE(app1, nullptr);
    EXPECT_EQ(app1->data.size(), 65533u);
}

TEST(ImageSave, IccTooLongForItsMarkersIsLeftOut) {
    Saved s;
    Image* im = detail::lookup(s.e, s.h);
    im->icc = icc_profile("RGB ", 255 * 65519 + 1);  // one byte more than 255 APP2 markers hold
    std::vector<Segment> segs = segments(s.save(5));
    EXPECT_EQ(find(segs, 0xE2), nullptr);
    EXPECT_NE(find(segs, 0xDA), nullptr);
}

TEST(ImageSave, WriteFailuresReturnZeroWithoutAborting) {
    Saved s(64, 64);
    EXPECT_EQ(image_save(s.e, s.h, "/dev/full", JpegEncoderId, 5), 0);
    EXPECT_EQ(image_save(s.e, s.h, s.dir.file("missing/out.jpg"), JpegEncoderId, 5), 0);
    EXPECT_EQ(image_save(s.e, s.h, "/proc/version", JpegEncoderId, 5), 0);
    EXPECT_EQ(image_save(s.e, s.h, s.dir.path(), JpegEncoderId, 5), 0);
    // The engine is still usable afterwards.
    EXPECT_EQ(image_save(s.e, s.h, s.dir.file("ok.jpg"), JpegEncoderId, 5), 1);
}

TEST(ImageSave, CancelBetweenRowsFailsTheSave) {
    Saved s(16, 64);
    int asked = 0;
    s.e.cancel = [&] { return ++asked > 10; };
    EXPECT_EQ(image_save(s.e, s.h, s.dir.file("c.jpg"), JpegEncoderId, 5), 0);
    EXPECT_GT(asked, 10);
}

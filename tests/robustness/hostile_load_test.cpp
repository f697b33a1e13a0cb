// image_load against files a folder of photographs can really hold: empty
// and tiny files, forged sizes, cut files, palettes and chunks that lie,
// folders and dangling links in the place of files, odd names, and RLE
// streams long enough to wrap a 32-bit counter. Every case must give a
// picture of the size the file claims or none, promptly, and leave the file
// as it was.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <cstring>

#include "hostile_files.h"
#include "imaging/decoder_context.h"

using namespace robust;
namespace img = tv::img;

namespace {

class HostileLoad : public ::testing::Test {
protected:
    void SetUp() override {
        tvtest::registerCodecs(engine);
        // Small enough that the huge-size forgeries are refused at once,
        // large enough for every honest picture here.
        engine.maxPixelBytes = 16u << 20;
    }
    void TearDown() override {
        for (const img::Image* im : engine.table) EXPECT_EQ(im, nullptr) << "an image was not released";
    }

    // Loads bytes written under name; checks the file is untouched and the
    // image consistent. Returns width x height, or 0x0 when not loaded.
    std::pair<int, int> load(const Bytes& bytes, const std::string& name = "f.img") {
        std::string path = dir.file(name);
        EXPECT_TRUE(tvtest::write_file(path, bytes));
        std::pair<int, int> size{0, 0};
        {
            Watchdog w("image_load", 20);
            img::ImageHandle h = img::image_load(engine, path);
            if (h != img::NoImage) {
                const img::Image* im = img::image_get(engine, h);
                EXPECT_NE(im, nullptr);
                if (im) {
                    EXPECT_GE(im->width, 1);
                    EXPECT_GE(im->height, 1);
                    EXPECT_LE(im->width, img::MaxDimension);
                    EXPECT_LE(im->height, img::MaxDimension);
                    EXPECT_GE(im->size, static_cast<std::size_t>(img::row_pitch(im->width, im->depth)) * im->height);
                    size = {im->width, im->height};
                }
                img::image_free(engine, h);
            }
        }
        EXPECT_EQ(tvtest::read_file(path), bytes) << "the source was changed by loading it";
        return size;
    }

    img::Engine engine;
    tvtest::TempDir dir;
};

const std::pair<int, int> None{0, 0};

TEST_F(HostileLoad, EmptyAndTinyFilesAreRefused) {
    EXPECT_EQ(load({}), None);
    for (Bytes b : {Bytes{'B'}, Bytes{'B', 'M'}, Bytes{0xFF, 0xD8}, Bytes{0x89, 'P'}, Bytes{0, 0}, Bytes{0xFF, 0xD8, 0xFF},
                    Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}})
        EXPECT_EQ(load(b), None) << b.size() << " bytes starting " << int(b[0]);
}

TEST_F(HostileLoad, HugeClaimedSizesAreRefusedQuickly) {
    // Each file is a few hundred bytes that claims 32767 x 32767 (3 GB of
    // pixels); it must be refused under the limit, not decoded into black.
    Bytes b = bmp24(4, 4);
    setBmpSize(b, 32767, 32767);
    EXPECT_EQ(load(b, "huge.bmp"), None);
    Bytes j = jpeg(16, 16);
    ASSERT_FALSE(j.empty());
    setJpegSize(j, 32767, 32767);
    EXPECT_EQ(load(j, "huge.jpg"), None);
    Bytes p = png(4, 4);
    ASSERT_FALSE(p.empty());
    setPngSize(p, 32767, 32767);
    EXPECT_EQ(load(p, "huge.png"), None);
}

TEST_F(HostileLoad, SizesBeyondTheEngineOrNegativeAreRefused) {
    for (std::int32_t w : {0, -1, -4, 32768, 65535, 2147483647, INT32_MIN}) {
        Bytes b = bmp24(4, 4);
        setBmpSize(b, w, 4);
        EXPECT_EQ(load(b, "w.bmp"), None) << "BMP width " << w;
    }
    // A negative height means rows stored top-down; its size must still fit.
    for (std::int32_t h : {0, 32768, -32768, 65535, 2147483647, INT32_MIN}) {
        Bytes b = bmp24(4, 4);
        setBmpSize(b, 4, h);
        EXPECT_EQ(load(b, "h.bmp"), None) << "BMP height " << h;
    }
    // A top-down BMP (negative height) is legal and loads at its true size.
    Bytes td = bmp24(4, 4);
    setBmpSize(td, 4, -4);
    EXPECT_EQ(load(td, "topdown.bmp"), std::make_pair(4, 4));

    for (std::uint32_t w : {0u, 32768u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        Bytes p = png(4, 4);
        setPngSize(p, w, 4);
        EXPECT_EQ(load(p, "w.png"), None) << "PNG width " << w;
        setPngSize(p, 4, w);
        EXPECT_EQ(load(p, "h.png"), None) << "PNG height " << w;
    }
    for (int w : {0, 32768, 65535}) {
        Bytes j = jpeg(16, 16);
        setJpegSize(j, w, 16);
        EXPECT_EQ(load(j, "w.jpg"), None) << "JPEG width " << w;
        setJpegSize(j, 16, w);
        EXPECT_EQ(load(j, "h.jpg"), None) << "JPEG height " << w;
    }
}

struct Kind {
    const char* name;
    Bytes bytes;
    int w, h;
};

std::vector<Kind> kinds() {
    return {{"bmp24", bmp24(37, 23), 37, 23}, {"bmp8", bmp8(37, 23, 200), 37, 23},
            {"jpeg", jpeg(120, 80), 120, 80},  {"png", png(60, 40), 60, 40},
            {"png interlaced", png(60, 40, true), 60, 40}};
}

TEST_F(HostileLoad, FilesCutAtEveryTenthLoadAtTheirSizeOrNotAtAll) {
    for (const Kind& k : kinds()) {
        ASSERT_FALSE(k.bytes.empty()) << k.name;
        EXPECT_EQ(load(k.bytes, "whole"), std::make_pair(k.w, k.h)) << k.name;
        for (int tenth = 0; tenth < 10; ++tenth) {
            Bytes cut(k.bytes.begin(), k.bytes.begin() + static_cast<std::ptrdiff_t>(k.bytes.size() * tenth / 10));
            std::pair<int, int> got = load(cut, "cut");
            if (got != None) {
                EXPECT_EQ(got, std::make_pair(k.w, k.h)) << k.name << " cut at " << tenth * 10 << "%";
            }
            // A JPEG cut after its header decodes as far as its data goes.
            if (std::string(k.name) == "jpeg" && tenth >= 5) {
                EXPECT_EQ(got, std::make_pair(k.w, k.h)) << "JPEG cut at " << tenth * 10 << "%";
            }
        }
    }
}

TEST_F(HostileLoad, BmpPalettesThatLie) {
    Bytes good = bmp8(16, 8, 16);
    ASSERT_EQ(load(good, "p.bmp"), std::make_pair(16, 8));
    // Palette claimed far larger than the file: cut inside the palette.
    Bytes b = good;
    b[46] = 0x00;  // biClrUsed = 0x00010000... colours
    b[47] = 0x00;
    b[48] = 0x01;
    load(b, "p1.bmp");
    // The file ends in the middle of its palette.
    Bytes cut(good.begin(), good.begin() + 14 + 40 + 4 * 5);
    EXPECT_EQ(load(cut, "p2.bmp"), None);
    // Pixel data offset past the end of the file.
    Bytes off = good;
    off[10] = 0xFF;
    off[11] = 0xFF;
    off[12] = 0xFF;
    off[13] = 0x7F;
    load(off, "p3.bmp");
    // Indices past the palette's end (2 colours, pixels up to 15).
    tvtest::BmpSpec s;
    s.width = 16;
    s.height = 2;
    s.bits = 8;
    s.palette = {0x000000, 0xFFFFFF};
    s.colorsUsed = 2;
    s.data.assign(32, 0);
    for (int i = 0; i < 32; ++i) s.data[i] = static_cast<std::uint8_t>(i * 8);
    EXPECT_EQ(load(tvtest::build_bmp(s), "p4.bmp"), std::make_pair(16, 2));
    // 4-bit and 1-bit pictures whose palette is missing altogether.
    for (int bits : {1, 4, 8}) {
        tvtest::BmpSpec n;
        n.width = 8;
        n.height = 2;
        n.bits = bits;
        n.data.assign(8, 0xAB);
        Bytes nb = tvtest::build_bmp(n);
        nb.resize(14 + 40);  // no palette, no pixels
        EXPECT_EQ(load(nb, "p5.bmp"), None) << bits << " bits";
    }
}

TEST_F(HostileLoad, PngChunksWithBadCrc) {
    Bytes good = png(20, 10);
    ASSERT_EQ(load(good), std::make_pair(20, 10));
    // A damaged header chunk: the file is not believed.
    Bytes h = good;
    h[findChunk(h, "IHDR") + 8 + 13] ^= 0x5A;
    EXPECT_EQ(load(h, "ihdr.png"), None);
    // A damaged ancillary chunk is dropped; the picture loads.
    Bytes t = good;
    insertChunk(t, findChunk(t, "IDAT"), "tEXt", std::string("Comment\0hello", 13));
    ASSERT_EQ(load(t, "text.png"), std::make_pair(20, 10));
    t[findChunk(t, "tEXt") + 10] ^= 0x01;
    EXPECT_EQ(load(t, "text_bad.png"), std::make_pair(20, 10));
    // Damaged pixel data: loaded at its size or refused, never a crash.
    Bytes d = good;
    std::size_t idat = findChunk(d, "IDAT");
    d[idat + 8 + be32(d, idat) / 2] ^= 0xFF;
    std::pair<int, int> got = load(d, "idat.png");
    if (got != None) {
        EXPECT_EQ(got, std::make_pair(20, 10));
    }
    // A chunk claiming 2 GB of data.
    Bytes l = good;
    putBe32(l, findChunk(l, "IDAT"), 0x7FFFFFF0u);
    got = load(l, "len.png");
    if (got != None) {
        EXPECT_EQ(got, std::make_pair(20, 10));
    }
}

TEST_F(HostileLoad, NotAFileInThePlaceOfOne) {
    std::string folder = dir.file("x.jpg");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    EXPECT_EQ(img::image_load(engine, folder), img::NoImage);
    EXPECT_EQ(img::image_load(engine, dir.file("missing.png")), img::NoImage);
#ifdef _WIN32
    // A device named in the place of a file.
    EXPECT_EQ(img::image_load(engine, "NUL"), img::NoImage);
#else
    std::string dangling = dir.file("gone.jpg");
    ASSERT_EQ(symlink(dir.file("nowhere.jpg").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(img::image_load(engine, dangling), img::NoImage);
    std::string loop = dir.file("loop.jpg");
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    EXPECT_EQ(img::image_load(engine, loop), img::NoImage);
    // A link to a real picture loads it.
    ASSERT_TRUE(tvtest::write_file(dir.file("real.png"), png(5, 3)));
    ASSERT_EQ(symlink(dir.file("real.png").c_str(), dir.file("link.jpg").c_str()), 0);
    img::ImageHandle h = img::image_load(engine, dir.file("link.jpg"));
    EXPECT_EQ(img::image_width(engine, h), 5);
    img::image_free(engine, h);
#endif
}

TEST_F(HostileLoad, OddFileNamesLoad) {
    const Bytes pic = png(7, 3);
    const std::string names[] = {"with space.png", "quote\"d'.png", "new\nline.png", std::string("\xff\xfe bad \x80.png"),
                                 std::string(251, 'n') + ".png", "-leading-dash.png", "semi;colon $(x) *.png"};
    for (const std::string& n : names) {
#ifdef _WIN32
        // Windows takes none of these in a name, nor bytes that are not UTF-8.
        if (n.find_first_of("\"\n*:<>?|") != std::string::npos ||
            std::any_of(n.begin(), n.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
            continue;
#endif
        ASSERT_LE(n.size(), 255u);
        EXPECT_EQ(load(pic, n), std::make_pair(7, 3)) << n.size() << "-byte name";
    }
}

TEST_F(HostileLoad, PicturesOverThePixelLimitAreRefused) {
    // 100 x 100: 30000 bytes of pixels at 24 bits.
    const Kind cases[] = {{"bmp", bmp24(100, 100), 100, 100},
                          {"jpeg", jpeg(100, 100), 100, 100},
                          {"png", png(100, 100), 100, 100},
                          {"png interlaced", png(100, 100, true), 100, 100}};
    for (const Kind& k : cases) {
        engine.maxPixelBytes = 40000;
        EXPECT_EQ(load(k.bytes), std::make_pair(100, 100)) << k.name << " under the limit";
        engine.maxPixelBytes = 30000;
        EXPECT_EQ(load(k.bytes), std::make_pair(100, 100)) << k.name << " exactly at the limit";
        engine.maxPixelBytes = 29999;
        EXPECT_EQ(load(k.bytes), None) << k.name << " one byte over the limit";
        engine.maxPixelBytes = 1000;
        EXPECT_EQ(load(k.bytes), None) << k.name;
    }
}

// RLE streams long enough to carry a 32-bit column past INT_MAX in steps of
// 255, given straight to the BMP reader (the fixture's pixel limit would
// refuse files this long before reading them; the program's own limit does
// not). A run or delta past the right edge must stop there: the probe drawn
// after it on the same row goes nowhere, and the next line starts clean.
TEST(HostileBmp, RleCountersStopAtThePictureEdge) {
    constexpr std::size_t Steps = (std::size_t{1} << 31) / 255 + 64;
    struct Case {
        const char* name;
        std::uint32_t compression;  // 1 RLE8, 2 RLE4
        Bytes step;                 // repeated Steps times in all
        int rows;                   // the steps spread over this many rows, climbed by deltas
        int fill;                   // palette index the steps leave on the rest of the bottom row
    };
    const Case cases[] = {
        {"RLE8 deltas right", 1, {0, 2, 255, 0}, 1, 0},
        {"RLE4 deltas right", 2, {0, 2, 255, 0}, 1, 0},
        {"RLE8 runs", 1, {255, 3}, 1, 3},
        {"RLE4 runs", 2, {255, 0x33}, 1, 3},
        {"RLE8 deltas right, then up a row", 1, {0, 2, 255, 0}, 64, 0},
    };
    const Bytes colour[4] = {{0x10, 0, 0}, {0xFF, 0, 0}, {0, 0xFF, 0}, {0, 0, 0xFF}};
    constexpr int W = 8;
    Bytes file;  // one buffer for every case: tens of megabytes, faulted in once
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool four = c.compression == 2;
        tvtest::BmpSpec s;
        s.width = W;
        s.height = c.rows + 1;
        s.bits = four ? 4 : 8;
        s.compression = c.compression;
        s.palette = {0x000010, 0x0000FF, 0x00FF00, 0xFF0000};
        // Headers and palette, then the stream appended in place. The size
        // fields stay 0: the reader goes by the bytes it is given.
        const Bytes head = tvtest::build_bmp(s);
        file.assign(head.begin(), head.end());
        auto add = [&file](const Bytes& b) { file.insert(file.end(), b.begin(), b.end()); };
        add({2, static_cast<std::uint8_t>(four ? 0x11 : 1)});  // index 1 at x = 0, 1 of the bottom row
        const std::size_t rowBytes = (Steps + c.rows - 1) / c.rows * c.step.size();
        for (int r = 0; r < c.rows; ++r) {
            if (r) add({0, 2, 0, 1});
            const std::size_t at = file.size();
            file.resize(at + rowBytes);
            std::uint8_t* row = file.data() + at;  // one step, then doubled
            std::memcpy(row, c.step.data(), c.step.size());
            for (std::size_t have = c.step.size(); have < rowBytes; have *= 2)
                std::memcpy(row + have, row, std::min(have, rowBytes - have));
        }
        add({4, static_cast<std::uint8_t>(four ? 0x22 : 2)});              // the probe
        add({0, 0, 1, static_cast<std::uint8_t>(four ? 0x20 : 2), 0, 1});  // index 2 at x = 0 of the top row

        img::Engine e;
        img::Image* im = img::detail::read_bmp(e, file.data(), file.size());
        ASSERT_NE(im, nullptr);
        EXPECT_EQ(im->width, W);
        EXPECT_EQ(im->height, s.height);
        for (int y = 0; y < im->height; ++y) {
            for (int x = 0; x < W; ++x) {
                int want = 0;
                if (y == im->height - 1) want = x < 2 ? 1 : c.fill;
                if (y == 0 && x == 0) want = 2;
                const std::uint8_t* p = tvtest::pixel_at(*im, x, y);
                EXPECT_EQ(Bytes(p, p + 3), colour[want]) << x << ", " << y;
            }
        }
        img::detail::destroy_image(im);
    }
}

}  // namespace

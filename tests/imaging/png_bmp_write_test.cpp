// PNG encoder and BMP writer: the bytes written for each kind of source,
// files read back with libpng, and failures that must give 0.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image_test_util.h"
#include "imaging/image.h"
#include "imaging/quantizer.h"
#include "test_pic.h"

using namespace tv::img;
namespace fs = std::filesystem;

namespace {

using tvtest::Pic;

// Every byte of every pixel differs from its neighbours; padding bytes are
// set to a marker so that leaks into files are seen.
Pic make_pic(int w, int h, int depth, std::uint32_t seed = 1) {
    Pic p = tvtest::blank_pic(w, h, depth, 0xAB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < depth / 8; ++c) {
                seed = seed * 1664525u + 1013904223u;
                p.at(x, y)[c] = static_cast<std::uint8_t>(seed >> 24);
            }
    return p;
}

std::vector<std::uint8_t> slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t o) {
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (static_cast<std::uint32_t>(b[o + 3]) << 24);
}
std::uint32_t le16(const std::vector<std::uint8_t>& b, std::size_t o) { return b[o] | (b[o + 1] << 8); }

using tvtest::TempDir;

// What libpng finds in a written file.
struct PngRead {
    bool ok = false;
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    int paletteSize = -1;
    std::vector<png_color> palette;
    bool hasTrns = false;
    bool hasGama = false;
    png_fixed_point gama = 0;
    bool hasIccp = false;
    std::string iccName;
    std::vector<std::uint8_t> icc;
    bool hasExif = false;
    std::vector<std::uint8_t> exif;
    std::vector<std::vector<std::uint8_t>> rows;  // top row first; one byte per palette index
};

[[noreturn]] void read_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void read_warning(png_structp, png_const_charp) {}

void read_png_into(std::FILE* f, PngRead& r) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, read_error, read_warning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        r.ok = false;
        return;
    }
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_PACKING, nullptr);
    r.width = png_get_image_width(png, info);
    r.height = png_get_image_height(png, info);
    r.bitDepth = png_get_bit_depth(png, info);
    r.colourType = png_get_color_type(png, info);
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &pal, &n) & PNG_INFO_PLTE) {
        r.paletteSize = n;
        r.palette.assign(pal, pal + n);
    }
    r.hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    r.hasGama = png_get_gAMA_fixed(png, info, &r.gama) != 0;
    png_charp name = nullptr;
    int comp = 0;
    png_bytep prof = nullptr;
    png_uint_32 plen = 0;
    if (png_get_iCCP(png, info, &name, &comp, &prof, &plen) & PNG_INFO_iCCP) {
        r.hasIccp = true;
        r.iccName = name;
        r.icc.assign(prof, prof + plen);
    }
    png_bytep ex = nullptr;
    png_uint_32 exn = 0;
    if (png_get_eXIf_1(png, info, &exn, &ex) & PNG_INFO_eXIf) {
        r.hasExif = true;
        r.exif.assign(ex, ex + exn);
    }
    png_bytepp rows = png_get_rows(png, info);
    std::size_t rb = png_get_rowbytes(png, info);
    for (png_uint_32 y = 0; y < r.height; ++y) r.rows.emplace_back(rows[y], rows[y] + rb);
    png_destroy_read_struct(&png, &info, nullptr);
    r.ok = true;
}

PngRead read_png(const std::string& path) {
    PngRead r;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return r;
    read_png_into(f, r);
    std::fclose(f);
    // Unpacking changes what libpng reports: take depth and type from IHDR.
    std::vector<std::uint8_t> b = slurp(path);
    if (b.size() > 26) {
        r.bitDepth = b[24];
        r.colourType = b[25];
    }
    return r;
}

// Inflates the IDAT stream: its zlib level bits and the filter byte of
// every row.
struct IdatInfo {
    bool ok = false;
    int zlibLevel = -1;
    std::vector<int> filters;
};

IdatInfo inspect_idat(const std::string& path, std::size_t rowBytes, int rows) {
    IdatInfo out;
    std::vector<std::uint8_t> b = slurp(path);
    std::vector<std::uint8_t> z;
    std::size_t o = 8;
    while (o + 8 <= b.size()) {
        std::uint32_t len = (b[o] << 24) | (b[o + 1] << 16) | (b[o + 2] << 8) | b[o + 3];
        std::string type(reinterpret_cast<const char*>(&b[o + 4]), 4);
        if (type == "IDAT") z.insert(z.end(), b.begin() + o + 8, b.begin() + o + 8 + len);
        o += 12 + len;
    }
    if (z.size() < 2) return out;
    out.zlibLevel = z[1] >> 6;
    std::vector<std::uint8_t> raw((rowBytes + 1) * rows);
    uLongf n = raw.size();
    if (uncompress(raw.data(), &n, z.data(), z.size()) != Z_OK || n != raw.size()) return out;
    for (int y = 0; y < rows; ++y) out.filters.push_back(raw[y * (rowBytes + 1)]);
    out.ok = true;
    return out;
}

const ImageEncoder* png_encoder(Engine& e) {
    register_png_encoder(e);
    for (const ImageEncoder& enc : e.encoders)
        if (enc.id == PngEncoderId) return &enc;
    return nullptr;
}

int bmp(const std::string& path, const Pic& p, int outDepth, int flags = BottomUp, const Engine* e = nullptr) {
    return detail::write_bmp(path.c_str(), p.px.data(), p.pitch, p.w, p.h, p.depth, flags, 7, outDepth, e);
}

// Engine for the cancel check: answers "stop" from the n-th question on.
struct CancelAfter {
    Engine engine;
    std::atomic<int> asked{0};
    explicit CancelAfter(int n) {
        engine.cancel = [this, n] { return ++asked > n; };
    }
};

}  // namespace

// ---------------------------------------------------------------- BMP

TEST(BmpWriter, HeaderFieldsOfA24BitFile) {
    TempDir t;
    Pic p = make_pic(5, 3, 24);
    ASSERT_EQ(bmp(t.file("a.bmp"), p, 24), 1);
    std::vector<std::uint8_t> b = slurp(t.file("a.bmp"));
    const std::uint32_t R = 16;  // ((5 * 24 + 31) / 32) * 4
    ASSERT_EQ(b.size(), 54 + R * 3);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 54 + R * 3);
    EXPECT_EQ(le16(b, 6), 0u);
    EXPECT_EQ(le16(b, 8), 0u);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 5u);
    EXPECT_EQ(le32(b, 22), 3u);
    EXPECT_EQ(le16(b, 26), 1u);
    EXPECT_EQ(le16(b, 28), 24u);
    EXPECT_EQ(le32(b, 30), 0u);
    EXPECT_EQ(le32(b, 34), R * 3);
    for (std::size_t o = 38; o < 54; o += 4) EXPECT_EQ(le32(b, o), 0u) << o;
}

TEST(BmpWriter, PaletteFilesHaveTheirRowSizesAndPalettes) {
    struct Case {
        int w, h, d;
        std::uint32_t R;
    };
    // 33 pixels at 1 bit: 8 bytes; 100 pixels at 4 bits: 52 bytes.
    for (Case c : {Case{33, 4, 1, 8}, Case{100, 3, 4, 52}, Case{13, 5, 8, 16}}) {
        TempDir t;
        Pic p = make_pic(c.w, c.h, 24, 5);
        ASSERT_EQ(bmp(t.file("p.bmp"), p, c.d), 1) << c.d;
        std::vector<std::uint8_t> b = slurp(t.file("p.bmp"));
        const std::uint32_t entries = 1u << c.d;
        const std::uint32_t offset = 54 + 4 * entries;
        ASSERT_EQ(b.size(), offset + c.R * c.h) << c.d;
        EXPECT_EQ(le32(b, 2), b.size());
        EXPECT_EQ(le32(b, 10), offset);
        EXPECT_EQ(le16(b, 28), static_cast<std::uint32_t>(c.d));
        EXPECT_EQ(le32(b, 34), c.R * c.h);
        EXPECT_EQ(le32(b, 46), 0u);

        PaletteQuantizer* q = quantizer_build(p.px.data(), p.w, p.h, 24, p.pitch, c.d, 7);
        ASSERT_NE(q, nullptr);
        for (std::uint32_t i = 0; i < entries; ++i) {
            EXPECT_EQ(b[54 + 4 * i + 0], q->palette[i][0]);
            EXPECT_EQ(b[54 + 4 * i + 1], q->palette[i][1]);
            EXPECT_EQ(b[54 + 4 * i + 2], q->palette[i][2]);
            EXPECT_EQ(b[54 + 4 * i + 3], 0);
        }
        // Rows in file order are the memory rows (both bottom-up).
        for (int y = 0; y < c.h; ++y) {
            const std::uint8_t* row = quantizer_index_row(*q, y);
            EXPECT_EQ(std::memcmp(&b[offset + c.R * y], row, c.R), 0) << "row " << y;
        }
        quantizer_release(q);
    }
}

TEST(BmpWriter, EqualBytesPerSourceKind) {
    TempDir t;
    // 24-bit image at 24 bits: the pixel block as it is in memory.
    {
        Pic p = make_pic(7, 4, 24);
        ASSERT_EQ(bmp(t.file("a.bmp"), p, 24), 1);
        std::vector<std::uint8_t> b = slurp(t.file("a.bmp"));
        ASSERT_EQ(b.size(), 54 + p.px.size());
        EXPECT_EQ(std::memcmp(&b[54], p.px.data(), p.px.size()), 0);
    }
    // 24-bit image (a 32-bit BMP loaded as 24) at 32 bits: fourth byte 0.
    for (int w : {1, 6}) {
        Pic p = make_pic(w, 3, 24);
        ASSERT_EQ(bmp(t.file("b.bmp"), p, 32), 1);
        std::vector<std::uint8_t> b = slurp(t.file("b.bmp"));
        ASSERT_EQ(b.size(), 54u + 4u * w * 3);
        EXPECT_EQ(le16(b, 28), 32u);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* f = &b[54 + (y * w + x) * 4];
                EXPECT_EQ(std::memcmp(f, p.at(x, y), 3), 0);
                EXPECT_EQ(f[3], 0) << "width " << w;  // not the row's padding byte
            }
    }
    // 32-bit image at 32 bits keeps its alpha, whatever the row order.
    for (int flags : {BottomUp, 0}) {
        Pic p = make_pic(5, 4, 32);
        ASSERT_EQ(bmp(t.file("c.bmp"), p, 32, flags), 1);
        std::vector<std::uint8_t> b = slurp(t.file("c.bmp"));
        ASSERT_EQ(b.size(), 54u + 20u * 4);
        for (int y = 0; y < 4; ++y) {
            int mem = flags == BottomUp ? y : 3 - y;
            EXPECT_EQ(std::memcmp(&b[54 + 20 * y], p.at(0, mem), 20), 0) << "flags " << flags << " row " << y;
        }
    }
    // 32-bit image written at 24 bits is composited over white; widths 1 to 3
    // have a 32-bit pitch equal to the 24-bit row size and must still be converted.
    for (int w : {2, 3, 9}) {
        Pic p = make_pic(w, 2, 32);
        std::uint8_t probe[4] = {0, 0, 255, 128};
        std::memcpy(p.at(0, 0), probe, 4);
        ASSERT_EQ(bmp(t.file("d.bmp"), p, 16), 1);  // 16 bits is written at 24
        std::vector<std::uint8_t> b = slurp(t.file("d.bmp"));
        const int R = ((w * 24 + 31) / 32) * 4;
        ASSERT_EQ(b.size(), 54u + R * 2u);
        EXPECT_EQ(le16(b, 28), 24u);
        EXPECT_EQ(b[54], 127);
        EXPECT_EQ(b[55], 127);
        EXPECT_EQ(b[56], 255);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* s = p.at(x, y);
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(b[54 + R * y + 3 * x + c], ((s[c] - 255) * s[3] + 65025) / 255) << w << " " << x;
            }
    }
}

TEST(BmpWriter, DepthsWithoutABmpFormAreWrittenAt24Bits) {
    TempDir t;
    Pic p = make_pic(6, 3, 24);
    for (int d : {2, 16, 0, 3, 12, 48, -1}) {
        ASSERT_EQ(bmp(t.file("x.bmp"), p, d), 1) << d;
        std::vector<std::uint8_t> b = slurp(t.file("x.bmp"));
        EXPECT_EQ(le16(b, 28), 24u) << d;
        ASSERT_EQ(b.size(), 54 + p.px.size());
        for (int y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(&b[54 + p.pitch * y], p.at(0, y), 18), 0);
    }
}

TEST(BmpWriter, TopDownMemoryIsWrittenBottomRowFirst) {
    TempDir t;
    Pic p = make_pic(4, 5, 24);
    ASSERT_EQ(bmp(t.file("t.bmp"), p, 24, 0), 1);
    std::vector<std::uint8_t> b = slurp(t.file("t.bmp"));
    for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(&b[54 + p.pitch * y], p.at(0, 4 - y), 12), 0);
    // Palette rows too: the file's first row is the last memory row.
    ASSERT_EQ(bmp(t.file("t8.bmp"), p, 8, 0), 1);
    std::vector<std::uint8_t> b8 = slurp(t.file("t8.bmp"));
    PaletteQuantizer* q = quantizer_build(p.px.data(), p.w, p.h, 24, p.pitch, 8, 7);
    ASSERT_NE(q, nullptr);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(&b8[54 + 1024 + 4 * y], quantizer_index_row(*q, 4 - y), 4), 0);
    quantizer_release(q);
}

TEST(BmpWriter, FailuresGiveZero) {
    TempDir t;
    Pic p = make_pic(8, 8, 24);
    EXPECT_EQ(bmp(t.file("no/such/folder/x.bmp"), p, 24), 0);
    EXPECT_FALSE(fs::exists(t.file("no")));
    EXPECT_EQ(bmp("", p, 24), 0);
    // A full disk: every depth path reports the failed write.
    if (fs::exists("/dev/full")) {
        for (int d : {1, 8, 24, 32}) EXPECT_EQ(bmp("/dev/full", p, d), 0) << d;
        Pic big = make_pic(600, 400, 24);
        EXPECT_EQ(bmp("/dev/full", big, 24), 0);
    }
    // Pixels the writer cannot take, and sizes out of range.
    EXPECT_EQ(detail::write_bmp(t.file("y.bmp").c_str(), p.px.data(), p.pitch, 8, 8, 16, BottomUp, 7, 16, nullptr), 0);
    EXPECT_EQ(detail::write_bmp(t.file("y.bmp").c_str(), p.px.data(), p.pitch, 0, 8, 24, BottomUp, 7, 24, nullptr), 0);
    EXPECT_EQ(detail::write_bmp(t.file("y.bmp").c_str(), nullptr, p.pitch, 8, 8, 24, BottomUp, 7, 24, nullptr), 0);
    EXPECT_EQ(detail::write_bmp(t.file("y.bmp").c_str(), p.px.data(), 4, 8, 8, 24, BottomUp, 7, 24, nullptr), 0);
}

TEST(BmpWriter, CancelBetweenRowsGivesZero) {
    TempDir t;
    Pic p = make_pic(10, 10, 24);
    Pic a = make_pic(10, 10, 32);
    for (int d : {8, 32}) {
        CancelAfter c(3);
        EXPECT_EQ(bmp(t.file("c.bmp"), p, d, BottomUp, &c.engine), 0) << d;
        EXPECT_GT(c.asked.load(), 3);
    }
    CancelAfter c(3);
    EXPECT_EQ(bmp(t.file("c.bmp"), a, 24, BottomUp, &c.engine), 0);
    // The one-write path is asked once, before it starts.
    CancelAfter at_once(0);
    EXPECT_EQ(bmp(t.file("c.bmp"), p, 24, BottomUp, &at_once.engine), 0);
    CancelAfter never(1000000);
    EXPECT_EQ(bmp(t.file("c.bmp"), p, 8, BottomUp, &never.engine), 1);
}

// ---------------------------------------------------------------- PNG

TEST(PngEncoder, RegistersOnceUnderItsIdentifier) {
    Engine e;
    register_png_encoder(e);
    register_png_encoder(e);
    int found = 0;
    for (const ImageEncoder& enc : e.encoders)
        if (enc.id == 0x00474E50) {
            ++found;
            EXPECT_NE(enc.encode_rgb, nullptr);
            EXPECT_NE(enc.encode_rgba, nullptr);
        }
    EXPECT_EQ(found, 1);
}

TEST(PngEncoder, RgbAndRgbaRowsComeBackUnchangedTopRowFirst) {
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    for (int alpha : {0, 1}) {
        for (int flags : {BottomUp, 0}) {
            for (int d : {24, 32, 0, 16}) {
                Pic p = make_pic(11, 6, alpha ? 32 : 24, 9);
                EncodeFn fn = alpha ? enc->encode_rgba : enc->encode_rgb;
                std::string path = t.file("r.png");
                ASSERT_EQ(fn(path.c_str(), p.px.data(), p.w, p.h, p.pitch, flags, 7, d, nullptr, nullptr), 1);
                PngRead r = read_png(path);
                ASSERT_TRUE(r.ok);
                EXPECT_EQ(r.width, 11u);
                EXPECT_EQ(r.height, 6u);
                EXPECT_EQ(r.bitDepth, 8);
                EXPECT_EQ(r.colourType, alpha ? 6 : 2);
                EXPECT_EQ(r.paletteSize, -1);
                EXPECT_FALSE(r.hasTrns);
                EXPECT_FALSE(r.hasGama);
                const int bpp = alpha ? 4 : 3;
                for (int y = 0; y < 6; ++y) {
                    int mem = flags == BottomUp ? 5 - y : y;
                    for (int x = 0; x < 11; ++x) {
                        const std::uint8_t* s = p.at(x, mem);
                        const std::uint8_t* f = &r.rows[y][x * bpp];
                        ASSERT_EQ(f[0], s[2]);
                        ASSERT_EQ(f[1], s[1]);
                        ASSERT_EQ(f[2], s[0]);
                        if (alpha) {
                            ASSERT_EQ(f[3], s[3]);
                        }
                    }
                }
                IdatInfo z = inspect_idat(path, 11 * bpp, 6);
                ASSERT_TRUE(z.ok);
                EXPECT_EQ(z.zlibLevel, 3);  // level 9 sets the "maximum compression" bits
                for (int f : z.filters) EXPECT_EQ(f, 0);
            }
        }
    }
}

TEST(PngEncoder, PaletteFilesAtEachDepth) {
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    for (int alpha : {0, 1}) {
        Pic p = make_pic(37, 9, alpha ? 32 : 24, 4);
        if (alpha)  // some fully transparent pixels: still no tRNS
            for (int x = 0; x < 10; ++x) p.at(x, 2)[3] = 0;
        for (int d : {1, 2, 4, 8}) {
            EncodeFn fn = alpha ? enc->encode_rgba : enc->encode_rgb;
            std::string path = t.file("p.png");
            ASSERT_EQ(fn(path.c_str(), p.px.data(), p.w, p.h, p.pitch, BottomUp, 7, d, nullptr, nullptr), 1) << d;
            PngRead r = read_png(path);
            ASSERT_TRUE(r.ok);
            EXPECT_EQ(r.colourType, 3);
            EXPECT_EQ(r.bitDepth, d);
            EXPECT_EQ(r.paletteSize, 1 << d);
            EXPECT_FALSE(r.hasTrns);
            EXPECT_TRUE(r.hasGama);
            EXPECT_EQ(r.gama, 180000);
            PaletteQuantizer* q = quantizer_build(p.px.data(), p.w, p.h, p.depth, p.pitch, d, 7);
            ASSERT_NE(q, nullptr);
            for (int i = 0; i < (1 << d); ++i) {
                EXPECT_EQ(r.palette[i].red, q->palette[i][2]);
                EXPECT_EQ(r.palette[i].green, q->palette[i][1]);
                EXPECT_EQ(r.palette[i].blue, q->palette[i][0]);
            }
            for (int y = 0; y < p.h; ++y) {
                int mem = p.h - 1 - y;
                for (int x = 0; x < p.w; ++x) {
                    const std::uint8_t* s = p.at(x, mem);
                    int want = quantizer_index(*q, s[0], s[1], s[2], alpha ? s[3] : 255);
                    ASSERT_EQ(r.rows[y][x], want) << "depth " << d << " x " << x << " y " << y;
                }
            }
            quantizer_release(q);
            IdatInfo z = inspect_idat(path, (37 * d + 7) / 8, 9);
            ASSERT_TRUE(z.ok);
            for (int f : z.filters) EXPECT_EQ(f, 0);
        }
    }
}

TEST(PngEncoder, OddPaletteDepthsAreRefused) {
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    Pic p = make_pic(8, 8, 24);
    for (int d : {3, 5, 6, 7})
        EXPECT_EQ(enc->encode_rgb(t.file("o.png").c_str(), p.px.data(), 8, 8, p.pitch, BottomUp, 7, d, nullptr, nullptr),
                  0)
            << d;
}

namespace {
// A small well-formed RGB display profile: a 132-byte header and one
// tag. The tag is filled with noise: libpng's reader refuses an iCCP chunk
// whose compressed data is very short, which a real profile never is.
std::vector<std::uint8_t> tiny_icc() {
    tvtest::Bytes p = tvtest::icc_profile("RGB ", 400);
    tvtest::put_be32(p, 128, 1);  // tag count
    std::memcpy(&p[132], "wtpt", 4);
    tvtest::put_be32(p, 136, 144);
    tvtest::put_be32(p, 140, 256);
    std::memcpy(&p[144], "XYZ ", 4);
    tvtest::put_be32(p, 148, 0);
    std::uint32_t seed = 77;
    for (std::size_t k = 152; k < p.size(); ++k) {
        seed = seed * 1664525u + 1013904223u;
        p[k] = static_cast<std::uint8_t>(seed >> 24);
    }
    return p;
}
}  // namespace

TEST(PngEncoder, ProfileAndExifAreWrittenOnlyWhenPresent) {
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    Pic p = make_pic(6, 4, 24);
    std::string path = t.file("m.png");
    Image meta;
    for (int d : {24, 8}) {
        meta.icc.clear();
        meta.exif.clear();
        ASSERT_EQ(enc->encode_rgb(path.c_str(), p.px.data(), 6, 4, p.pitch, BottomUp, 7, d, &meta, nullptr), 1);
        PngRead none = read_png(path);
        ASSERT_TRUE(none.ok);
        EXPECT_FALSE(none.hasIccp);
        EXPECT_FALSE(none.hasExif);

        meta.icc = tiny_icc();
        meta.exif = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
        ASSERT_EQ(enc->encode_rgb(path.c_str(), p.px.data(), 6, 4, p.pitch, BottomUp, 7, d, &meta, nullptr), 1);
        PngRead both = read_png(path);
        ASSERT_TRUE(both.ok);
        EXPECT_TRUE(both.hasIccp);
        EXPECT_EQ(both.iccName, "ICC Profile");
        EXPECT_EQ(both.icc, meta.icc);
        EXPECT_TRUE(both.hasExif);
        EXPECT_EQ(both.exif, meta.exif);
        // One eXIf chunk, as the format allows: its name once in the file.
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes.find("eXIf"), bytes.rfind("eXIf")) << "depth " << d;
    }
    // A profile libpng cannot use is left out; the picture is still saved.
    meta.icc.assign(200, 0x5A);
    meta.exif.clear();
    ASSERT_EQ(enc->encode_rgb(path.c_str(), p.px.data(), 6, 4, p.pitch, BottomUp, 7, 24, &meta, nullptr), 1);
    PngRead bad = read_png(path);
    ASSERT_TRUE(bad.ok);
    EXPECT_FALSE(bad.hasIccp);
    EXPECT_EQ(bad.rows.size(), 4u);
}

TEST(PngEncoder, FailuresGiveZero) {
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    Pic p = make_pic(64, 64, 24);
    Pic a = make_pic(64, 64, 32);
    EXPECT_EQ(enc->encode_rgb(t.file("none/x.png").c_str(), p.px.data(), 64, 64, p.pitch, BottomUp, 7, 24, nullptr,
                              nullptr),
              0);
    EXPECT_FALSE(fs::exists(t.file("none")));
    EXPECT_EQ(enc->encode_rgb("", p.px.data(), 64, 64, p.pitch, BottomUp, 7, 24, nullptr, nullptr), 0);
    EXPECT_EQ(enc->encode_rgb(t.file("x.png").c_str(), nullptr, 64, 64, p.pitch, BottomUp, 7, 24, nullptr, nullptr),
              0);
    EXPECT_EQ(enc->encode_rgba(t.file("x.png").c_str(), a.px.data(), 64, 64, 100, BottomUp, 7, 32, nullptr, nullptr),
              0);
    if (fs::exists("/dev/full")) {
        for (int d : {24, 8, 1})
            EXPECT_EQ(enc->encode_rgb("/dev/full", p.px.data(), 64, 64, p.pitch, BottomUp, 7, d, nullptr, nullptr), 0)
                << d;
        EXPECT_EQ(enc->encode_rgba("/dev/full", a.px.data(), 64, 64, a.pitch, BottomUp, 7, 32, nullptr, nullptr), 0);
        Pic big = make_pic(700, 500, 24);  // more than any stdio buffer
        EXPECT_EQ(enc->encode_rgb("/dev/full", big.px.data(), 700, 500, big.pitch, BottomUp, 7, 24, nullptr, nullptr),
                  0);
    }
}

TEST(PngEncoder, CancelBetweenRowsGivesZero) {
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    Pic p = make_pic(20, 20, 24);
    for (int d : {24, 4}) {
        CancelAfter c(5);
        EXPECT_EQ(enc->encode_rgb(t.file("c.png").c_str(), p.px.data(), 20, 20, p.pitch, BottomUp, 7, d, nullptr,
                                  &c.engine),
                  0);
        EXPECT_GT(c.asked.load(), 5);
    }
    CancelAfter never(1000000);
    EXPECT_EQ(enc->encode_rgb(t.file("c.png").c_str(), p.px.data(), 20, 20, p.pitch, BottomUp, 7, 24, nullptr,
                              &never.engine),
              1);
    EXPECT_TRUE(read_png(t.file("c.png")).ok);
}

TEST(PaletteFiles, StopWhileThePaletteIsLearntFailsTheSave) {
    // 512 x 512: 128 checks while the palette is learnt, then one a row.
    Engine e;
    const ImageEncoder* enc = png_encoder(e);
    ASSERT_NE(enc, nullptr);
    TempDir t;
    Pic p = make_pic(512, 512, 24);
    int asked = 0, stopAt = 0;
    e.cancel = [&] { return ++asked == stopAt; };
    auto png = [&](int d) {
        return enc->encode_rgb(t.file("q.png").c_str(), p.px.data(), p.w, p.h, p.pitch, BottomUp, 7, d, nullptr, &e);
    };
    EXPECT_EQ(png(8), 1);
    EXPECT_EQ(asked, 128 + 512);
    for (int d : {8, 1}) {
        asked = 0;
        stopAt = 64;
        EXPECT_EQ(png(d), 0) << d;
        EXPECT_EQ(asked, 64) << d;
        asked = 0;
        EXPECT_EQ(bmp(t.file("q.bmp"), p, d, BottomUp, &e), 0) << d;
        EXPECT_EQ(asked, 64) << d;
    }
}

// ------------------------------------------- through image_save, decoded files

namespace {

struct Loaded {
    Engine e;
    ImageHandle h = NoImage;
    const Image* im = nullptr;
    Loaded() {
        register_jpeg_decoder(e);
        register_jpeg_encoder(e);
        register_png_decoder(e);
        register_png_encoder(e);
    }
    bool load(const std::string& path) {
        if (h != NoImage) image_free(e, h);
        h = image_load(e, path);
        im = image_get(e, h);
        return im != nullptr;
    }
};

const std::uint8_t* pixel(const Image& im, int x, int y) {
    return im.pixels + static_cast<std::size_t>(y) * row_pitch(im.width, im.depth) + x * (im.depth / 8);
}

std::string suite(const std::string& rel) { return std::string(TARVOLIN_TESTDATA) + "/" + rel; }

bool have(const std::string& rel) { return fs::exists(suite(rel)); }

#define NEED_TESTDATA(rel)                                                            \
    do {                                                                              \
        if (!have(rel)) GTEST_SKIP() << "test data not found: " << suite(rel);        \
    } while (0)

}  // namespace

TEST(SaveDecoded, OneBitBmp33PixelsWideKeepsItsDepthAndRowSize) {
    TempDir t;
    // Our own 1-bit file, loaded back as 24 bits with source depth 1.
    Pic p = make_pic(33, 6, 24, 8);
    ASSERT_EQ(bmp(t.file("src.bmp"), p, 1), 1);
    Loaded l;
    ASSERT_TRUE(l.load(t.file("src.bmp")));
    ASSERT_EQ(l.im->source_depth, 1);
    ASSERT_EQ(image_save(l.e, l.h, t.file("out.bmp"), 0), 1);
    std::vector<std::uint8_t> b = slurp(t.file("out.bmp"));
    EXPECT_EQ(le16(b, 28), 1u);
    EXPECT_EQ(le32(b, 10), 54u + 8u);
    EXPECT_EQ(b.size(), 54u + 8u + 8u * 6u);
    // Saved as PNG it is a 1-bit palette file.
    ASSERT_EQ(image_save(l.e, l.h, t.file("out.png"), PngEncoderId), 1);
    PngRead r = read_png(t.file("out.png"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.colourType, 3);
    EXPECT_EQ(r.bitDepth, 1);
    EXPECT_EQ(r.paletteSize, 2);
    // Both outputs load again with the picture's size.
    ASSERT_TRUE(l.load(t.file("out.png")));
    EXPECT_EQ(l.im->width, 33);
    EXPECT_EQ(l.im->height, 6);
}

TEST(SaveDecoded, EightBitPaletteBmpComesBackAsEightBitPalette) {
    NEED_TESTDATA("bmpsuite/g/pal8.bmp");
    TempDir t;
    Loaded l;
    ASSERT_TRUE(l.load(suite("bmpsuite/g/pal8.bmp")));
    ASSERT_EQ(l.im->source_depth, 8);
    ASSERT_EQ(image_save(l.e, l.h, t.file("o.bmp"), 0), 1);
    std::vector<std::uint8_t> b = slurp(t.file("o.bmp"));
    EXPECT_EQ(le16(b, 28), 8u);
    EXPECT_EQ(le32(b, 10), 54u + 1024u);
    const int w = l.im->width, h = l.im->height;
    EXPECT_EQ(b.size(), 54u + 1024u + static_cast<std::size_t>((w + 3) / 4 * 4) * h);
    // The rebuilt palette stays close to the picture: mean error per channel.
    Loaded back;
    ASSERT_TRUE(back.load(t.file("o.bmp")));
    ASSERT_EQ(back.im->width, w);
    ASSERT_EQ(back.im->height, h);
    long err = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) err += std::abs(pixel(*l.im, x, y)[c] - pixel(*back.im, x, y)[c]);
    EXPECT_LT(static_cast<double>(err) / (3.0 * w * h), 12.0);
}

TEST(SaveDecoded, WhatIsWrittenPerSourceKind) {
    struct Case {
        const char* file;
        int pngType, pngDepth;  // colour type and bit depth of the PNG written
        int bmpDepth;           // bits per pixel of the BMP written
    };
    const Case cases[] = {
        {"pngsuite/basn2c08.png", 2, 8, 24},   // RGB PNG
        {"bmpsuite/g/rgb24.bmp", 2, 8, 24},    // 24-bit BMP
        {"bmpsuite/g/rgb32.bmp", 2, 8, 32},    // 32-bit BMP, loaded as 24 bits
        {"pngsuite/basn6a08.png", 6, 8, 32},   // RGB PNG with alpha
        {"pngsuite/basn3p08.png", 3, 8, 8},    // 8-bit palette PNG
        {"pngsuite/basn3p04.png", 3, 4, 4},    // 4-bit palette PNG
        {"pngsuite/basn3p02.png", 3, 2, 24},   // 2-bit palette PNG: no 2-bit BMP
        {"pngsuite/basn0g01.png", 3, 1, 1},    // 1-bit grey PNG
        {"pngsuite/basn4a08.png", 3, 8, 8},    // grey with alpha at 8 bits
        {"pngsuite/tbbn3p08.png", 3, 8, 8},    // palette with transparency: still no tRNS
        {"pngsuite/basn0g16.png", 2, 8, 24},   // 16-bit grey
        {"pngsuite/basn4a16.png", 6, 8, 24},   // 16-bit grey with alpha (32-bit image)
        {"bmpsuite/g/rgb16.bmp", 2, 8, 24},    // 16-bit BMP
    };
    TempDir t;
    int ran = 0;
    for (const Case& c : cases) {
        if (!have(c.file)) continue;
        ++ran;
        Loaded l;
        ASSERT_TRUE(l.load(suite(c.file))) << c.file;
        ASSERT_EQ(image_save(l.e, l.h, t.file("o.png"), PngEncoderId), 1) << c.file;
        PngRead r = read_png(t.file("o.png"));
        ASSERT_TRUE(r.ok) << c.file;
        EXPECT_EQ(r.colourType, c.pngType) << c.file;
        EXPECT_EQ(r.bitDepth, c.pngDepth) << c.file;
        EXPECT_FALSE(r.hasTrns) << c.file;
        EXPECT_EQ(r.hasGama, c.pngType == 3) << c.file;
        if (c.pngType == 3) {
            EXPECT_EQ(r.gama, 180000);
            EXPECT_EQ(r.paletteSize, 1 << c.pngDepth) << c.file;
        }
        ASSERT_EQ(image_save(l.e, l.h, t.file("o.bmp"), 0), 1) << c.file;
        std::vector<std::uint8_t> b = slurp(t.file("o.bmp"));
        ASSERT_GE(b.size(), 54u);
        EXPECT_EQ(le16(b, 28), static_cast<std::uint32_t>(c.bmpDepth)) << c.file;

        const Image& im = *l.im;
        const std::uint32_t R = ((im.width * c.bmpDepth + 31) / 32) * 4;
        const std::uint32_t offset = le32(b, 10);
        ASSERT_EQ(b.size(), offset + R * im.height) << c.file;
        if (c.bmpDepth == 32) {
            // Alpha of a 32-bit image in the fourth byte, 0 for a 24-bit one.
            for (int y = 0; y < im.height; ++y)
                for (int x = 0; x < im.width; ++x) {
                    const std::uint8_t* f = &b[offset + R * y + 4 * x];
                    const std::uint8_t* s = pixel(im, x, y);
                    ASSERT_EQ(std::memcmp(f, s, 3), 0) << c.file;
                    ASSERT_EQ(f[3], im.depth == 32 ? s[3] : 0) << c.file;
                }
        }
        if (c.pngType != 3) {
            // Deep pictures come back from PNG unchanged (16-bit ones as
            // their 24-bit widening).
            Image* wide = im.depth == 16 ? detail::convert16_to_24(l.e, im) : nullptr;
            const Image& want = wide ? *wide : im;
            Loaded back;
            ASSERT_TRUE(back.load(t.file("o.png"))) << c.file;
            ASSERT_EQ(back.im->depth, want.depth == 32 ? 32 : 24) << c.file;
            bool same = true;
            for (int y = 0; y < im.height && same; ++y)
                for (int x = 0; x < im.width && same; ++x)
                    same = std::memcmp(pixel(*back.im, x, y), pixel(want, x, y), want.depth == 32 ? 4 : 3) == 0;
            EXPECT_TRUE(same) << c.file;
            detail::destroy_image(wide);
        }
    }
    if (ran == 0) GTEST_SKIP() << "test data not found under " << TARVOLIN_TESTDATA;
}

TEST(SaveDecoded, EverySuiteFileRoundTripsThroughPngAndBmp) {
    std::vector<std::string> files;
    for (const char* dir : {"pngsuite", "bmpsuite/g"}) {
        std::error_code ec;
        if (!fs::is_directory(suite(dir))) continue;
        for (const auto& ent : fs::directory_iterator(suite(dir), ec)) {
            std::string name = ent.path().filename().string();
            if (name.size() < 4) continue;
            std::string ext = name.substr(name.size() - 4);
            if (ext != ".png" && ext != ".bmp") continue;
            if (name[0] == 'x') continue;  // the suite's corrupt files
            files.push_back(ent.path().string());
        }
    }
    if (files.empty()) GTEST_SKIP() << "test data not found under " << TARVOLIN_TESTDATA;
    std::sort(files.begin(), files.end());
    TempDir t;
    int loaded = 0;
    for (const std::string& f : files) {
        Loaded l;
        if (!l.load(f)) continue;  // what the decoders refuse is their business
        ++loaded;
        for (std::uint32_t enc : {PngEncoderId, BmpEncoderId}) {
            std::string out = t.file(enc == BmpEncoderId ? "rt.bmp" : "rt.png");
            ASSERT_EQ(image_save(l.e, l.h, out, enc), 1) << f;
            Loaded back;
            ASSERT_TRUE(back.load(out)) << f << " -> " << out;
            EXPECT_EQ(back.im->width, l.im->width) << f;
            EXPECT_EQ(back.im->height, l.im->height) << f;
            const int sd = l.im->source_depth;
            // 24-bit pixels of a deep source come back exactly from either file.
            if (l.im->depth == 24 && sd >= 16) {
                for (int y = 0; y < l.im->height; ++y)
                    for (int x = 0; x < l.im->width; ++x)
                        ASSERT_EQ(std::memcmp(pixel(*back.im, x, y), pixel(*l.im, x, y), 3), 0) << f << " " << out;
            }
        }
    }
    EXPECT_GT(loaded, 100);
}

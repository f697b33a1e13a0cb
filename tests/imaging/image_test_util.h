// Helpers for the image engine tests: temporary folders, hand-built BMP
// files, and PNG/JPEG files written with libpng/libjpeg directly.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "imaging/image.h"
#include "support/codecs.h"
#include "support/jpeg_write.h"
#include "support/temp_dir.h"

namespace tvtest {

using Bytes = std::vector<std::uint8_t>;

inline bool write_file(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

inline void put_be32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// An ICC display profile of `size` bytes (132 at least) for data in colour
// space `space` ("RGB ", "CMYK", "GRAY"): the 128-byte header, a tag count of
// 0, and bytes that follow their position, so a profile cut or put together
// in the wrong order shows.
inline Bytes icc_profile(const char (&space)[5], std::size_t size = 132) {
    Bytes p(size, 0);
    put_be32(p, 0, static_cast<std::uint32_t>(size));
    put_be32(p, 8, 0x02100000);  // version 2.1
    std::memcpy(&p[12], "mntr", 4);
    std::memcpy(&p[16], space, 4);
    std::memcpy(&p[20], "XYZ ", 4);
    std::memcpy(&p[36], "acsp", 4);
    put_be32(p, 68, 0x0000F6D6);  // D50 illuminant
    put_be32(p, 72, 0x00010000);
    put_be32(p, 76, 0x0000D32D);
    for (std::size_t i = 132; i < size; ++i) p[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    return p;
}

// A BMP file around the given pixel data (rows exactly as stored in the
// file). palette entries are B,G,R (written with a 4th zero byte, or as
// triples for the 12-byte core header).
struct BmpSpec {
    int width = 1;
    int height = 1;  // negative = top-down
    int bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> masks;  // R, G, B [, A]: after a 40-byte header, or inside V4/V5
    Bytes data;
};

inline Bytes build_bmp(const BmpSpec& s) {
    Bytes hdr;
    if (s.headerSize == 12) {
        put32(hdr, 12);
        put16(hdr, static_cast<std::uint32_t>(s.width));
        put16(hdr, static_cast<std::uint32_t>(s.height));
        put16(hdr, 1);
        put16(hdr, static_cast<std::uint32_t>(s.bits));
    } else {
        put32(hdr, s.headerSize);
        put32(hdr, static_cast<std::uint32_t>(s.width));
        put32(hdr, static_cast<std::uint32_t>(s.height));
        put16(hdr, 1);
        put16(hdr, static_cast<std::uint32_t>(s.bits));
        put32(hdr, s.compression);
        put32(hdr, static_cast<std::uint32_t>(s.data.size()));
        put32(hdr, 2835);
        put32(hdr, 2835);
        put32(hdr, s.colorsUsed);
        put32(hdr, 0);
        if (s.headerSize > 40) {
            for (std::size_t i = 0; i < 4; ++i) put32(hdr, i < s.masks.size() ? s.masks[i] : 0);
            while (hdr.size() < s.headerSize) hdr.push_back(0);
        } else {
            for (std::uint32_t m : s.masks) put32(hdr, m);
        }
    }
    for (std::uint32_t c : s.palette) {
        hdr.push_back(static_cast<std::uint8_t>(c));
        hdr.push_back(static_cast<std::uint8_t>(c >> 8));
        hdr.push_back(static_cast<std::uint8_t>(c >> 16));
        if (s.headerSize != 12) hdr.push_back(0);
    }
    Bytes f{'B', 'M'};
    const std::uint32_t offset = static_cast<std::uint32_t>(14 + hdr.size());
    put32(f, static_cast<std::uint32_t>(offset + s.data.size()));
    put32(f, 0);
    put32(f, offset);
    f.insert(f.end(), hdr.begin(), hdr.end());
    f.insert(f.end(), s.data.begin(), s.data.end());
    return f;
}

struct PngSpec {
    int width = 1;
    int height = 1;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlace = false;
    std::vector<png_color> palette;
    Bytes trnsAlpha;                // palette tRNS
    int trnsGray = -1;              // grey tRNS value
    int trnsRgb[3] = {-1, -1, -1};  // RGB tRNS value
    Bytes icc;
    Bytes exif;
    std::vector<Bytes> rows;  // top row first, packed as PNG stores them
};

inline bool write_png(const std::string& path, const PngSpec& s) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_buffer_size(png, 1024);  // several IDAT chunks, so cut files keep whole rows
    png_set_IHDR(png, info, static_cast<png_uint_32>(s.width), static_cast<png_uint_32>(s.height), s.bitDepth,
                 s.colorType, s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.trnsAlpha.empty())
        png_set_tRNS(png, info, s.trnsAlpha.data(), static_cast<int>(s.trnsAlpha.size()), nullptr);
    if (s.trnsGray >= 0) {
        png_color_16 c{};
        c.gray = static_cast<png_uint_16>(s.trnsGray);
        png_set_tRNS(png, info, nullptr, 0, &c);
    }
    if (s.trnsRgb[0] >= 0) {
        png_color_16 c{};
        c.red = static_cast<png_uint_16>(s.trnsRgb[0]);
        c.green = static_cast<png_uint_16>(s.trnsRgb[1]);
        c.blue = static_cast<png_uint_16>(s.trnsRgb[2]);
        png_set_tRNS(png, info, nullptr, 0, &c);
    }
    if (!s.icc.empty())
        png_set_iCCP(png, info, "test", PNG_COMPRESSION_TYPE_BASE, s.icc.data(), static_cast<png_uint_32>(s.icc.size()));
    if (!s.exif.empty()) png_set_eXIf_1(png, info, static_cast<png_uint_32>(s.exif.size()), const_cast<png_bytep>(s.exif.data()));
    png_write_info(png, info);
    int passes = png_set_interlace_handling(png);
    for (int p = 0; p < passes; ++p)
        for (const Bytes& r : s.rows) png_write_row(png, r.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// Reference reading through libpng's high-level interface: top-down rows of
// B,G,R or B,G,R,A (tRNS always expanded), 8 bits per sample.
struct Decoded {
    int width = 0, height = 0, channels = 0;
    Bytes pixels;  // top row first, width * channels per row
    bool ok = false;
};

inline Decoded reference_png(const std::string& path) {
    Decoded d;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return d;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
                                             [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        d.ok = false;
        return d;
    }
    png_init_io(png, f);
    png_read_png(png, info,
                 PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_GRAY_TO_RGB | PNG_TRANSFORM_BGR, nullptr);
    d.width = static_cast<int>(png_get_image_width(png, info));
    d.height = static_cast<int>(png_get_image_height(png, info));
    d.channels = png_get_channels(png, info);
    png_bytepp rows = png_get_rows(png, info);
    d.pixels.resize(static_cast<std::size_t>(d.width) * d.height * d.channels);
    for (int y = 0; y < d.height; ++y)
        std::copy(rows[y], rows[y] + static_cast<std::size_t>(d.width) * d.channels,
                  d.pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * d.width * d.channels));
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    d.ok = true;
    return d;
}

struct JpegSpec {
    int width = 8;
    int height = 8;
    int components = 3;
    J_COLOR_SPACE inSpace = JCS_RGB;
    J_COLOR_SPACE fileSpace = JCS_UNKNOWN;  // JCS_UNKNOWN = the library's default for inSpace
    bool adobeMarker = true;                // only matters for CMYK/YCCK
    int quality = 95;
    bool progressive = false;
    Bytes exif;  // written as APP1 "Exif\0\0" + exif
    Bytes icc;
    Bytes samples;  // top row first, width * components per row
};

inline bool write_jpeg(const std::string& path, const JpegSpec& s) {
    return writeJpegFile(path, [&s](jpeg_compress_struct& c) {
        c.image_width = static_cast<JDIMENSION>(s.width);
        c.image_height = static_cast<JDIMENSION>(s.height);
        c.input_components = s.components;
        c.in_color_space = s.inSpace;
        jpeg_set_defaults(&c);
        if (s.fileSpace != JCS_UNKNOWN) jpeg_set_colorspace(&c, s.fileSpace);
        if (s.components == 4) c.write_Adobe_marker = s.adobeMarker ? TRUE : FALSE;
        jpeg_set_quality(&c, s.quality, TRUE);
        if (s.progressive) jpeg_simple_progression(&c);
        jpeg_start_compress(&c, TRUE);
        if (!s.exif.empty()) {
            Bytes m{'E', 'x', 'i', 'f', 0, 0};
            m.insert(m.end(), s.exif.begin(), s.exif.end());
            jpeg_write_marker(&c, JPEG_APP0 + 1, m.data(), static_cast<unsigned>(m.size()));
        }
        if (!s.icc.empty()) jpeg_write_icc_profile(&c, s.icc.data(), static_cast<unsigned>(s.icc.size()));
        const std::size_t rowBytes = static_cast<std::size_t>(s.width) * s.components;
        for (int y = 0; y < s.height; ++y) {
            JSAMPROW row = const_cast<JSAMPROW>(s.samples.data() + rowBytes * y);
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
    });
}

// One engine with the program's decoders and encoders, in the program's order.

// Pixel (x, y) of a loaded image, y counted from the top of the picture.
inline const std::uint8_t* pixel_at(const tv::img::Image& im, int x, int y) {
    const int pitch = tv::img::row_pitch(im.width, im.depth);
    return im.pixels + static_cast<std::size_t>(pitch) * (im.height - 1 - y) + static_cast<std::size_t>(x) * (im.depth / 8);
}

// Gradient test picture: R = x*7, G = y*11, B = (x+y)*5 (mod 256).
inline std::uint8_t grad(int x, int y, int c) {
    return static_cast<std::uint8_t>(c == 0 ? x * 7 : c == 1 ? y * 11 : (x + y) * 5);
}

}  // namespace tvtest

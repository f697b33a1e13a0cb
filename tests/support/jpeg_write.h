// Baseline RGB JPEGs written with libjpeg itself, so that tests and
// benchmarks do not depend on the engine they exercise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "support/files.h"

namespace tvtest {

// Fills the w R, G, B samples of row y (the top row is 0).
using JpegRowFill = std::function<void(int y, unsigned char* rgb)>;

// Compresses a w x h picture into the destination already set on c.
inline void compressRgb(jpeg_compress_struct& c, int w, int h, int quality, const JpegRowFill& fill) {
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
    while (c.next_scanline < c.image_height) {
        fill(static_cast<int>(c.next_scanline), row.data());
        JSAMPROW rp = row.data();
        jpeg_write_scanlines(&c, &rp, 1);
    }
    jpeg_finish_compress(&c);
}

// Runs compress on a compressor whose destination is the file at path;
// compress sets the picture up and writes it through jpeg_finish_compress.
inline bool writeJpegFile(const std::string& path, const std::function<void(jpeg_compress_struct&)>& compress) {
    FILE* f = openFile(path, "wb");  // UTF-8 names, on Windows too
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    compress(c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

inline bool writeRgbJpeg(const std::string& path, int w, int h, int quality, const JpegRowFill& fill) {
    return writeJpegFile(path, [&](jpeg_compress_struct& c) { compressRgb(c, w, h, quality, fill); });
}

inline std::vector<std::uint8_t> encodeRgbJpeg(int w, int h, int quality, const JpegRowFill& fill) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    compressRgb(c, w, h, quality, fill);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

}  // namespace tvtest

// Helpers for the whole-program tests: temporary folders, generated photos
// and small file utilities. Photos are written with libjpeg directly so the
// tests do not depend on the engine they exercise.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "support/files.h"
#include "support/jpeg_write.h"
#include "support/temp_dir.h"

namespace e2e {

using tvtest::exists;
using tvtest::listNames;
using tvtest::native;
using tvtest::readBytes;
using tvtest::setModificationTime;
using tvtest::writeBytes;

using tvtest::TempDir;

// A w x h baseline JPEG with a gradient that depends on seed.
inline bool writeJpeg(const std::string& path, int w, int h, int seed) {
    return tvtest::writeRgbJpeg(path, w, h, 90, [w, h, seed](int y, unsigned char* row) {
        for (int x = 0; x < w; ++x) {
            row[x * 3 + 0] = static_cast<unsigned char>((x * 255 / (w > 1 ? w - 1 : 1) + seed * 37) & 0xFF);
            row[x * 3 + 1] = static_cast<unsigned char>((y * 255 / (h > 1 ? h - 1 : 1) + seed * 11) & 0xFF);
            row[x * 3 + 2] = static_cast<unsigned char>((seed * 53) & 0xFF);
        }
    });
}

// Width and height of a JPEG file, read by libjpeg; false when unreadable.
inline bool jpegSize(const std::string& path, int& w, int& h) {
    FILE* f = tvtest::openFile(path, "rb");
    if (!f) return false;
    unsigned char sig[3] = {0, 0, 0};
    if (std::fread(sig, 1, 3, f) != 3 || sig[0] != 0xFF || sig[1] != 0xD8 || sig[2] != 0xFF) {
        std::fclose(f);
        return false;
    }
    std::rewind(f);
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    bool ok = jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK;
    if (ok) {
        w = static_cast<int>(d.image_width);
        h = static_cast<int>(d.image_height);
    }
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return ok;
}

// Seconds since 1970; -1 when the file cannot be looked at.
inline std::int64_t modificationTime(const std::string& path) {
    const auto t = tvtest::modificationTime(path);
    return t ? t->seconds : -1;
}

inline std::vector<unsigned char> dataTvl(const std::string& workDir) {
    std::string s = readBytes(workDir + "data.tvl");
    return std::vector<unsigned char>(s.begin(), s.end());
}

}  // namespace e2e

// The engine's own BMP writer: uncompressed, bottom-up, 1/4/8-bit palette
// (chosen by the quantiser) or 24/32-bit pixels.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaging/image.h"
#include "imaging/quantizer.h"

namespace tv::img::detail {
namespace {

void put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

bool write_all(std::FILE* f, const void* data, std::size_t n) { return std::fwrite(data, 1, n, f) == n; }

// Writes everything after the headers; false on any short write or cancel.
bool write_body(std::FILE* f, const std::uint8_t* pixels, int pitch, int width, int height, int imageDepth,
                bool bottomUp, int options, int d, std::uint32_t R, const Engine* e) {
    const std::size_t rowBytes = R;
    if (d <= 8) {
        PaletteQuantizer* q = quantizer_build(pixels, width, height, imageDepth, pitch, d, options, e);
        if (!q) return false;
        bool ok = true;
        std::uint8_t pal[4 * 256];
        for (std::uint32_t i = 0; i < q->N; ++i) {
            pal[4 * i + 0] = q->palette[i][0];
            pal[4 * i + 1] = q->palette[i][1];
            pal[4 * i + 2] = q->palette[i][2];
            pal[4 * i + 3] = 0;
        }
        ok = write_all(f, pal, 4 * static_cast<std::size_t>(q->N));
        for (int k = 0; ok && k < height; ++k) {
            if (cancelled(e)) {
                ok = false;
                break;
            }
            int row = bottomUp ? k : height - 1 - k;
            ok = write_all(f, quantizer_index_row(*q, row), rowBytes);
        }
        quantizer_release(q);
        return ok;
    }

    // The memory already is the file's pixel block.
    if (imageDepth == d && bottomUp && static_cast<std::uint32_t>(pitch) == R)
        return !cancelled(e) && write_all(f, pixels, rowBytes * static_cast<std::size_t>(height));

    std::uint8_t* buf = static_cast<std::uint8_t*>(std::calloc(rowBytes, 1));
    if (!buf) return false;
    bool ok = true;
    for (int k = 0; ok && k < height; ++k) {
        if (cancelled(e)) {
            ok = false;
            break;
        }
        int row = bottomUp ? k : height - 1 - k;
        const std::uint8_t* s = pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(pitch);
        std::uint8_t* o = buf;
        if (imageDepth == 32 && d == 32) {
            std::memcpy(o, s, static_cast<std::size_t>(width) * 4);  // alpha kept, as in the block write
        } else if (imageDepth == 32) {
            flatten_on_white(s, width, 1, pitch, o, static_cast<int>(rowBytes));
        } else if (d == 32) {
            for (int x = 0; x < width; ++x, s += 3, o += 4) {
                o[0] = s[0];
                o[1] = s[1];
                o[2] = s[2];
                o[3] = 0;
            }
        } else {
            std::memcpy(o, s, static_cast<std::size_t>(width) * 3);
        }
        ok = write_all(f, buf, rowBytes);
    }
    std::free(buf);
    return ok;
}

}  // namespace

int write_bmp(const char* path, const std::uint8_t* pixels, int pitch, int width, int height, int imageDepth,
              int rowFlags, int options, int outputDepth, const Engine* e) {
    if (!path || !*path || !pixels || width < 1 || height < 1 || width > MaxDimension || height > MaxDimension)
        return 0;
    if (imageDepth != 24 && imageDepth != 32) return 0;
    const std::size_t need = static_cast<std::size_t>(width) * static_cast<std::size_t>(imageDepth / 8);
    if (pitch < 0 || static_cast<std::size_t>(pitch) < need) return 0;

    // BMP has no 2-bit or other odd depths, and only 24/32-bit pixels can be
    // built from the image's rows: everything else is written at 24 bits.
    int d = outputDepth;
    if (d != 1 && d != 4 && d != 8 && d != 24 && d != 32) d = 24;

    const std::uint64_t R = ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(d) + 31) / 32) * 4;
    const std::uint64_t offset = 54 + (d <= 8 ? 4ull << d : 0);
    const std::uint64_t imageSize = R * static_cast<std::uint64_t>(height);
    if (offset + imageSize > 0xFFFFFFFFull) return 0;

    std::FILE* f = open_file(e, path, "wb");
    if (!f) return 0;

    std::uint8_t fh[14] = {};
    std::uint8_t ih[40] = {};
    fh[0] = 'B';
    fh[1] = 'M';
    put32(fh + 2, static_cast<std::uint32_t>(offset + imageSize));
    put32(fh + 10, static_cast<std::uint32_t>(offset));
    put32(ih + 0, 40);
    put32(ih + 4, static_cast<std::uint32_t>(width));
    put32(ih + 8, static_cast<std::uint32_t>(height));
    put16(ih + 12, 1);
    put16(ih + 14, static_cast<std::uint32_t>(d));
    put32(ih + 20, static_cast<std::uint32_t>(imageSize));
    // compression, resolutions and colour counts stay 0

    bool ok = write_all(f, fh, sizeof fh) && write_all(f, ih, sizeof ih) &&
              write_body(f, pixels, pitch, width, height, imageDepth, (rowFlags & BottomUp) != 0, options, d,
                         static_cast<std::uint32_t>(R), e);
    // Buffered data only reaches the disk here; a full disk shows up now.
    if (std::fflush(f) != 0 || std::ferror(f)) ok = false;
    if (std::fclose(f) != 0) ok = false;
    return ok ? 1 : 0;
}

}  // namespace tv::img::detail

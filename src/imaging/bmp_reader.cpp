// The engine's own BMP reader: OS/2 core and Windows info headers (40 to 124
// bytes), 1/4/8/16/24/32 bits, uncompressed, RLE8, RLE4 and bit fields.
// Every read is bounds-checked: a cut or forged file loads what it holds or
// is refused, never read past.
#include <algorithm>
#include <cstring>

#include "imaging/decoder_context.h"

namespace tv::img::detail {
namespace {

constexpr std::uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

std::uint32_t u16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8); }
std::uint32_t u32(const std::uint8_t* p) { return u16(p) | (u16(p + 2) << 16); }

struct Rgb {
    std::uint8_t b = 0, g = 0, r = 0;
};

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

Channel channel(std::uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (!mask) return c;
    std::uint32_t m = mask;
    while (!(m & 1u)) {
        m >>= 1;
        ++c.shift;
    }
    while (m) {
        m >>= 1;
        ++c.bits;
    }
    return c;
}

// Channel value widened to 8 bits by repeating its high bits.
std::uint8_t take(std::uint32_t px, const Channel& c) {
    if (!c.bits) return 0;
    std::uint32_t v = (px & c.mask) >> c.shift;
    if (c.bits >= 8) return static_cast<std::uint8_t>(v >> (c.bits - 8));
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << c.bits) | v;
        filled += c.bits;
    }
    return static_cast<std::uint8_t>(out >> (filled - 8));
}

struct Layout {
    int width = 0, height = 0;
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    bool haveMasks = false;
    Rgb palette[256];
    int paletteCount = 0;
};

// Palette-index image (1, 4, 8 bits, or RLE) into 24-bit rows.
void put_index(Image* im, const Layout& L, int memRow, int x, unsigned index) {
    std::uint8_t* p = im->pixels + static_cast<std::size_t>(row_pitch(im->width, 24)) * memRow + 3 * x;
    Rgb c;  // indexes past the palette are black
    if (static_cast<int>(index) < L.paletteCount) c = L.palette[index];
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

void decode_uncompressed(Image* im, const Layout& L, const std::uint8_t* data, std::size_t avail) {
    const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(L.width) * L.bits + 31) / 32) * 4;
    Channel r = channel(L.masks[0]), g = channel(L.masks[1]), b = channel(L.masks[2]);
    const int outPitch = row_pitch(im->width, im->depth);
    for (int fileRow = 0; fileRow < L.height; ++fileRow) {
        const std::uint64_t start = rowBytes * static_cast<std::uint64_t>(fileRow);
        if (start >= avail) break;  // cut file: the rest stays black
        const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(rowBytes, avail - start));
        const std::uint8_t* s = data + start;
        const int memRow = L.topDown ? L.height - 1 - fileRow : fileRow;
        std::uint8_t* d = im->pixels + static_cast<std::size_t>(outPitch) * memRow;
        for (int x = 0; x < L.width; ++x) {
            const std::uint64_t bitPos = static_cast<std::uint64_t>(x) * L.bits;
            const std::uint64_t bytePos = bitPos / 8;
            const int bytesNeeded = L.bits >= 8 ? L.bits / 8 : 1;
            if (bytePos + bytesNeeded > have) break;
            const std::uint8_t* q = s + bytePos;
            switch (L.bits) {
                case 1:
                case 4:
                case 8: {
                    unsigned idx = L.bits == 8 ? q[0] : (q[0] >> (8 - L.bits - (bitPos % 8))) & ((1u << L.bits) - 1);
                    put_index(im, L, memRow, x, idx);
                    break;
                }
                case 16:  // kept as it is; the masks travel with the image
                    d[2 * x] = q[0];
                    d[2 * x + 1] = q[1];
                    break;
                case 24:
                    d[3 * x] = q[0];
                    d[3 * x + 1] = q[1];
                    d[3 * x + 2] = q[2];
                    break;
                case 32: {
                    std::uint32_t px = u32(q);
                    d[3 * x] = take(px, b);
                    d[3 * x + 1] = take(px, g);
                    d[3 * x + 2] = take(px, r);
                    break;
                }
                default: break;
            }
        }
    }
}

// `at` moved on by `by`, held at `end`: a run or delta that goes past the
// edge of the picture stops at it, so no stream, however long, can carry a
// counter round.
int step(int at, unsigned by, int end) { return by < static_cast<unsigned>(end - at) ? at + static_cast<int>(by) : end; }

// RLE8 / RLE4. Pixels the stream never reaches (deltas, early ends of line
// or bitmap, cut files) get palette entry 0, as a DIB conversion leaves them.
// x stays within 0..width and y within 0..height throughout; pixels past the
// right edge are dropped until the next end of line.
void decode_rle(Image* im, const Layout& L, const std::uint8_t* data, std::size_t avail) {
    for (int y = 0; y < L.height; ++y)
        for (int x = 0; x < L.width; ++x) put_index(im, L, y, x, 0);
    const bool four = L.compression == BI_RLE4;
    std::size_t i = 0;
    int x = 0, y = 0;  // y counts up from the bottom row, as the file does
    auto room = [&](unsigned n) { return std::min(n, static_cast<unsigned>(L.width - x)); };
    while (i + 1 < avail && y < L.height) {
        const unsigned count = data[i], value = data[i + 1];
        i += 2;
        if (count > 0) {  // encoded run; only the part inside the row is drawn
            const unsigned shown = room(count);
            for (unsigned k = 0; k < shown; ++k)
                put_index(im, L, y, x + static_cast<int>(k), four ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value);
            x = step(x, count, L.width);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (i + 1 >= avail) break;
            x = step(x, data[i], L.width);
            y = step(y, data[i + 1], L.height);
            i += 2;
        } else {  // absolute run of `value` pixels, padded to a 16-bit word
            const unsigned n = value;
            const std::size_t bytes = four ? (n + 1) / 2 : n;
            const unsigned shown = room(n);
            for (unsigned k = 0; k < shown; ++k) {
                const std::size_t at = i + (four ? k / 2 : k);
                if (at >= avail) return;
                put_index(im, L, y, x + static_cast<int>(k),
                          four ? ((k & 1) ? (data[at] & 0x0F) : (data[at] >> 4)) : data[at]);
            }
            x = step(x, n, L.width);
            i += bytes + (bytes & 1);  // a cut run ends the loop here
        }
    }
}

}  // namespace

Image* read_bmp(Engine& e, const std::uint8_t* f, std::size_t size) {
    if (!f || size < 14 + 12 || f[0] != 'B' || f[1] != 'M') return nullptr;
    const std::uint32_t dataOffset = u32(f + 10);
    const std::uint32_t hs = u32(f + 14);
    Layout L;
    std::size_t paletteAt = 0;
    int entrySize = 4;
    std::uint32_t colorsUsed = 0;
    if (hs == 12) {
        L.width = static_cast<int>(u16(f + 18));
        L.height = static_cast<int>(u16(f + 20));
        if (u16(f + 22) != 1) return nullptr;
        L.bits = static_cast<int>(u16(f + 24));
        if (L.bits != 1 && L.bits != 4 && L.bits != 8 && L.bits != 24) return nullptr;
        paletteAt = 14 + 12;
        entrySize = 3;
    } else if (hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124) {
        if (size < 14 + static_cast<std::size_t>(hs)) return nullptr;
        const std::int32_t w = static_cast<std::int32_t>(u32(f + 18));
        const std::int32_t h = static_cast<std::int32_t>(u32(f + 22));
        if (w < 1 || w > MaxDimension || h == 0 || h < -MaxDimension || h > MaxDimension) return nullptr;
        L.width = w;
        L.topDown = h < 0;
        L.height = h < 0 ? -h : h;
        if (u16(f + 26) != 1) return nullptr;
        L.bits = static_cast<int>(u16(f + 28));
        L.compression = u32(f + 30);
        colorsUsed = u32(f + 46);
        paletteAt = 14 + hs;
        if (hs >= 52) {
            L.masks[0] = u32(f + 54);
            L.masks[1] = u32(f + 58);
            L.masks[2] = u32(f + 62);
            L.haveMasks = true;
        }
        if (hs == 40 && (L.compression == BI_BITFIELDS || L.compression == BI_ALPHABITFIELDS)) {
            const std::size_t n = L.compression == BI_ALPHABITFIELDS ? 16 : 12;
            if (size < paletteAt + n) return nullptr;
            L.masks[0] = u32(f + paletteAt);
            L.masks[1] = u32(f + paletteAt + 4);
            L.masks[2] = u32(f + paletteAt + 8);
            L.haveMasks = true;
            paletteAt += n;
        }
    } else {
        return nullptr;
    }
    if (L.width < 1 || L.width > MaxDimension || L.height < 1 || L.height > MaxDimension) return nullptr;

    switch (L.compression) {
        case BI_RGB:
            if (L.bits != 1 && L.bits != 4 && L.bits != 8 && L.bits != 16 && L.bits != 24 && L.bits != 32)
                return nullptr;
            break;
        case BI_RLE8:
            if (L.bits != 8 || L.topDown) return nullptr;
            break;
        case BI_RLE4:
            if (L.bits != 4 || L.topDown) return nullptr;
            break;
        case BI_BITFIELDS:
        case BI_ALPHABITFIELDS:
            if (L.bits != 16 && L.bits != 32) return nullptr;
            break;
        default: return nullptr;
    }
    const bool fields = L.compression == BI_BITFIELDS || L.compression == BI_ALPHABITFIELDS;
    if (!fields) {
        // Without bit fields the masks in a V4/V5 header do not apply.
        if (L.bits == 16) {
            L.masks[0] = 0x7C00;
            L.masks[1] = 0x03E0;
            L.masks[2] = 0x001F;
        } else {
            L.masks[0] = 0x00FF0000;
            L.masks[1] = 0x0000FF00;
            L.masks[2] = 0x000000FF;
        }
    }

    if (L.bits <= 8) {
        const int full = 1 << L.bits;
        int count = (colorsUsed == 0 || colorsUsed > static_cast<std::uint32_t>(full)) ? full : static_cast<int>(colorsUsed);
        if (hs == 12) count = full;
        // A palette cut short by the file (or by the pixel data) keeps what
        // it holds; the missing entries count as past the palette.
        std::size_t end = size;
        if (dataOffset > paletteAt && dataOffset < end) end = dataOffset;
        const std::size_t room = end > paletteAt ? (end - paletteAt) / static_cast<std::size_t>(entrySize) : 0;
        if (room < static_cast<std::size_t>(count)) count = static_cast<int>(room);
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* p = f + paletteAt + static_cast<std::size_t>(i) * entrySize;
            L.palette[i].b = p[0];
            L.palette[i].g = p[1];
            L.palette[i].r = p[2];
        }
        L.paletteCount = count;
    }

    if (dataOffset >= size) return nullptr;
    const int depth = L.bits == 16 ? 16 : 24;
    Image* im = create_image(e, L.width, L.height, depth);
    if (!im) return nullptr;
    im->source_depth = L.bits;
    if (L.bits == 16) {
        im->red_mask = L.masks[0] & 0xFFFF;
        im->green_mask = L.masks[1] & 0xFFFF;
        im->blue_mask = L.masks[2] & 0xFFFF;
    }
    const std::uint8_t* data = f + dataOffset;
    const std::size_t avail = size - dataOffset;
    if (L.compression == BI_RLE8 || L.compression == BI_RLE4)
        decode_rle(im, L, data, avail);
    else
        decode_uncompressed(im, L, data, avail);
    return im;
}

}  // namespace tv::img::detail

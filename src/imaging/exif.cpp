// exif_set_pixel_size: the picture size in a carried EXIF block, rewritten in
// place after a resize. Only IFD0 and the one Exif sub-IFD it points to are
// read, each bounds-checked before use; no other link is followed, so a
// hostile block can neither send the parse outside itself nor round a loop.
#include "imaging/exif.h"

#include <cstddef>

namespace tv::img {
namespace {

constexpr std::uint16_t ExifIfdTag = 0x8769;
constexpr std::uint16_t PixelXTag = 0xA002;
constexpr std::uint16_t PixelYTag = 0xA003;
constexpr std::uint16_t TypeShort = 3;
constexpr std::uint16_t TypeLong = 4;
constexpr std::uint16_t TypeIfd = 13;  // what some writers give the sub-IFD pointer
constexpr std::size_t EntryBytes = 12;
constexpr std::size_t HeaderBytes = 8;

struct Tiff {
    std::vector<std::uint8_t>& b;
    bool bigEndian;

    std::uint16_t u16(std::size_t p) const {
        return bigEndian ? static_cast<std::uint16_t>(b[p] << 8 | b[p + 1])
                         : static_cast<std::uint16_t>(b[p + 1] << 8 | b[p]);
    }
    std::uint32_t u32(std::size_t p) const {
        const std::uint32_t hi = u16(p), lo = u16(p + 2);
        return bigEndian ? hi << 16 | lo : lo << 16 | hi;
    }
    void put16(std::size_t p, std::uint16_t v) {
        b[p + (bigEndian ? 0 : 1)] = static_cast<std::uint8_t>(v >> 8);
        b[p + (bigEndian ? 1 : 0)] = static_cast<std::uint8_t>(v);
    }
    void put32(std::size_t p, std::uint32_t v) {
        put16(p + (bigEndian ? 0 : 2), static_cast<std::uint16_t>(v >> 16));
        put16(p + (bigEndian ? 2 : 0), static_cast<std::uint16_t>(v));
    }
};

// An IFD whose count and every entry lie inside the block, after the header.
struct Ifd {
    std::size_t start = 0;  // offset of its entry count
    std::size_t count = 0;
    std::size_t end() const { return start + 2 + EntryBytes * count; }
    std::size_t entry(std::size_t i) const { return start + 2 + EntryBytes * i; }
};

bool read_ifd(const Tiff& t, std::uint32_t offset, Ifd& ifd) {
    // 64-bit sums: a 32-bit offset plus 2 + 12 x 65535 cannot wrap.
    const std::uint64_t size = t.b.size();
    if (offset < HeaderBytes || std::uint64_t{offset} + 2 > size) return false;
    const std::uint64_t count = t.u16(offset);
    if (std::uint64_t{offset} + 2 + EntryBytes * count > size) return false;
    ifd.start = offset;
    ifd.count = static_cast<std::size_t>(count);
    return true;
}

// Offset of the entry for tag (0 when absent); false when it is there twice,
// which leaves readers to disagree on which one counts.
bool find_entry(const Tiff& t, const Ifd& ifd, std::uint16_t tag, std::size_t& at) {
    at = 0;
    for (std::size_t i = 0; i < ifd.count; ++i) {
        if (t.u16(ifd.entry(i)) != tag) continue;
        if (at) return false;
        at = ifd.entry(i);
    }
    return true;
}

// The value as the entry at p can hold it inline, or nothing.
int write_value(Tiff& t, std::size_t p, std::uint32_t v) {
    if (!p || t.u32(p + 4) != 1) return 0;
    const std::uint16_t type = t.u16(p + 2);
    if (type == TypeShort && v <= 0xFFFF) {
        t.put16(p + 8, static_cast<std::uint16_t>(v));  // the other two bytes are padding: kept
        return 1;
    }
    if (type == TypeLong) {
        t.put32(p + 8, v);
        return 1;
    }
    return 0;
}

}  // namespace

int exif_set_pixel_size(std::vector<std::uint8_t>& block, std::uint32_t width, std::uint32_t height) {
    if (block.size() < HeaderBytes) return 0;
    bool big;
    if (block[0] == 'M' && block[1] == 'M' && block[2] == 0 && block[3] == 42)
        big = true;
    else if (block[0] == 'I' && block[1] == 'I' && block[2] == 42 && block[3] == 0)
        big = false;
    else
        return 0;
    Tiff t{block, big};

    Ifd ifd0, exif;
    std::size_t pointer = 0, px = 0, py = 0;
    if (!read_ifd(t, t.u32(4), ifd0) || !find_entry(t, ifd0, ExifIfdTag, pointer) || !pointer) return 0;
    const std::uint16_t pointerType = t.u16(pointer + 2);
    if ((pointerType != TypeLong && pointerType != TypeIfd) || t.u32(pointer + 4) != 1) return 0;
    if (!read_ifd(t, t.u32(pointer + 8), exif)) return 0;
    // A sub-IFD over IFD0 (IFD0 itself, or the pointer's own entry) is no
    // sub-IFD: a loop, or a block no reader agrees on.
    if (exif.start < ifd0.end() && ifd0.start < exif.end()) return 0;
    if (!find_entry(t, exif, PixelXTag, px) || !find_entry(t, exif, PixelYTag, py)) return 0;
    return write_value(t, px, width) + write_value(t, py, height);
}

}  // namespace tv::img

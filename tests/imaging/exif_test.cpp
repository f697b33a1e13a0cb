// exif_set_pixel_size on built blocks, friendly and hostile, and the picture
// size it puts into the EXIF of a resized picture's JPEG and PNG outputs.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "imaging/exif.h"
#include "imaging/image.h"

using namespace tv::img;
using namespace tvtest;

namespace {

constexpr bool II = false, MM = true;
constexpr std::uint16_t Ascii = 2, Short = 3, Long = 4, Undefined = 7, IfdType = 13;
constexpr std::uint16_t Orientation = 0x0112, ExifPointer = 0x8769, PixelX = 0xA002, PixelY = 0xA003;

struct E {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};
constexpr std::uint32_t Sub = 0xFFFFFFFF;  // as a value: the sub-IFD's offset

// A TIFF block: header, IFD0 at 8, the sub-IFD right after it (at 14 + 12 x
// IFD0's entries), each ending in a zero next-IFD link, then 4 bytes of other
// data. A SHORT of count 1 is followed by the padding bytes AB CD.
Bytes tiff(bool mm, const std::vector<E>& ifd0, const std::vector<E>& sub) {
    Bytes b;
    auto w16 = [&](std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(mm ? v >> 8 : v));
        b.push_back(static_cast<std::uint8_t>(mm ? v : v >> 8));
    };
    auto w32 = [&](std::uint32_t v) {
        w16(mm ? v >> 16 : v & 0xFFFF);
        w16(mm ? v & 0xFFFF : v >> 16);
    };
    const std::uint32_t subAt = static_cast<std::uint32_t>(14 + 12 * ifd0.size());
    auto ifd = [&](const std::vector<E>& entries) {
        w16(static_cast<std::uint32_t>(entries.size()));
        for (const E& e : entries) {
            w16(e.tag);
            w16(e.type);
            w32(e.count);
            const std::uint32_t v = e.value == Sub ? subAt : e.value;
            if (e.type == Short && e.count == 1) {
                w16(v);
                b.push_back(0xAB);
                b.push_back(0xCD);
            } else {
                w32(v);
            }
        }
        w32(0);
    };
    b = {static_cast<std::uint8_t>(mm ? 'M' : 'I'), static_cast<std::uint8_t>(mm ? 'M' : 'I')};
    w16(42);
    w32(8);
    ifd(ifd0);
    if (!sub.empty()) ifd(sub);
    b.insert(b.end(), {'T', 'A', 'I', 'L'});
    return b;
}

std::vector<E> top(std::uint16_t pointerType = Long, std::uint32_t pointerCount = 1, std::uint32_t pointer = Sub) {
    return {{Orientation, Short, 1, 6}, {ExifPointer, pointerType, pointerCount, pointer}};
}
constexpr std::size_t SubAt = 38;  // the sub-IFD's offset under top()

std::vector<E> dims(std::uint16_t xType, std::uint32_t x, std::uint16_t yType, std::uint32_t y) {
    return {{0x9000, Undefined, 4, 0x30323330}, {PixelX, xType, 1, x}, {PixelY, yType, 1, y}};
}

Bytes with(Bytes b, std::size_t at, const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) b[at + i] = bytes[i];
    return b;
}

Bytes cut(Bytes b, std::size_t n) {
    b.resize(n);
    return b;
}

TEST(ExifPixelSize, WritesOnlyTheValueBytesOfTheTwoTags) {
    struct Case {
        const char* name;
        Bytes before;
        std::uint32_t w, h;
        Bytes after;  // empty: the block stays as it was
        int written;
    };
    const Bytes iiShort = tiff(II, top(), dims(Short, 4000, Short, 3000));
    const Bytes mmShort = tiff(MM, top(), dims(Short, 4000, Short, 3000));
    const Bytes iiLong = tiff(II, top(), dims(Long, 4000, Long, 3000));
    const Bytes mmLong = tiff(MM, top(), dims(Long, 4000, Long, 3000));
    const Case cases[] = {
        {"II, SHORT", iiShort, 2000, 1500, tiff(II, top(), dims(Short, 2000, Short, 1500)), 2},
        {"MM, SHORT", mmShort, 2000, 1500, tiff(MM, top(), dims(Short, 2000, Short, 1500)), 2},
        {"II, LONG", iiLong, 2000, 1500, tiff(II, top(), dims(Long, 2000, Long, 1500)), 2},
        {"MM, LONG", mmLong, 2000, 1500, tiff(MM, top(), dims(Long, 2000, Long, 1500)), 2},
        {"MM, SHORT width, LONG height", tiff(MM, top(), dims(Short, 4000, Long, 3000)), 2000, 1500,
         tiff(MM, top(), dims(Short, 2000, Long, 1500)), 2},
        {"the size it already says", iiShort, 4000, 3000, {}, 2},
        {"width too large for its SHORT: only the height", mmShort, 70000, 1500,
         tiff(MM, top(), dims(Short, 4000, Short, 1500)), 1},
        {"a LONG takes it", iiLong, 70000, 1500, tiff(II, top(), dims(Long, 70000, Long, 1500)), 2},
        {"sub-IFD pointer typed IFD", tiff(MM, top(IfdType), dims(Short, 40, Short, 30)), 20, 15,
         tiff(MM, top(IfdType), dims(Short, 20, Short, 15)), 2},
        {"only PixelXDimension", tiff(II, top(), {{PixelX, Short, 1, 4000}}), 2000, 1500,
         tiff(II, top(), {{PixelX, Short, 1, 2000}}), 1},
        {"width as ASCII, count 2: only the height",
         tiff(II, top(), {{PixelX, Ascii, 2, 0x0034}, {PixelY, Short, 1, 3000}}), 2000, 1500,
         tiff(II, top(), {{PixelX, Ascii, 2, 0x0034}, {PixelY, Short, 1, 1500}}), 1},
        {"width SHORT of count 2: only the height",
         tiff(MM, top(), {{PixelX, Short, 2, 0x0FA00FA0}, {PixelY, Long, 1, 3000}}), 2000, 1500,
         tiff(MM, top(), {{PixelX, Short, 2, 0x0FA00FA0}, {PixelY, Long, 1, 1500}}), 1},
        {"sub-IFD without the tags", tiff(II, top(), {{0x9000, Undefined, 4, 0x30323330}}), 2000, 1500, {}, 0},
        {"no sub-IFD pointer (the sub-IFD unreachable)",
         tiff(II, {{Orientation, Short, 1, 6}}, dims(Short, 4000, Short, 3000)), 2000, 1500, {}, 0},
        // Hostile blocks: left exactly as they are.
        {"empty", {}, 2000, 1500, {}, 0},
        {"shorter than the header", cut(iiShort, 7), 2000, 1500, {}, 0},
        {"neither byte order", with(iiShort, 0, {'I', 'M'}), 2000, 1500, {}, 0},
        {"BigTIFF magic", with(mmShort, 2, {0, 43}), 2000, 1500, {}, 0},
        {"IFD0 at 0", with(iiShort, 4, {0, 0, 0, 0}), 2000, 1500, {}, 0},
        {"IFD0 past the end", with(mmShort, 4, {0, 0, 1, 0}), 2000, 1500, {}, 0},
        {"IFD0 count 65535", with(iiShort, 8, {0xFF, 0xFF}), 2000, 1500, {}, 0},
        {"sub-IFD count 65535", with(mmShort, SubAt, {0xFF, 0xFF}), 2000, 1500, {}, 0},
        {"sub-IFD's last entry cut", cut(iiShort, SubAt + 2 + 36 - 1), 2000, 1500, {}, 0},
        {"sub-IFD count cut", cut(mmShort, SubAt + 1), 2000, 1500, {}, 0},
        {"pointer past the end", tiff(MM, top(Long, 1, 0xFFFFFFF0), dims(Short, 4000, Short, 3000)), 2000, 1500, {},
         0},
        {"pointer into the header", tiff(II, top(Long, 1, 4), dims(Short, 4000, Short, 3000)), 2000, 1500, {}, 0},
        {"pointer back to IFD0",
         tiff(II, {{ExifPointer, Long, 1, 8}, {PixelX, Short, 1, 4000}, {PixelY, Short, 1, 3000}}, {}), 2000, 1500,
         {}, 0},
        {"pointer to its own entry", tiff(MM, top(Long, 1, 22), dims(Short, 4000, Short, 3000)), 2000, 1500, {}, 0},
        {"sub-IFD pointing to itself",
         tiff(II, top(), {{PixelX, Short, 1, 4000}, {PixelY, Short, 1, 3000}, {ExifPointer, Long, 1, SubAt}}), 2000,
         1500, tiff(II, top(), {{PixelX, Short, 1, 2000}, {PixelY, Short, 1, 1500}, {ExifPointer, Long, 1, SubAt}}),
         2},
        {"pointer typed SHORT", tiff(II, top(Short), dims(Short, 4000, Short, 3000)), 2000, 1500, {}, 0},
        {"pointer of count 2", tiff(MM, top(Long, 2), dims(Short, 4000, Short, 3000)), 2000, 1500, {}, 0},
        {"pointer given twice",
         tiff(II, {{ExifPointer, Long, 1, Sub}, {ExifPointer, Long, 1, Sub}}, dims(Short, 4000, Short, 3000)), 2000,
         1500, {}, 0},
        {"PixelXDimension given twice",
         tiff(MM, top(), {{PixelX, Short, 1, 4000}, {PixelX, Long, 1, 4000}, {PixelY, Short, 1, 3000}}), 2000, 1500,
         {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = c.before;
        EXPECT_EQ(exif_set_pixel_size(b, c.w, c.h), c.written);
        EXPECT_EQ(b, c.after.empty() ? c.before : c.after);
    }
}

// A camera's JPEG: the picture's own size and an orientation in its EXIF.
// Halved, both outputs state the new size and keep every other byte; saved
// at its own size, the block comes out as it went in.
TEST(ExifPixelSize, FollowsAResizeIntoJpegAndPngOutputs) {
    const Bytes source = tiff(MM, top(), dims(Short, 16, Long, 12));
    const Bytes halved = tiff(MM, top(), dims(Short, 8, Long, 6));
    TempDir d;
    JpegSpec s;
    s.width = 16;
    s.height = 12;
    s.samples.assign(16 * 12 * 3, 90);
    s.exif = source;
    ASSERT_TRUE(write_jpeg(d.file("in.jpg"), s));
    Engine e;
    registerCodecs(e);
    ImageHandle h = image_load(e, d.file("in.jpg"));
    ASSERT_NE(h, NoImage);
    ASSERT_EQ(image_get(e, h)->exif, source);

    auto savedExif = [&](std::uint32_t encoder, const char* name) {
        EXPECT_EQ(image_save(e, h, d.file(name), encoder, 6), 1);
        const Image* back = image_get(e, image_load(e, d.file(name)));
        return back ? back->exif : Bytes{};
    };
    EXPECT_EQ(savedExif(JpegEncoderId, "same.jpg"), source);
    ASSERT_NE(image_resize(e, h, 8, 6), 0);
    EXPECT_EQ(savedExif(JpegEncoderId, "half.jpg"), halved);
    EXPECT_EQ(savedExif(PngEncoderId, "half.png"), halved);
    // The picture's own block is the source's still: only outputs change.
    EXPECT_EQ(image_get(e, h)->exif, source);
}

}  // namespace

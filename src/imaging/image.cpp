// The image table, pixel stores and image_load's dispatch between the BMP
// reader and the registered decoders.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "imaging/decoder_context.h"
#include "imaging/image.h"

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace tv::img {

Engine::~Engine() {
    image_free_all(*this);
    image_release_spare(*this);
}

int row_pitch(int w, int d) {
    if (w <= 0) return 0;
    switch (d) {
        case 1: return ((w + 31) / 32) * 4;
        case 4: return ((w + 7) / 8) * 4;
        case 8: return ((w + 3) / 4) * 4;
        case 15:
        case 16: return ((w + 1) / 2) * 4;
        case 24: return ((3 * w + 3) / 4) * 4;
        default: return 4 * w;
    }
}

namespace detail {

std::size_t pixel_limit(Engine& e) {
    if (e.maxPixelBytes == 0) {
        const std::uint64_t total = e.machine.memoryBytes;
        // Half of the machine: a picture may need a second buffer while it
        // is resized or flattened, and the rest of the system must go on.
        std::uint64_t half = total / 2;
        if (half == 0) half = std::uint64_t{1} << 30;  // unknown machine: 1 GiB
        if (half > std::numeric_limits<std::size_t>::max()) half = std::numeric_limits<std::size_t>::max();
        e.maxPixelBytes = static_cast<std::size_t>(half);
    }
    return e.maxPixelBytes;
}

namespace {

// Smaller buffers come from malloc: they cost few page faults and leave
// little behind in the heap.
constexpr std::size_t MinMappedBytes = 256 * 1024;

// Zero-filled pixel memory of `bytes`; capacity is the mapping's length
// when it is page memory, 0 when it is calloc'd.
std::uint8_t* take_pixels(Engine& e, std::size_t bytes, std::size_t& capacity) {
    capacity = 0;
    if (e.pages.map && e.pages.unmap && bytes >= MinMappedBytes) {
        if (e.spare.data && e.spare.bytes >= bytes) {
            std::uint8_t* p = e.spare.data;
            capacity = e.spare.bytes;
            e.spare = {};
            // Cheaper than the page faults of a fresh mapping.
            std::memset(p, 0, bytes);
            // Under the address checker, rows written past this picture's
            // end are caught even inside the larger mapping.
            ASAN_POISON_MEMORY_REGION(p + bytes, capacity - bytes);
            return p;
        }
        // Too small a spare would only add to the peak beside the new one.
        image_release_spare(e);
        if (void* p = e.pages.map(bytes)) {
            capacity = bytes;
            return static_cast<std::uint8_t*>(p);
        }
    }
    return static_cast<std::uint8_t*>(std::calloc(bytes, 1));
}

void give_pixels(Engine& e, std::uint8_t* p, std::size_t capacity) {
    ASAN_UNPOISON_MEMORY_REGION(p, capacity);
    if (e.spare.data && e.spare.bytes >= capacity) {
        e.pages.unmap(p, capacity);
        return;
    }
    image_release_spare(e);
    e.spare = {p, capacity};
}

}  // namespace

Image* create_image(Engine& e, int w, int h, int d) {
    if (w < 1 || h < 1 || w > MaxDimension || h > MaxDimension) return nullptr;
    if (d != 16 && d != 24 && d != 32) return nullptr;
    // 64-bit arithmetic: 32767 x 32767 x 4 does not fit in 32 bits.
    std::uint64_t bytes = static_cast<std::uint64_t>(row_pitch(w, d)) * static_cast<std::uint64_t>(h);
    if (bytes == 0 || bytes > pixel_limit(e) || bytes > std::numeric_limits<std::size_t>::max()) return nullptr;
    Image* im = new (std::nothrow) Image;
    if (!im) return nullptr;
    std::size_t capacity = 0;
    im->pixels = take_pixels(e, static_cast<std::size_t>(bytes), capacity);
    if (!im->pixels) {
        delete im;
        return nullptr;
    }
    im->capacity = capacity;
    im->owner = capacity ? &e : nullptr;
    im->size = static_cast<std::size_t>(bytes);
    im->width = w;
    im->height = h;
    im->depth = d;
    im->source_depth = d;
    return im;
}

void* take_scratch(const Engine* e, std::size_t bytes, std::size_t& mapped) {
    mapped = 0;
    if (e && e->pages.map && e->pages.unmap && bytes >= MinMappedBytes) {
        if (void* p = e->pages.map(bytes)) {
            mapped = bytes;
            return p;
        }
    }
    return std::malloc(bytes ? bytes : 1);
}

void give_scratch(const Engine* e, void* p, std::size_t mapped) {
    if (mapped && e)
        e->pages.unmap(p, mapped);
    else
        std::free(p);
}

void destroy_image(Image* im) {
    if (!im) return;
    if (im->capacity && im->owner)
        give_pixels(*im->owner, im->pixels, im->capacity);
    else
        std::free(im->pixels);
    delete im;
}

ImageHandle add_to_table(Engine& e, Image* im) {
    if (!im) return NoImage;
    for (std::size_t i = 0; i < e.table.size(); ++i) {
        if (!e.table[i]) {
            e.table[i] = im;
            return static_cast<ImageHandle>(i + 1);
        }
    }
    if (e.table.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max() - 1)) return NoImage;
    e.table.push_back(im);
    return static_cast<ImageHandle>(e.table.size());
}

void add_decoder(Engine& e, const ImageDecoder& d) {
    for (const ImageDecoder& held : e.decoders)
        if (held.check == d.check) return;
    e.decoders.push_back(d);
}

void add_encoder(Engine& e, const ImageEncoder& enc) {
    for (const ImageEncoder& held : e.encoders)
        if (held.id == enc.id) return;
    e.encoders.push_back(enc);
}

Image* lookup(const Engine& e, ImageHandle h) {
    if (h <= 0 || static_cast<std::size_t>(h) > e.table.size()) return nullptr;
    return e.table[static_cast<std::size_t>(h) - 1];
}

bool cancelled(const Engine& e) { return e.cancel && e.cancel(); }
bool cancelled(const Engine* e) { return e && cancelled(*e); }

namespace {
// Shift and width of a contiguous channel mask (a mask with gaps is taken
// from its lowest to its highest set bit).
void mask_shape(std::uint32_t mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (mask == 0) return;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++shift;
    }
    while (mask) {
        mask >>= 1;
        ++bits;
    }
}

// Widens a channel value of `bits` bits to 8 by repeating its high bits, so
// full scale stays full scale (31 -> 255) and 0 stays 0.
std::uint8_t widen(std::uint32_t v, int bits) {
    if (bits <= 0) return 0;
    if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << bits) | v;
        filled += bits;
    }
    return static_cast<std::uint8_t>(out >> (filled - 8));
}
}  // namespace

Image* convert16_to_24(Engine& e, const Image& src) {
    if (src.depth != 16 || !src.pixels) return nullptr;
    Image* out = create_image(e, src.width, src.height, 24);
    if (!out) return nullptr;
    out->source_depth = src.source_depth;
    out->exif = src.exif;
    out->icc = src.icc;
    int rs, rb, gs, gb, bs, bb;
    mask_shape(src.red_mask, rs, rb);
    mask_shape(src.green_mask, gs, gb);
    mask_shape(src.blue_mask, bs, bb);
    const int srcPitch = row_pitch(src.width, 16);
    const int dstPitch = row_pitch(src.width, 24);
    for (int y = 0; y < src.height; ++y) {
        const std::uint8_t* s = src.pixels + static_cast<std::size_t>(srcPitch) * y;
        std::uint8_t* d = out->pixels + static_cast<std::size_t>(dstPitch) * y;
        for (int x = 0; x < src.width; ++x) {
            std::uint32_t px = static_cast<std::uint32_t>(s[2 * x]) | (static_cast<std::uint32_t>(s[2 * x + 1]) << 8);
            d[3 * x + 0] = widen((px & src.blue_mask) >> bs, bb);
            d[3 * x + 1] = widen((px & src.green_mask) >> gs, gb);
            d[3 * x + 2] = widen((px & src.red_mask) >> rs, rb);
        }
    }
    return out;
}

}  // namespace detail

namespace {

// Reads the whole of an open file into a scratch buffer; nullptr when it
// cannot (or it is larger than the limit).
std::uint8_t* read_whole_file(Engine& e, std::FILE* f, std::size_t limit, std::size_t& size, std::size_t& mapped) {
    size = 0;
    const std::int64_t end = size_from_end(f);
    if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) return nullptr;
    if (static_cast<std::uint64_t>(end) > limit) return nullptr;
    auto n = static_cast<std::size_t>(end);
    auto* buf = static_cast<std::uint8_t*>(detail::take_scratch(&e, n, mapped));
    if (!buf) return nullptr;
    if (n && std::fread(buf, 1, n, f) != n) {
        detail::give_scratch(&e, buf, mapped);
        return nullptr;
    }
    size = n;
    return buf;
}

Image* load_bmp(Engine& e, std::FILE* f) {
    unsigned char sig[2];
    if (std::fread(sig, 1, 2, f) != 2 || sig[0] != 'B' || sig[1] != 'M') return nullptr;
    std::size_t size = 0;
    // A BMP's pixel rows are never larger than its decoded rows, but its
    // headers and palette come on top: a picture just under the pixel limit
    // must not be refused for its header.
    constexpr std::size_t HeaderRoom = 64 * 1024;
    std::size_t limit = detail::pixel_limit(e);
    limit = limit > std::numeric_limits<std::size_t>::max() - HeaderRoom ? std::numeric_limits<std::size_t>::max()
                                                                         : limit + HeaderRoom;
    std::size_t mapped = 0;
    std::uint8_t* data = read_whole_file(e, f, limit, size, mapped);
    if (!data) return nullptr;
    Image* im = detail::read_bmp(e, data, size);
    detail::give_scratch(&e, data, mapped);
    return im;
}

}  // namespace

std::FILE* open_file(const Engine* e, const char* path, const char* mode) {
    if (e && e->files.open) return e->files.open(path, mode);
    return std::fopen(path, mode);
}

ImageHandle image_load(Engine& e, const std::string& path) {
    if (path.empty()) return NoImage;
    std::FILE* f = open_file(&e, path.c_str(), "rb");
    if (!f) return NoImage;
    ImageHandle h = image_load_file(e, f);
    std::fclose(f);
    return h;
}

ImageHandle image_load_file(Engine& e, std::FILE* f) {
    if (!f) return NoImage;
    if (Image* im = load_bmp(e, f)) {
        ImageHandle h = detail::add_to_table(e, im);
        if (h == NoImage) detail::destroy_image(im);
        return h;
    }
    if (detail::cancelled(e)) return NoImage;

    DecoderContext ctx;
    ctx.engine = &e;
    ctx.file = f;
    ctx.memory_limit = detail::pixel_limit(e);
    for (const ImageDecoder& d : e.decoders) {
        if (!d.check) continue;
        std::clearerr(f);
        if (std::fseek(f, 0, SEEK_SET) != 0) break;
        ctx.width = ctx.height = ctx.depth = ctx.source_depth = 0;
        ctx.exif.clear();
        ctx.icc.clear();
        ctx.state = nullptr;
        if (d.check(ctx)) {
            ctx.decoder = &d;
            break;
        }
        // A check abandoned by the cancel check ends the load.
        if (ctx.cancelled) break;
    }
    if (!ctx.decoder) return NoImage;

    Image* im = detail::create_image(e, ctx.width, ctx.height, ctx.depth);
    if (!im || (ctx.depth != 24 && ctx.depth != 32)) {
        detail::destroy_image(im);
        ctx.decoder->release(ctx);
        return NoImage;
    }
    // The decode result is not consulted: rows a library error left unwritten
    // stay black and the picture still loads. Only a cancel fails the load.
    ctx.decoder->decode(ctx, im->pixels, row_pitch(im->width, im->depth), BottomUp);
    ctx.decoder->release(ctx);
    if (ctx.cancelled) {
        detail::destroy_image(im);
        return NoImage;
    }
    im->source_depth = ctx.source_depth;
    im->exif = std::move(ctx.exif);
    im->icc = std::move(ctx.icc);
    ImageHandle h = detail::add_to_table(e, im);
    if (h == NoImage) detail::destroy_image(im);
    return h;
}

int image_width(const Engine& e, ImageHandle h) {
    const Image* im = detail::lookup(e, h);
    return im ? im->width : 0;
}

int image_height(const Engine& e, ImageHandle h) {
    const Image* im = detail::lookup(e, h);
    return im ? im->height : 0;
}

const Image* image_get(const Engine& e, ImageHandle h) { return detail::lookup(e, h); }

void image_free(Engine& e, ImageHandle h) {
    Image* im = detail::lookup(e, h);
    if (!im) return;
    detail::destroy_image(im);
    e.table[static_cast<std::size_t>(h) - 1] = nullptr;
}

void image_free_all(Engine& e) {
    for (Image*& im : e.table) {
        detail::destroy_image(im);
        im = nullptr;
    }
}

void image_release_spare(Engine& e) {
    if (!e.spare.data) return;
    e.pages.unmap(e.spare.data, e.spare.bytes);
    e.spare = {};
}

}  // namespace tv::img

// PNG decoder: libpng's own transformations bring every kind of PNG to
// 8-bit B,G,R or B,G,R,A rows.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <png.h>

#include "imaging/decoder_context.h"

namespace tv::img {
namespace {

struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int passes = 1;
    int bitDepth = 0;
};

[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

void free_state(PngState* st) {
    if (!st) return;
    if (st->png) png_destroy_read_struct(&st->png, st->info ? &st->info : nullptr, nullptr);
    std::free(st);
}

// Big enough for any real ICC profile or EXIF block, small enough that a
// forged chunk length cannot exhaust memory.
constexpr png_alloc_size_t MaxChunkBytes = 32u * 1024u * 1024u;

int png_decoder_check(DecoderContext& ctx) {
    png_byte sig[8];
    if (std::fread(sig, 1, 8, ctx.file) != 8 || png_sig_cmp(sig, 0, 8) != 0) return 0;
    auto* st = static_cast<PngState*>(std::calloc(1, sizeof(PngState)));
    if (!st) return 0;
    st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!st->png) {
        free_state(st);
        return 0;
    }
    st->info = png_create_info_struct(st->png);
    if (!st->info) {
        free_state(st);
        return 0;
    }
    png_structp png = st->png;
    png_infop info = st->info;
    if (setjmp(png_jmpbuf(png))) {
        free_state(st);
        return 0;
    }
    png_set_user_limits(png, MaxDimension, MaxDimension);
    png_set_chunk_malloc_max(png, MaxChunkBytes);
    png_init_io(png, ctx.file);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);

    png_uint_32 w = 0, h = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(png, info, &w, &h, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    int sourceDepth = 0;
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE:
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            sourceDepth = bitDepth;
            // Below 8 bits: widen, and a tRNS chunk becomes alpha. Grey at 8
            // or 16 bits keeps no alpha from tRNS.
            if (bitDepth < 8) png_set_expand(png);
            if (colourType == PNG_COLOR_TYPE_PALETTE) {
                png_set_palette_to_rgb(png);
                if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
            } else {
                png_set_gray_to_rgb(png);
            }
            break;
        case PNG_COLOR_TYPE_RGB: sourceDepth = 24; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: sourceDepth = 32; break;
        default: free_state(st); return 0;
    }
    if (bitDepth == 16) png_set_strip_16(png);  // each sample keeps its high byte
    png_set_bgr(png);
    st->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    int outType = png_get_color_type(png, info);
    int outDepth = png_get_bit_depth(png, info);
    int depth = outType == PNG_COLOR_TYPE_RGB ? 24 : 32;
    // The rows libpng will write must be exactly the pixels of one row.
    if (outDepth != 8 || (outType != PNG_COLOR_TYPE_RGB && outType != PNG_COLOR_TYPE_RGB_ALPHA) ||
        png_get_rowbytes(png, info) != static_cast<png_size_t>(w) * (depth / 8)) {
        free_state(st);
        return 0;
    }

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLen = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLen) && profile && profileLen)
        ctx.icc.assign(profile, profile + profileLen);
#ifdef PNG_eXIf_SUPPORTED
    png_bytep exif = nullptr;
    png_uint_32 exifLen = 0;
    if (png_get_eXIf_1(png, info, &exifLen, &exif) && exif && exifLen) ctx.exif.assign(exif, exif + exifLen);
#endif

    st->bitDepth = bitDepth;
    ctx.width = static_cast<int>(w);
    ctx.height = static_cast<int>(h);
    ctx.depth = depth;
    ctx.source_depth = sourceDepth;
    ctx.state = st;
    return 1;
}

int png_decoder_decode(DecoderContext& ctx, std::uint8_t* pixels, int pitch, int rowFlags) {
    auto* st = static_cast<PngState*>(ctx.state);
    if (!st) return 0;
    if (setjmp(png_jmpbuf(st->png))) return 0;
    const int height = ctx.height;
    for (int pass = 0; pass < st->passes; ++pass) {
        for (int i = 0; i < height; ++i) {
            if (detail::cancelled(ctx.engine)) {
                ctx.cancelled = true;
                return 0;
            }
            std::uint8_t* row =
                pixels + static_cast<std::ptrdiff_t>(pitch) * ((rowFlags & BottomUp) ? height - 1 - i : i);
            png_read_row(st->png, row, nullptr);
        }
    }
    return 1;
}

void png_decoder_release(DecoderContext& ctx) {
    free_state(static_cast<PngState*>(ctx.state));
    ctx.state = nullptr;
}

}  // namespace

void register_png_decoder(Engine& e) {
    detail::add_decoder(e, ImageDecoder{"PNG", png_decoder_check, png_decoder_decode, png_decoder_release});
}

}  // namespace tv::img

// PNG output through libpng: palette files at 1, 2, 4 and 8 bits (palette
// from the quantiser), 8-bit RGB or RGBA otherwise. Rows are unfiltered and
// compressed at level 9.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "imaging/exif.h"
#include "imaging/image.h"
#include "imaging/quantizer.h"

namespace tv::img {
namespace {

// libpng's messages have nobody to go to: an error long-jumps back to the
// encoder, which reports 0; warnings are dropped.
[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_png_warning(png_structp, png_const_charp) {}

struct PngJob {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    PaletteQuantizer* quantizer = nullptr;
    std::vector<std::uint8_t> exif;  // the block as written: this picture's size in it
};

// Everything that may long-jump lives here, and keeps its state in the job
// (not in locals) so nothing is lost when libpng jumps back.
int write_png(PngJob& job, const std::uint8_t* pixels, int width, int height, int pitch, int rowFlags,
              int options, int outputDepth, bool alpha, const Image* meta, const Engine* engine) {
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (!job.png) return 0;
    job.info = png_create_info_struct(job.png);
    if (!job.info) return 0;
    if (setjmp(png_jmpbuf(job.png))) return 0;

    // A profile libpng finds unusable is left out instead of failing the save.
    png_set_benign_errors(job.png, 1);
    png_init_io(job.png, job.file);
    png_set_filter(job.png, 0, PNG_FILTER_NONE);
    png_set_compression_level(job.png, 9);

    const bool palette = outputDepth >= 1 && outputDepth <= 8;
    if (palette) {
        // Depths 3, 5, 6 and 7 are refused here by libpng, before any learning.
        png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                     outputDepth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        job.quantizer = quantizer_build(pixels, width, height, alpha ? 32 : 24, pitch, outputDepth, options, engine);
        if (!job.quantizer) return 0;
        png_color plte[256];
        for (std::uint32_t i = 0; i < job.quantizer->N; ++i) {
            plte[i].red = job.quantizer->palette[i][2];
            plte[i].green = job.quantizer->palette[i][1];
            plte[i].blue = job.quantizer->palette[i][0];
        }
        png_set_PLTE(job.png, job.info, plte, static_cast<int>(job.quantizer->N));
        png_set_gAMA_fixed(job.png, job.info, 180000);  // the quantiser's gamma, 1.8
    } else {
        png_set_IHDR(job.png, job.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    }
    if (meta && detail::icc_profile_is_rgb(meta->icc))
        png_set_iCCP(job.png, job.info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, meta->icc.data(),
                     static_cast<png_uint_32>(meta->icc.size()));
    if (meta && !meta->exif.empty()) {
        job.exif = meta->exif;
        exif_set_pixel_size(job.exif, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
        png_set_eXIf_1(job.png, job.info, static_cast<png_uint_32>(job.exif.size()), job.exif.data());
    }
    png_write_info(job.png, job.info);
    if (!palette) png_set_bgr(job.png);

    const bool bottomUp = (rowFlags & BottomUp) != 0;
    for (int k = 0; k < height; ++k) {
        if (detail::cancelled(engine)) return 0;
        int row = bottomUp ? height - 1 - k : k;
        if (palette)
            png_write_row(job.png, quantizer_index_row(*job.quantizer, row));
        else
            png_write_row(job.png, pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(pitch));
    }
    // Nothing follows the pixels; handing libpng the info again would make
    // it write the eXIf chunk a second time, which readers may refuse.
    png_write_end(job.png, nullptr);
    return 1;
}

int encode(const char* path, const std::uint8_t* pixels, int width, int height, int pitch, int rowFlags,
           int options, int outputDepth, const Image* meta, const Engine* engine, bool alpha) {
    if (!path || !*path || !pixels || width < 1 || height < 1 || width > MaxDimension || height > MaxDimension)
        return 0;
    if (pitch < width * (alpha ? 4 : 3)) return 0;
    PngJob job;
    job.file = open_file(engine, path, "wb");
    if (!job.file) return 0;
    int ok = write_png(job, pixels, width, height, pitch, rowFlags, options, outputDepth, alpha, meta, engine);
    quantizer_release(job.quantizer);
    if (job.png) png_destroy_write_struct(&job.png, job.info ? &job.info : nullptr);
    // The last compressed bytes reach the disk only now; a full disk shows here.
    if (std::fflush(job.file) != 0 || std::ferror(job.file)) ok = 0;
    if (std::fclose(job.file) != 0) ok = 0;
    return ok;
}

int encode_rgb(const char* path, const std::uint8_t* pixels, int width, int height, int pitch, int rowFlags,
               int options, int outputDepth, const Image* meta, const Engine* engine) {
    return encode(path, pixels, width, height, pitch, rowFlags, options, outputDepth, meta, engine, false);
}

int encode_rgba(const char* path, const std::uint8_t* pixels, int width, int height, int pitch, int rowFlags,
                int options, int outputDepth, const Image* meta, const Engine* engine) {
    return encode(path, pixels, width, height, pitch, rowFlags, options, outputDepth, meta, engine, true);
}

}  // namespace

void register_png_encoder(Engine& e) { detail::add_encoder(e, ImageEncoder{PngEncoderId, encode_rgb, encode_rgba}); }

}  // namespace tv::img

// Writes small pictures of every kind the engine writes into the folders
// given (bmp, jpeg, png, any), used as fuzzing seeds when the third-party
// samples are not there: fuzz_seeds OUTDIR
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include <jpeglib.h>

#include <vector>

#include "imaging/image.h"

namespace img = tv::img;

static int saveOne(img::Engine& e, int w, int h, int d, const std::string& path, std::uint32_t enc, int options,
                   int depth) {
    img::Image* im = img::detail::create_image(e, w, h, d);
    if (!im) return 0;
    for (std::size_t i = 0; i < im->size; ++i) im->pixels[i] = static_cast<std::uint8_t>((i * 37) ^ (i >> 5));
    img::ImageHandle hd = img::detail::add_to_table(e, im);
    int ok = img::image_save(e, hd, path, enc, options, depth);
    img::image_free(e, hd);
    if (!ok) std::fprintf(stderr, "could not write %s\n", path.c_str());
    return ok;
}

// JPEG variants the engine's own encoder does not write: grey, four
// components, progressive, restart markers, 4:2:0 sampling.
static int writeJpeg(const std::string& path, int components, J_COLOR_SPACE space, bool progressive, int restart,
                     bool subsample) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = 33;
    c.image_height = 19;
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    c.restart_interval = static_cast<unsigned>(restart);
    if (components == 3 && !subsample)
        for (int i = 0; i < 3; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(c.image_width) * components);
    while (c.next_scanline < c.image_height) {
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<JSAMPLE>(i * 11 + c.next_scanline * 7);
        JSAMPROW rp = row.data();
        jpeg_write_scanlines(&c, &rp, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0 ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR\n");
        return 2;
    }
    std::string root = std::string(argv[1]) + "/";
    for (const char* sub : {"bmp", "jpeg", "png"}) mkdir((root + sub).c_str(), 0755);
    img::Engine e;
    img::register_jpeg_decoder(e);
    img::register_jpeg_encoder(e);
    img::register_png_decoder(e);
    img::register_png_encoder(e);
    int n = 0;
    for (int depth : {1, 4, 8, 16, 24, 32})
        n += saveOne(e, 13, 7, 24, root + "bmp/gen" + std::to_string(depth) + ".bmp", img::BmpEncoderId, 7, depth);
    n += saveOne(e, 9, 5, 32, root + "bmp/gen32a.bmp", img::BmpEncoderId, 7, 32);
    for (int q : {0, 5, 10}) {
        n += saveOne(e, 17, 11, 24, root + "jpeg/gen_q" + std::to_string(q) + ".jpg", img::JpegEncoderId, q, 24);
        n += saveOne(e, 40, 24, 24, root + "jpeg/gen_big_q" + std::to_string(q) + ".jpg", img::JpegEncoderId, q, 24);
    }
    n += writeJpeg(root + "jpeg/grey.jpg", 1, JCS_GRAYSCALE, false, 0, false);
    n += writeJpeg(root + "jpeg/cmyk.jpg", 4, JCS_CMYK, false, 0, false);
    n += writeJpeg(root + "jpeg/progressive.jpg", 3, JCS_RGB, true, 0, true);
    n += writeJpeg(root + "jpeg/progressive_grey.jpg", 1, JCS_GRAYSCALE, true, 0, false);
    n += writeJpeg(root + "jpeg/restart.jpg", 3, JCS_RGB, false, 2, true);
    n += writeJpeg(root + "jpeg/444.jpg", 3, JCS_RGB, false, 0, false);
    for (int depth : {1, 2, 4, 8, 24})
        n += saveOne(e, 12, 6, 24, root + "png/gen" + std::to_string(depth) + ".png", img::PngEncoderId, 7, depth);
    n += saveOne(e, 12, 6, 32, root + "png/gen_rgba.png", img::PngEncoderId, 7, 32);
    std::printf("%d seeds written\n", n);
    return n > 0 ? 0 : 1;
}

// Writes small pictures of every kind the engine writes into the folders
// given (bmp, jpeg, png, any), used as fuzzing seeds when the third-party
// samples are not there, and EXIF blocks (exif): fuzz_seeds OUTDIR
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include <jpeglib.h>

#include <vector>

#include "imaging/image.h"

namespace img = tv::img;

// A camera's EXIF block: IFD0 with an orientation and the Exif sub-IFD
// pointer, the sub-IFD with PixelXDimension and PixelYDimension (SHORT or
// LONG) saying w x h.
static std::vector<std::uint8_t> exifBlock(bool bigEndian, std::uint16_t type, std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> b;
    auto w16 = [&](std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(bigEndian ? v >> 8 : v));
        b.push_back(static_cast<std::uint8_t>(bigEndian ? v : v >> 8));
    };
    auto w32 = [&](std::uint32_t v) {
        w16(bigEndian ? v >> 16 : v & 0xFFFF);
        w16(bigEndian ? v & 0xFFFF : v >> 16);
    };
    auto entry = [&](std::uint16_t tag, std::uint16_t t, std::uint32_t v) {
        w16(tag);
        w16(t);
        w32(1);
        if (t == 3) {
            w16(v);
            w16(0);
        } else {
            w32(v);
        }
    };
    b = {static_cast<std::uint8_t>(bigEndian ? 'M' : 'I'), static_cast<std::uint8_t>(bigEndian ? 'M' : 'I')};
    w16(42);
    w32(8);
    w16(2);
    entry(0x0112, 3, 6);
    entry(0x8769, 4, 38);
    w32(0);
    w16(2);
    entry(0xA002, type, w);
    entry(0xA003, type, h);
    w32(0);
    return b;
}

static int writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok ? 1 : 0;
}

static int saveOne(img::Engine& e, int w, int h, int d, const std::string& path, std::uint32_t enc, int options,
                   int depth, const std::vector<std::uint8_t>& exif = {}) {
    img::Image* im = img::detail::create_image(e, w, h, d);
    if (!im) return 0;
    im->exif = exif;
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
    for (const char* sub : {"bmp", "jpeg", "png", "exif"}) mkdir((root + sub).c_str(), 0755);
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
    // fuzz_exif takes the last byte as its size knob, the rest as the block.
    for (bool bigEndian : {false, true}) {
        std::vector<std::uint8_t> seed = exifBlock(bigEndian, bigEndian ? 4 : 3, 4000, 3000);
        seed.push_back(0x09);
        n += writeBytes(root + (bigEndian ? "exif/mm_long.bin" : "exif/ii_short.bin"), seed);
    }
    n += saveOne(e, 16, 12, 24, root + "jpeg/gen_exif.jpg", img::JpegEncoderId, 5, 24, exifBlock(true, 3, 16, 12));
    n += saveOne(e, 16, 12, 24, root + "png/gen_exif.png", img::PngEncoderId, 7, 24, exifBlock(false, 4, 16, 12));
    std::printf("%d seeds written\n", n);
    return n > 0 ? 0 : 1;
}

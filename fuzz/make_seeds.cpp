// Writes small pictures of every kind the engine writes into the folders
// given (bmp, jpeg, png, any), used as fuzzing seeds when the third-party
// samples are not there: fuzz_seeds OUTDIR
#include <sys/stat.h>

#include <cstdio>
#include <string>

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
    for (int depth : {1, 2, 4, 8, 24}) 
        n += saveOne(e, 12, 6, 24, root + "png/gen" + std::to_string(depth) + ".png", img::PngEncoderId, 7, depth);
    n += saveOne(e, 12, 6, 32, root + "png/gen_rgba.png", img::PngEncoderId, 7, 32);
    std::printf("%d seeds written\n", n);
    return n > 0 ? 0 : 1;
}

// Builds PNG pictures with alpha from a folder of JPEGs, for timing the
// 32-bit paths of a batch (exact resampler, RGBA writing, the palette
// quantiser on alpha pictures):
//
//   make_png_corpus JPEG_FOLDER OUT_FOLDER [--max-mp M]
//
// OUT_FOLDER/rgba/NAME.png: 8-bit RGBA, the photo with an alpha ramp
// (fully transparent corner, fully opaque band, everything between).
// OUT_FOLDER/palette/NAME.png: the same picture as an 8-bit palette PNG
// with a tRNS chunk, so it loads as 32 bits with source depth 8 and a
// batch writes it back through the quantiser.
// Pictures above M megapixels (default: no limit) are skipped.

#include <dirent.h>
#include <sys/stat.h>

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "imaging/quantizer.h"

namespace {

bool isJpeg(const std::string& n) {
    std::size_t dot = n.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = n.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == "jpg" || ext == "jpeg";
}

// Alpha of pixel (x, y) of a w x h picture: 0 in the top-left corner, 255
// over the bottom third, a ramp (with a ripple, so neighbouring rows differ)
// elsewhere.
std::uint8_t alphaAt(int x, int y, int w, int h) {
    if (y * 3 >= h * 2) return 255;
    if (x * 5 < w && y * 5 < h) return 0;
    long v = (static_cast<long>(x) * 255) / w + (static_cast<long>(y) * 128) / h + ((x ^ y) & 15);
    return static_cast<std::uint8_t>(v > 255 ? 255 : v);
}

struct PngOut {
    std::FILE* f = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

[[noreturn]] void onError(png_structp png, png_const_charp msg) {
    std::fprintf(stderr, "make_png_corpus: %s\n", msg);
    png_longjmp(png, 1);
}

// rows: top row first, B,G,R,A per pixel.
bool writeRgba(const std::string& path, const std::vector<std::uint8_t>& rgba, int w, int h) {
    PngOut o;
    o.f = std::fopen(path.c_str(), "wb");
    if (!o.f) return false;
    o.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, nullptr);
    o.info = png_create_info_struct(o.png);
    if (setjmp(png_jmpbuf(o.png))) {
        png_destroy_write_struct(&o.png, &o.info);
        std::fclose(o.f);
        return false;
    }
    png_init_io(o.png, o.f);
    png_set_compression_level(o.png, 3);
    png_set_IHDR(o.png, o.info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(o.png, o.info);
    png_set_bgr(o.png);
    for (int y = 0; y < h; ++y)
        png_write_row(o.png, const_cast<png_bytep>(rgba.data() + static_cast<std::size_t>(y) * w * 4));
    png_write_end(o.png, o.info);
    png_destroy_write_struct(&o.png, &o.info);
    return std::fclose(o.f) == 0;
}

bool writePalette(const std::string& path, const std::vector<std::uint8_t>& rgba, int w, int h) {
    tv::img::PaletteQuantizer* q = tv::img::quantizer_build(rgba.data(), w, h, 32, w * 4, 8, 0);
    if (!q) return false;
    PngOut o;
    o.f = std::fopen(path.c_str(), "wb");
    if (!o.f) {
        tv::img::quantizer_release(q);
        return false;
    }
    o.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, nullptr);
    o.info = png_create_info_struct(o.png);
    if (setjmp(png_jmpbuf(o.png))) {
        png_destroy_write_struct(&o.png, &o.info);
        std::fclose(o.f);
        tv::img::quantizer_release(q);
        return false;
    }
    png_init_io(o.png, o.f);
    png_set_compression_level(o.png, 3);
    png_set_IHDR(o.png, o.info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color plte[256];
    png_byte trns[256];
    for (std::uint32_t i = 0; i < q->N; ++i) {
        plte[i].red = q->palette[i][2];
        plte[i].green = q->palette[i][1];
        plte[i].blue = q->palette[i][0];
        trns[i] = q->palette[i][3];
    }
    png_set_PLTE(o.png, o.info, plte, static_cast<int>(q->N));
    png_set_tRNS(o.png, o.info, trns, static_cast<int>(q->N), nullptr);
    png_write_info(o.png, o.info);
    for (int y = 0; y < h; ++y) png_write_row(o.png, const_cast<png_bytep>(tv::img::quantizer_index_row(*q, y)));
    png_write_end(o.png, o.info);
    png_destroy_write_struct(&o.png, &o.info);
    tv::img::quantizer_release(q);
    return std::fclose(o.f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_png_corpus JPEG_FOLDER OUT_FOLDER [--max-mp M]\n");
        return 2;
    }
    std::string in = argv[1], out = argv[2];
    double maxMp = 0.0;
    if (argc == 5 && std::strcmp(argv[3], "--max-mp") == 0) maxMp = std::atof(argv[4]);
    if (in.back() != '/') in += '/';
    if (out.back() != '/') out += '/';
    mkdir(out.c_str(), 0755);
    mkdir((out + "rgba").c_str(), 0755);
    mkdir((out + "palette").c_str(), 0755);

    std::vector<std::string> names;
    if (DIR* d = opendir(in.c_str())) {
        while (dirent* e = readdir(d))
            if (isJpeg(e->d_name)) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());

    tv::img::Engine engine;
    tv::img::register_jpeg_decoder(engine);
    int made = 0;
    for (const std::string& n : names) {
        tv::img::ImageHandle h = tv::img::image_load(engine, in + n);
        const tv::img::Image* im = tv::img::image_get(engine, h);
        if (!im || im->depth != 24) {
            tv::img::image_free(engine, h);
            continue;
        }
        const int w = im->width, ht = im->height;
        if (maxMp > 0.0 && static_cast<double>(w) * ht / 1e6 > maxMp) {
            tv::img::image_free(engine, h);
            continue;
        }
        const int pitch = tv::img::row_pitch(w, 24);
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * ht * 4);
        for (int y = 0; y < ht; ++y) {
            // The engine's rows are bottom-up.
            const std::uint8_t* s = im->pixels + static_cast<std::size_t>(ht - 1 - y) * pitch;
            std::uint8_t* d = rgba.data() + static_cast<std::size_t>(y) * w * 4;
            for (int x = 0; x < w; ++x) {
                d[4 * x + 0] = s[3 * x + 0];
                d[4 * x + 1] = s[3 * x + 1];
                d[4 * x + 2] = s[3 * x + 2];
                d[4 * x + 3] = alphaAt(x, y, w, ht);
            }
        }
        tv::img::image_free(engine, h);
        std::string stem = n.substr(0, n.rfind('.'));
        bool ok = writeRgba(out + "rgba/" + stem + ".png", rgba, w, ht) &&
                  writePalette(out + "palette/" + stem + ".png", rgba, w, ht);
        if (!ok) {
            std::fprintf(stderr, "make_png_corpus: could not write %s\n", stem.c_str());
            return 1;
        }
        ++made;
    }
    std::printf("pictures: %d\n", made);
    return made > 0 ? 0 : 1;
}

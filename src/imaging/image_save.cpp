// image_save: picks the encoder, settles the output depth and hands it pixels
// of a depth it can take.
#include <cstdlib>
#include <cstring>

#include "imaging/image.h"

namespace tv::img {

void flatten_on_white(const std::uint8_t* src, int width, int height, int srcPitch, std::uint8_t* dst,
                      int dstPitch) {
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* s = src + static_cast<std::ptrdiff_t>(srcPitch) * y;
        std::uint8_t* d = dst + static_cast<std::ptrdiff_t>(dstPitch) * y;
        for (int x = 0; x < width; ++x) {
            const int a = s[4 * x + 3];
            for (int c = 0; c < 3; ++c) d[3 * x + c] = static_cast<std::uint8_t>(((s[4 * x + c] - 255) * a + 65025) / 255);
        }
    }
}

namespace detail {

bool icc_profile_is_rgb(const std::vector<std::uint8_t>& profile) {
    // Shorter than the fixed 128-byte header, it is no profile at all.
    return profile.size() >= 128 && std::memcmp(profile.data() + 16, "RGB ", 4) == 0;
}

}  // namespace detail

namespace {

int save_pixels(Engine& e, const Image& im, const std::uint8_t* pixels, int depth, const std::string& path,
                std::uint32_t encoder, int options, int outputDepth) {
    const int width = im.width;
    const int height = im.height;
    const int pitch = row_pitch(width, depth);
    if (encoder == BmpEncoderId)
        return detail::write_bmp(path.c_str(), pixels, pitch, width, height, depth, BottomUp, options, outputDepth, &e);

    const ImageEncoder* enc = nullptr;
    for (const ImageEncoder& candidate : e.encoders) {
        if (candidate.id == encoder) {
            enc = &candidate;
            break;
        }
    }
    if (!enc) return 0;

    if (depth == 32) {
        if (enc->encode_rgba)
            return enc->encode_rgba(path.c_str(), pixels, width, height, pitch, BottomUp, options, outputDepth, &im, &e);
        if (!enc->encode_rgb) return 0;
        const int flatPitch = row_pitch(width, 24);
        auto* flat = static_cast<std::uint8_t*>(
            std::malloc(static_cast<std::size_t>(flatPitch) * static_cast<std::size_t>(height)));
        if (!flat) return 0;
        flatten_on_white(pixels, width, height, pitch, flat, flatPitch);
        int r = enc->encode_rgb(path.c_str(), flat, width, height, flatPitch, BottomUp, options, outputDepth, &im, &e);
        std::free(flat);
        return r;
    }
    if (depth == 24 && enc->encode_rgb)
        return enc->encode_rgb(path.c_str(), pixels, width, height, pitch, BottomUp, options, outputDepth, &im, &e);
    return 0;
}

}  // namespace

int image_save(Engine& e, ImageHandle h, const std::string& path, std::uint32_t encoder, int options, int depth) {
    if (path.empty()) return 0;
    const Image* im = detail::lookup(e, h);
    if (!im || !im->pixels) return 0;
    if (depth == -1) depth = im->source_depth;

    if (im->depth == 16) {
        // No writer takes 16-bit pixels: hand them a 24-bit copy rather than
        // refusing the picture. The output depth stays the one asked for.
        Image* wide = detail::convert16_to_24(e, *im);
        if (!wide) return 0;
        int r = save_pixels(e, *wide, wide->pixels, 24, path, encoder, options, depth);
        detail::destroy_image(wide);
        return r;
    }
    if (im->depth != 24 && im->depth != 32) return 0;
    return save_pixels(e, *im, im->pixels, im->depth, path, encoder, options, depth);
}

}  // namespace tv::img

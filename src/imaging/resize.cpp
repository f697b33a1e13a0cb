// image_resize: scales an Image in place. 32-bit pictures go through the
// exact cubic resampler (alpha filtered like the colour channels), 24-bit
// ones (and 16-bit ones, turned into 24 bits first) through the fixed-point
// one; raw mode takes the nearest pixel for every kind.
#include <utility>

#include "imaging/image.h"
#include "imaging/resize_internal.h"

namespace tv::img {

int image_resize(Engine& e, ImageHandle h, int newWidth, int newHeight, int mode) {
    Image* im = detail::lookup(e, h);
    if (!im || !im->pixels) return 0;
    if (newWidth == im->width && newHeight == im->height) return 1;
    if (newWidth < 1 || newHeight < 1 || newWidth > MaxDimension || newHeight > MaxDimension) return 0;
    if (im->depth != 16 && im->depth != 24 && im->depth != 32) return 0;
    if (detail::cancelled(e)) return 0;

    const int depth = im->depth == 32 ? 32 : 24;
    // The limit is set here so the resamplers, which only read the engine,
    // can weigh their intermediate image against it.
    detail::pixel_limit(e);
    Image* out = detail::create_image(e, newWidth, newHeight, depth);
    if (!out) return 0;

    // A 16-bit picture is widened first; the widened copy lives only for
    // this call.
    Image* wide = nullptr;
    const Image* src = im;
    if (im->depth == 16) {
        wide = detail::convert16_to_24(e, *im);
        if (!wide) {
            detail::destroy_image(out);
            return 0;
        }
        src = wide;
    }

    const int srcPitch = row_pitch(src->width, depth);
    const int dstPitch = row_pitch(newWidth, depth);
    int ok;
    if (mode != 0)
        ok = detail::stretch_nearest(e, out->pixels, dstPitch, newWidth, newHeight, src->pixels, srcPitch,
                                     src->width, src->height, depth / 8);
    else if (depth == 32)
        ok = detail::resample_rgba(e, out->pixels, newWidth, newHeight, src->pixels, src->width, src->height);
    else
        ok = detail::resample_rgb(e, out->pixels, dstPitch, newWidth, newHeight, src->pixels, srcPitch, src->width,
                                  src->height);
    detail::destroy_image(wide);
    if (!ok) {
        detail::destroy_image(out);
        return 0;
    }
    // The record keeps its handle, metadata and source depth; it takes the
    // new pixels, and the old ones leave with the spare record.
    std::swap(im->pixels, out->pixels);
    std::swap(im->size, out->size);
    std::swap(im->capacity, out->capacity);
    std::swap(im->owner, out->owner);
    im->width = newWidth;
    im->height = newHeight;
    im->depth = depth;
    detail::destroy_image(out);
    return 1;
}

}  // namespace tv::img

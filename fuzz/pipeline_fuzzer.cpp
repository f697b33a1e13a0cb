// Fuzzes the worker's path through the engine: load, resize, save in the
// three output formats, and load the saved file back. The last input byte
// chooses the scale and the JPEG quality.
#include "fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tv::img::Engine& engine = tvfuzz::engine();
    if (size < 2) return 0;
    std::uint8_t knob = data[size - 1];
    const std::string& in = tvfuzz::scratchPath("pipe_in");
    const std::string out = in + "_out";
    if (!tvfuzz::writeScratch(in, data, size - 1)) return 0;
    tv::img::ImageHandle h = tv::img::image_load(engine, in);
    if (h == tv::img::NoImage) return 0;
    tvfuzz::checkImage(engine, h);
    // Keep the work per input small: outputs of at most 2048 pixels a side.
    int w = tv::img::image_width(engine, h), hgt = tv::img::image_height(engine, h);
    static const float ratios[] = {0.5f, 0.25f, 1.5f, 0.1f, 2.0f, 0.75f, 0.33f, 1.0f};
    float r = ratios[knob & 7];
    int nw = static_cast<int>(w * r + 0.5f), nh = static_cast<int>(hgt * r + 0.5f);
    if (nw >= 1 && nh >= 1 && nw <= 2048 && nh <= 2048 && (nw != w || nh != hgt)) {
        if (tv::img::image_resize(engine, h, nw, nh, (knob >> 3) & 1) != 0) {
            if (tv::img::image_width(engine, h) != nw || tv::img::image_height(engine, h) != nh) __builtin_trap();
        }
        tvfuzz::checkImage(engine, h);
    }
    static const std::uint32_t encoders[] = {tv::img::JpegEncoderId, tv::img::PngEncoderId, tv::img::BmpEncoderId};
    std::uint32_t enc = encoders[(knob >> 4) % 3];
    int options = enc == tv::img::JpegEncoderId ? (knob >> 6) * 3 : 7;
    int saved = tv::img::image_save(engine, h, out, enc, options);
    int fw = tv::img::image_width(engine, h), fh = tv::img::image_height(engine, h);
    tv::img::image_free(engine, h);
    if (saved) {
        // What the engine wrote it must be able to read back, at the same size.
        tv::img::ImageHandle back = tv::img::image_load(engine, out);
        if (back == tv::img::NoImage) __builtin_trap();
        if (tv::img::image_width(engine, back) != fw || tv::img::image_height(engine, back) != fh) __builtin_trap();
        tv::img::image_free(engine, back);
    }
    std::remove(out.c_str());
    return 0;
}

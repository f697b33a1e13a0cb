// Shared by the fuzz targets: the engine only reads files by path, so each
// input is written to one scratch file per process first.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/image.h"

namespace tvfuzz {

inline const std::string& scratchPath(const char* tag) {
    static const std::string path = [tag] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/tv_fuzz_" + tag + "_" + std::to_string(getpid());
    }();
    return path;
}

inline bool writeScratch(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// An engine with every codec and a pixel limit small enough that a header
// claiming a huge picture is refused rather than exhausting the fuzzer's
// memory limit.
inline void setUp(tv::img::Engine& e) {
    tv::img::register_jpeg_decoder(e);
    tv::img::register_jpeg_encoder(e);
    tv::img::register_png_decoder(e);
    tv::img::register_png_encoder(e);
    e.maxPixelBytes = 8u << 20;
}

// The one engine of this process, set up on first use.
inline tv::img::Engine& engine() {
    static tv::img::Engine e;
    static const bool ready = (setUp(e), true);
    (void)ready;
    return e;
}

// Checks what every loaded image must satisfy; aborts (a finding) otherwise.
inline void checkImage(const tv::img::Engine& e, tv::img::ImageHandle h) {
    const tv::img::Image* im = tv::img::image_get(e, h);
    if (!im) __builtin_trap();
    if (im->width < 1 || im->width > tv::img::MaxDimension || im->height < 1 ||
        im->height > tv::img::MaxDimension)
        __builtin_trap();
    if (im->depth != 16 && im->depth != 24 && im->depth != 32) __builtin_trap();
    std::size_t need = static_cast<std::size_t>(tv::img::row_pitch(im->width, im->depth)) *
                       static_cast<std::size_t>(im->height);
    if (!im->pixels || im->size < need) __builtin_trap();
    // Touch every byte so a short buffer shows up under ASan.
    volatile std::uint8_t sink = 0;
    for (std::size_t i = 0; i < need; i += 61) sink = sink ^ im->pixels[i];
    sink = sink ^ im->pixels[need - 1];
    (void)sink;
}

}  // namespace tvfuzz

// Working record of one load, shared by image_load and the decoders, and the
// engine's own BMP reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace tv::img {

// The length of an open file, found by seeking to its end (the position is
// left there); -1 when it cannot be told. 64-bit on every system: long, what
// ftell answers in, has 32 bits on Windows.
inline std::int64_t size_from_end(std::FILE* f) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
    return _ftelli64(f);
#else
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    return std::ftell(f);
#endif
}

struct DecoderContext {
    const ImageDecoder* decoder = nullptr;
    const Engine* engine = nullptr;
    std::FILE* file = nullptr;  // opened for reading by the caller of the load
    int width = 0;
    int height = 0;
    int depth = 0;         // bits per pixel of the image to create: 24 or 32
    int source_depth = 0;  // bits per pixel as stored in the file
    // Largest pixel buffer the load may allocate; decoders also use it to
    // cap their own working memory.
    std::size_t memory_limit = 0;
    // Segments found while reading the header, moved into the Image.
    std::vector<std::uint8_t> exif;
    std::vector<std::uint8_t> icc;
    // Set by decode when the cancel check abandoned the load.
    bool cancelled = false;
    void* state = nullptr;  // the decoder's own
};

namespace detail {
// The engine's own BMP reader, asked before the registered decoders. Returns
// a new Image (not yet in the table), or nullptr when the data is not a BMP
// it can read (or memory is short).
Image* read_bmp(Engine& e, const std::uint8_t* data, std::size_t size);
}  // namespace detail

}  // namespace tv::img

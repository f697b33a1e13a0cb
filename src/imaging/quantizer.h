// Palette chooser for PNG and BMP files written at 1, 2, 4 or 8 bits per
// pixel: a four-channel (alpha, red, green, blue) NeuQuant network learnt in
// a gamma 1.8 space, with colour distances weighted by opacity.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::img {

struct Engine;

// Samples learnt between two of the engine's cancel checks: about a
// millisecond of learning at 256 entries.
constexpr std::uint32_t QuantizerCancelEvery = 1024;

struct PaletteQuantizer {
    // B, G, R, A per pixel, rows of width * 4 bytes, row 0 first in memory.
    const std::uint8_t* pixels = nullptr;
    std::uint8_t* ownedPixels = nullptr;  // non-null when the rows were copied
    std::uint32_t length = 0;             // width * height * 4
    int width = 0;
    int height = 0;
    int depth = 0;       // bits per index: 1, 2, 4 or 8
    std::uint32_t N = 0; // palette size, 2^depth
    double gamma = 1.8;
    double network[256][4] = {};  // per node: alpha (linear), red, green, blue (gamma space)
    double freq[256] = {};
    double bias[256] = {};
    double radpower[32] = {};
    std::uint32_t netindex[256] = {};
    double biasvalues[256] = {};
    std::uint8_t searchMap[256][4] = {};  // per node B, G, R, A
    std::uint8_t palette[256][4] = {};    // per entry B, G, R, A, linear
    std::uint8_t* indexRow = nullptr;     // width + 8 bytes
    // Pixel -> index memo for the row mapping (an index depends on the pixel
    // alone): CacheSize slots of (pixel, index + 1), 0 = empty.
    static constexpr std::uint32_t CacheSize = 1u << 14;
    std::uint64_t* cache = nullptr;
};

// Learns the palette of 2^depth entries for a 24 or 32-bit picture (rows
// pitch bytes apart). depth must be 1, 2, 4 or 8. Only option bit 0x100 would
// mean anything (an error-diffusion mapping the program never asks for), so
// options are accepted and ignored. The learning asks the engine's cancel
// check (engine may be null) every QuantizerCancelEvery samples. nullptr on
// bad arguments, when memory cannot be had or when the check says stop.
PaletteQuantizer* quantizer_build(const std::uint8_t* pixels, int width, int height, int imageDepth, int pitch,
                                  int depth, int options, const Engine* engine = nullptr);

// The palette index of one pixel as held in the working rows.
int quantizer_index(const PaletteQuantizer& q, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a);

// Maps working row `row` (memory order) to indices packed at the quantiser's
// depth, first pixel in the most significant bits. The first
// ceil(width * depth / 8) bytes are meaningful, the rest of the width + 8
// byte buffer is zero. The buffer is reused by the next call.
const std::uint8_t* quantizer_index_row(PaletteQuantizer& q, int row);

void quantizer_release(PaletteQuantizer* q);

}  // namespace tv::img

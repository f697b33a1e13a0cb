// Pieces the resize files share: the cubic filter's contribution lists, the
// exact double-precision resampler for any channel count, the nearest-pixel
// stretch and the fixed-point passes. Engine-internal; tests use them
// directly. The AVX2 twins include this header too: nothing inline here may
// be used by them (see simd.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image.h"

namespace tv::img::detail {

// One pass from nIn to nOut samples: for output i, the inputs
// left[i] .. left[i] + count[i] - 1 with weights w[i * taps + k].
struct Contributions {
    int nIn = 0;
    int nOut = 0;
    int taps = 0;  // room per output index
    int* left = nullptr;
    int* count = nullptr;
    double* w = nullptr;

    Contributions() = default;
    Contributions(const Contributions&) = delete;
    Contributions& operator=(const Contributions&) = delete;
    ~Contributions();
};

// Mitchell-Netravali cubic, B = C = 1/3.
double mitchell(double x);

// False when memory cannot be had.
bool build_contributions(Contributions& c, int nIn, int nOut);

// True when the horizontal pass goes first: it keeps the intermediate
// image the smaller one (a tie goes horizontal first too).
inline bool horizontal_first(int srcW, int srcH, int dstW, int dstH) {
    return static_cast<std::int64_t>(srcH) * dstW <= static_cast<std::int64_t>(srcW) * dstH;
}

// Byte for a filtered sum: acc + 0.5 truncated, held to 0..255.
inline std::uint8_t to_byte(double acc) {
    double v = acc + 0.5;
    if (v >= 255.0) return 255;
    if (!(v > 0.0)) return 0;
    return static_cast<std::uint8_t>(static_cast<int>(v));
}

// The exact two-pass resampler on pixels of `channels` bytes, rows of the
// given pitches. 1 on success, 0 when memory cannot be had or the engine
// asks to stop.
int resample_exact(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                   int srcPitch, int srcW, int srcH, int channels);

// Nearest-pixel stretch of pixels of `bytesPerPixel` bytes; 1 on success.
int stretch_nearest(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                    int srcPitch, int srcW, int srcH, int bytesPerPixel);

// Whether the fixed-point 24-bit resampler (resample_rgb) would fall back to
// the exact one for these sizes because fixed point could not stay within 1
// of it.
bool fixed_point_falls_back(int srcW, int srcH, int dstW, int dstH);

// Rows between two cancel checks.
constexpr int CancelEvery = 16;

// One pass of the fixed-point resampler: the contributions' weights as
// integers scaled by 2^shift, laid out for the plain loops (w) and for the
// AVX2 twins (wx).
struct FixedPass {
    int nIn = 0, nOut = 0, stride = 0, shift = 0;
    int* left = nullptr;
    int* count = nullptr;
    std::int16_t* w = nullptr;  // nOut x stride, zero after count
    double maxAbsSum = 0.0;     // largest sum of |weight| of one output
    double maxError = 0.0;      // largest sum of |fixed - exact| weights of one output
    std::int32_t* wx = nullptr;  // weight pairs spread for the SIMD kernel
    int groups = 1;              // most groups of four weights any output needs
    int safe8 = 0, safe16 = 0;   // outputs before these read inside the row with wide loads

    FixedPass() = default;
    FixedPass(const FixedPass&) = delete;
    FixedPass& operator=(const FixedPass&) = delete;
    ~FixedPass();
};

}  // namespace tv::img::detail

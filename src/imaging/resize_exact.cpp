// The engine's cubic resampler in double precision: separable, two passes,
// with the pass order that keeps the intermediate image small. The
// horizontal pass on four channels and the vertical pass have AVX2 twins
// (resize_exact_avx2.cpp) that give the same bytes.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/resize_internal.h"
#include "imaging/simd.h"

namespace tv::img::detail {

namespace {

struct Coefficients {
    double p0, p2, p3, q0, q1, q2, q3;
};

Coefficients mitchell_coefficients() {
    const double B = 1.0 / 3.0;
    const double C = 1.0 / 3.0;
    Coefficients k;
    k.p0 = (6.0 - 2.0 * B) / 6.0;
    k.p2 = (-18.0 + 12.0 * B + 6.0 * C) / 6.0;
    k.p3 = (12.0 - 9.0 * B - 6.0 * C) / 6.0;
    k.q0 = (8.0 * B + 24.0 * C) / 6.0;
    k.q1 = (-12.0 * B - 48.0 * C) / 6.0;
    k.q2 = (6.0 * B + 30.0 * C) / 6.0;
    k.q3 = (-B - 6.0 * C) / 6.0;
    return k;
}

double kernel(const Coefficients& k, double x) {
    double a = std::fabs(x);
    if (a < 1.0) return (k.p3 * a + k.p2) * (a * a) + k.p0;
    if (a < 2.0) return ((k.q3 * a + k.q2) * a + k.q1) * a + k.q0;
    return 0.0;
}

template <typename T>
T* alloc_array(std::size_t n) {
    if (n == 0 || n > static_cast<std::size_t>(-1) / sizeof(T)) return nullptr;
    return static_cast<T*>(std::malloc(n * sizeof(T)));
}

// Horizontal pass over `rows` rows; CH > 0 fixes the channel count at
// compile time (all channels of a pixel summed together, each sum still in
// increasing input index). Four-channel rows start in the AVX2 twin when
// avx2 is set.
template <int CH>
bool horizontal_pass(const Engine& e, const Contributions& c, const std::uint8_t* in, std::size_t inPitch,
                     std::uint8_t* out, std::size_t outPitch, int rows, int channels, bool avx2) {
    const int ch = CH > 0 ? CH : channels;
    for (int y = 0; y < rows; ++y) {
        if (y % CancelEvery == 0 && cancelled(e)) return false;
        const std::uint8_t* s = in + inPitch * static_cast<std::size_t>(y);
        std::uint8_t* d = out + outPitch * static_cast<std::size_t>(y);
        int i = 0;
        if constexpr (CH == 4) {
            if (avx2) i = exact_hrow4_avx2(c, s, d);
        }
        for (; i < c.nOut; ++i) {
            const double* w = c.w + static_cast<std::size_t>(i) * c.taps;
            const std::uint8_t* p = s + static_cast<std::size_t>(c.left[i]) * ch;
            std::uint8_t* o = d + static_cast<std::size_t>(i) * ch;
            if constexpr (CH > 0) {
                double acc[CH] = {};
                for (int j = 0; j < c.count[i]; ++j) {
                    const std::uint8_t* q = p + static_cast<std::size_t>(j) * CH;
                    for (int k = 0; k < CH; ++k) acc[k] += w[j] * q[k];
                }
                for (int k = 0; k < CH; ++k) o[k] = to_byte(acc[k]);
            } else {
                for (int k = 0; k < ch; ++k) {
                    double acc = 0.0;
                    for (int j = 0; j < c.count[i]; ++j) acc += w[j] * p[static_cast<std::size_t>(j) * ch + k];
                    o[k] = to_byte(acc);
                }
            }
        }
    }
    return true;
}

bool horizontal_pass_any(const Engine& e, const Contributions& c, const std::uint8_t* in, std::size_t inPitch,
                         std::uint8_t* out, std::size_t outPitch, int rows, int ch, bool avx2) {
    if (ch == 4) return horizontal_pass<4>(e, c, in, inPitch, out, outPitch, rows, ch, avx2);
    if (ch == 3) return horizontal_pass<3>(e, c, in, inPitch, out, outPitch, rows, ch, avx2);
    return horizontal_pass<0>(e, c, in, inPitch, out, outPitch, rows, ch, avx2);
}

// Vertical pass over rows of `elems` bytes. It walks whole rows (the sums
// of every column grow together, each in increasing input row), which
// reads memory in order instead of striding down columns. The AVX2 twin
// keeps its sums in registers and leaves only a row's last bytes to the
// plain loop.
bool vertical_pass(const Engine& e, const Contributions& c, const std::uint8_t* in, std::size_t inPitch,
                   std::uint8_t* out, std::size_t outPitch, std::size_t elems, bool avx2) {
    const std::size_t room = avx2 ? (elems < 16 ? elems : 16) : elems;
    double* acc = alloc_array<double>(room ? room : 1);
    if (!acc) return false;
    for (int i = 0; i < c.nOut; ++i) {
        if (i % CancelEvery == 0 && cancelled(e)) {
            std::free(acc);
            return false;
        }
        const double* w = c.w + static_cast<std::size_t>(i) * c.taps;
        const std::uint8_t* top = in + inPitch * static_cast<std::size_t>(c.left[i]);
        std::uint8_t* d = out + outPitch * static_cast<std::size_t>(i);
        const std::size_t from = avx2 ? exact_vrow_avx2(w, c.count[i], top, inPitch, d, elems) : 0;
        const std::size_t n = elems - from;
        for (std::size_t x = 0; x < n; ++x) acc[x] = 0.0;
        for (int j = 0; j < c.count[i]; ++j) {
            const std::uint8_t* s = top + inPitch * static_cast<std::size_t>(j) + from;
            const double wj = w[j];
            for (std::size_t x = 0; x < n; ++x) acc[x] += wj * s[x];
        }
        for (std::size_t x = 0; x < n; ++x) d[from + x] = to_byte(acc[x]);
    }
    std::free(acc);
    return true;
}

}  // namespace

Contributions::~Contributions() {
    std::free(left);
    std::free(count);
    std::free(w);
}

double mitchell(double x) {
    static const Coefficients k = mitchell_coefficients();
    return kernel(k, x);
}

bool build_contributions(Contributions& c, int nIn, int nOut) {
    if (nIn < 1 || nOut < 1) return false;
    const Coefficients k = mitchell_coefficients();
    const double scale = static_cast<double>(nOut) / static_cast<double>(nIn);
    double h = 2.0;
    double f = 1.0;
    if (scale < 1.0) {
        h = 2.0 / scale;
        f = scale;
    }
    const double taps = 2.0 * std::ceil(h) + 1.0;
    // Never more weights per output than there are inputs.
    const int room = taps > nIn ? nIn : static_cast<int>(taps);
    c.nIn = nIn;
    c.nOut = nOut;
    c.taps = room;
    c.left = alloc_array<int>(static_cast<std::size_t>(nOut));
    c.count = alloc_array<int>(static_cast<std::size_t>(nOut));
    c.w = alloc_array<double>(static_cast<std::size_t>(nOut) * static_cast<std::size_t>(room));
    if (!c.left || !c.count || !c.w) return false;
    const double offset = 0.5 / scale - 0.5;
    for (int i = 0; i < nOut; ++i) {
        const double centre = static_cast<double>(i) / scale + offset;
        double lo = std::floor(centre - h);
        double hi = std::ceil(centre + h);
        int l = lo < 0.0 ? 0 : static_cast<int>(lo);
        int r = hi > nIn - 1 ? nIn - 1 : static_cast<int>(hi);
        if (r - l + 1 > taps) {
            if (l < nIn)
                ++l;
            else
                --r;
        }
        const int n = r - l + 1;
        double* w = c.w + static_cast<std::size_t>(i) * room;
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            w[j] = kernel(k, (centre - (l + j)) * f) * f;
            sum += w[j];
        }
        if (sum > 0.0 && sum != 1.0)
            for (int j = 0; j < n; ++j) w[j] /= sum;
        c.left[i] = l;
        c.count[i] = n;
    }
    return true;
}

int resample_exact(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                   int srcPitch, int srcW, int srcH, int ch) {
    const bool avx2 = vector_kernels();
    if (!dst || !src || dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1 || ch < 1) return 0;
    const bool hFirst = horizontal_first(srcW, srcH, dstW, dstH);
    const int midW = hFirst ? dstW : srcW;
    const int midH = hFirst ? srcH : dstH;
    const std::size_t midPitch = static_cast<std::size_t>(midW) * ch;
    const std::size_t midBytes = midPitch * static_cast<std::size_t>(midH);
    if (e.maxPixelBytes && midBytes > e.maxPixelBytes) return 0;
    Contributions hc, vc;
    if (!build_contributions(hc, srcW, dstW) || !build_contributions(vc, srcH, dstH)) return 0;
    auto* mid = alloc_array<std::uint8_t>(midBytes);
    if (!mid) return 0;
    bool ok;
    if (hFirst) {
        ok = horizontal_pass_any(e, hc, src, static_cast<std::size_t>(srcPitch), mid, midPitch, srcH, ch, avx2) &&
             vertical_pass(e, vc, mid, midPitch, dst, static_cast<std::size_t>(dstPitch),
                           static_cast<std::size_t>(dstW) * ch, avx2);
    } else {
        ok = vertical_pass(e, vc, src, static_cast<std::size_t>(srcPitch), mid, midPitch,
                           static_cast<std::size_t>(srcW) * ch, avx2) &&
             horizontal_pass_any(e, hc, mid, midPitch, dst, static_cast<std::size_t>(dstPitch), dstH, ch, avx2);
    }
    std::free(mid);
    return ok ? 1 : 0;
}

int resample_rgba(const Engine& e, std::uint8_t* dst, int dstW, int dstH, const std::uint8_t* src, int srcW,
                  int srcH) {
    if (dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1) return 0;
    return resample_exact(e, dst, dstW * 4, dstW, dstH, src, srcW * 4, srcW, srcH, 4);
}

int stretch_nearest(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                    int srcPitch, int srcW, int srcH, int bpp) {
    if (!dst || !src || dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1 || bpp < 1) return 0;
    int* xs = alloc_array<int>(static_cast<std::size_t>(dstW));
    if (!xs) return 0;
    // Each output pixel takes the input pixel under its centre.
    for (int x = 0; x < dstW; ++x)
        xs[x] = static_cast<int>((static_cast<std::int64_t>(2 * x + 1) * srcW) / (2 * static_cast<std::int64_t>(dstW)));
    for (int y = 0; y < dstH; ++y) {
        if (y % CancelEvery == 0 && cancelled(e)) {
            std::free(xs);
            return 0;
        }
        const int sy = static_cast<int>((static_cast<std::int64_t>(2 * y + 1) * srcH) / (2 * static_cast<std::int64_t>(dstH)));
        const std::uint8_t* s = src + static_cast<std::size_t>(srcPitch) * sy;
        std::uint8_t* d = dst + static_cast<std::size_t>(dstPitch) * y;
        for (int x = 0; x < dstW; ++x)
            std::memcpy(d + static_cast<std::size_t>(x) * bpp, s + static_cast<std::size_t>(xs[x]) * bpp,
                        static_cast<std::size_t>(bpp));
    }
    std::free(xs);
    return 1;
}

}  // namespace tv::img::detail

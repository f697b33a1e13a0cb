// The engine's cubic resampler in double precision: separable, two passes,
// with the pass order that keeps the intermediate image small. The
// horizontal pass on four channels and the vertical pass have AVX2 kernels
// picked at run time: a pixel's four channels (or four neighbouring bytes of
// a row) sit in the four lanes of one register, and every lane does the
// multiplications and additions of the plain loop in the same order, without
// fused multiply-add, so both kernels give the same bytes.
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TV_EXACT_X86 1
#endif

#include "imaging/resize_internal.h"

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
// increasing input index).
template <int CH>
bool horizontal_pass(const Engine& e, const Contributions& c, const std::uint8_t* in, std::size_t inPitch,
                     std::uint8_t* out, std::size_t outPitch, int rows, int channels) {
    const int ch = CH > 0 ? CH : channels;
    for (int y = 0; y < rows; ++y) {
        if (y % CancelEvery == 0 && cancelled(e)) return false;
        const std::uint8_t* s = in + inPitch * static_cast<std::size_t>(y);
        std::uint8_t* d = out + outPitch * static_cast<std::size_t>(y);
        for (int i = 0; i < c.nOut; ++i) {
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

#ifdef TV_EXACT_X86

bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Four bytes as four doubles.
__attribute__((target("avx2"))) inline __m256d load4(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

// to_byte on four lanes: clamping to 0..255 before truncating gives what
// its comparisons give (a sum at or below -0.5 becomes 0, at or above 254.5
// becomes 255).
__attribute__((target("avx2"))) inline __m128i to_bytes4(__m256d acc) {
    __m256d v = _mm256_add_pd(acc, _mm256_set1_pd(0.5));
    v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(v);
}

// One output pixel of four channels: the sum over the taps in increasing
// input index, as horizontal_pass<4> adds them.
__attribute__((target("avx2"))) inline __m256d hsum4(const std::uint8_t* p, const double* w, int n) {
    __m256d acc = _mm256_setzero_pd();
    for (int j = 0; j < n; ++j) acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_set1_pd(w[j]), load4(p + 4 * j)));
    return acc;
}

__attribute__((target("avx2"))) bool horizontal_pass4_avx2(const Engine& e, const Contributions& c,
                                                            const std::uint8_t* in, std::size_t inPitch,
                                                            std::uint8_t* out, std::size_t outPitch, int rows) {
    for (int y = 0; y < rows; ++y) {
        if (y % CancelEvery == 0 && cancelled(e)) return false;
        const std::uint8_t* s = in + inPitch * static_cast<std::size_t>(y);
        std::uint8_t* d = out + outPitch * static_cast<std::size_t>(y);
        int i = 0;
        // Two pixels at a time: two independent chains of additions keep the
        // adder busy; each pixel's own sum is unchanged.
        for (; i + 1 < c.nOut; i += 2) {
            const double* w0 = c.w + static_cast<std::size_t>(i) * c.taps;
            const double* w1 = w0 + c.taps;
            const std::uint8_t* p0 = s + static_cast<std::size_t>(c.left[i]) * 4;
            const std::uint8_t* p1 = s + static_cast<std::size_t>(c.left[i + 1]) * 4;
            const int n0 = c.count[i], n1 = c.count[i + 1];
            const int both = n0 < n1 ? n0 : n1;
            __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd();
            int j = 0;
            for (; j < both; ++j) {
                a0 = _mm256_add_pd(a0, _mm256_mul_pd(_mm256_set1_pd(w0[j]), load4(p0 + 4 * j)));
                a1 = _mm256_add_pd(a1, _mm256_mul_pd(_mm256_set1_pd(w1[j]), load4(p1 + 4 * j)));
            }
            for (int k = j; k < n0; ++k) a0 = _mm256_add_pd(a0, _mm256_mul_pd(_mm256_set1_pd(w0[k]), load4(p0 + 4 * k)));
            for (int k = j; k < n1; ++k) a1 = _mm256_add_pd(a1, _mm256_mul_pd(_mm256_set1_pd(w1[k]), load4(p1 + 4 * k)));
            __m128i b = _mm_packus_epi32(to_bytes4(a0), to_bytes4(a1));
            b = _mm_packus_epi16(b, b);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(d + static_cast<std::size_t>(i) * 4), b);
        }
        if (i < c.nOut) {
            __m256d a = hsum4(s + static_cast<std::size_t>(c.left[i]) * 4, c.w + static_cast<std::size_t>(i) * c.taps,
                              c.count[i]);
            __m128i b = _mm_packus_epi32(to_bytes4(a), to_bytes4(a));
            b = _mm_packus_epi16(b, b);
            std::int32_t v = _mm_cvtsi128_si32(b);
            std::memcpy(d + static_cast<std::size_t>(i) * 4, &v, 4);
        }
    }
    return true;
}

// Vertical pass, sixteen bytes of the row at a time in registers; the
// last bytes of a row go through the plain loop's arithmetic.
__attribute__((target("avx2"))) bool vertical_pass_avx2(const Engine& e, const Contributions& c,
                                                         const std::uint8_t* in, std::size_t inPitch,
                                                         std::uint8_t* out, std::size_t outPitch, std::size_t elems) {
    for (int i = 0; i < c.nOut; ++i) {
        if (i % CancelEvery == 0 && cancelled(e)) return false;
        const double* w = c.w + static_cast<std::size_t>(i) * c.taps;
        const std::uint8_t* top = in + inPitch * static_cast<std::size_t>(c.left[i]);
        const int n = c.count[i];
        std::uint8_t* d = out + outPitch * static_cast<std::size_t>(i);
        std::size_t x = 0;
        for (; x + 16 <= elems; x += 16) {
            __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd();
            __m256d a2 = _mm256_setzero_pd(), a3 = _mm256_setzero_pd();
            const std::uint8_t* s = top + x;
            for (int j = 0; j < n; ++j, s += inPitch) {
                const __m256d wj = _mm256_set1_pd(w[j]);
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
                a0 = _mm256_add_pd(a0, _mm256_mul_pd(wj, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(v))));
                a1 = _mm256_add_pd(a1, _mm256_mul_pd(wj, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 4)))));
                a2 = _mm256_add_pd(a2, _mm256_mul_pd(wj, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 8)))));
                a3 = _mm256_add_pd(a3, _mm256_mul_pd(wj, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 12)))));
            }
            __m128i lo = _mm_packus_epi32(to_bytes4(a0), to_bytes4(a1));
            __m128i hi = _mm_packus_epi32(to_bytes4(a2), to_bytes4(a3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
        }
        for (; x < elems; ++x) {
            double acc = 0.0;
            const std::uint8_t* s = top + x;
            for (int j = 0; j < n; ++j, s += inPitch) acc += w[j] * s[0];
            d[x] = to_byte(acc);
        }
    }
    return true;
}

#endif  // TV_EXACT_X86

bool horizontal_pass_any(const Engine& e, const Contributions& c, const std::uint8_t* in, std::size_t inPitch,
                         std::uint8_t* out, std::size_t outPitch, int rows, int ch, bool simd) {
#ifdef TV_EXACT_X86
    if (simd && ch == 4) return horizontal_pass4_avx2(e, c, in, inPitch, out, outPitch, rows);
#else
    (void)simd;
#endif
    if (ch == 4) return horizontal_pass<4>(e, c, in, inPitch, out, outPitch, rows, ch);
    if (ch == 3) return horizontal_pass<3>(e, c, in, inPitch, out, outPitch, rows, ch);
    return horizontal_pass<0>(e, c, in, inPitch, out, outPitch, rows, ch);
}

// Vertical pass over rows of `elems` bytes. It walks whole rows (the sums
// of every column grow together, each in increasing input row), which
// reads memory in order instead of striding down columns.
bool vertical_pass(const Engine& e, const Contributions& c, const std::uint8_t* in, std::size_t inPitch,
                   std::uint8_t* out, std::size_t outPitch, std::size_t elems, bool simd) {
#ifdef TV_EXACT_X86
    if (simd) return vertical_pass_avx2(e, c, in, inPitch, out, outPitch, elems);
#else
    (void)simd;
#endif
    double* acc = alloc_array<double>(elems);
    if (!acc) return false;
    for (int i = 0; i < c.nOut; ++i) {
        if (i % CancelEvery == 0 && cancelled(e)) {
            std::free(acc);
            return false;
        }
        const double* w = c.w + static_cast<std::size_t>(i) * c.taps;
        for (std::size_t x = 0; x < elems; ++x) acc[x] = 0.0;
        for (int j = 0; j < c.count[i]; ++j) {
            const std::uint8_t* s = in + inPitch * static_cast<std::size_t>(c.left[i] + j);
            const double wj = w[j];
            for (std::size_t x = 0; x < elems; ++x) acc[x] += wj * s[x];
        }
        std::uint8_t* d = out + outPitch * static_cast<std::size_t>(i);
        for (std::size_t x = 0; x < elems; ++x) d[x] = to_byte(acc[x]);
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
    return resample_exact_kernels(e, dst, dstPitch, dstW, dstH, src, srcPitch, srcW, srcH, ch, true);
}

int resample_exact_kernels(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH,
                           const std::uint8_t* src, int srcPitch, int srcW, int srcH, int ch, bool simd) {
#ifdef TV_EXACT_X86
    simd = simd && cpu_has_avx2();
#else
    simd = false;
#endif
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
        ok = horizontal_pass_any(e, hc, src, static_cast<std::size_t>(srcPitch), mid, midPitch, srcH, ch, simd) &&
             vertical_pass(e, vc, mid, midPitch, dst, static_cast<std::size_t>(dstPitch),
                           static_cast<std::size_t>(dstW) * ch, simd);
    } else {
        ok = vertical_pass(e, vc, src, static_cast<std::size_t>(srcPitch), mid, midPitch,
                           static_cast<std::size_t>(srcW) * ch, simd) &&
             horizontal_pass_any(e, hc, mid, midPitch, dst, static_cast<std::size_t>(dstPitch), dstH, ch, simd);
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

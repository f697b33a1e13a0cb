// The 24-bit resampler: the same cubic filter as the exact one, in fixed
// point. Weights are integers scaled by 2^shift and sum exactly to 2^shift;
// the intermediate image keeps 7 fraction bits so that the result never
// strays by more than 1 from the exact resampler (checked per resize from
// the actual weights; when the check cannot be met, the exact resampler
// runs instead). The inner loops have AVX2 versions picked at run time; both
// do the same integer arithmetic and give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TV_RESIZE_X86 1
#endif

#include "imaging/resize_internal.h"

namespace tv::img::detail {

namespace {

constexpr int MidFraction = 7;                  // fraction bits of the intermediate
constexpr int MidMax = 255 << MidFraction;      // 32640: fits a signed 16-bit lane
constexpr std::int64_t AccLimit = 2147483647;   // int32 accumulators

struct FixedPass {
    int nIn = 0, nOut = 0, stride = 0, shift = 0;
    int* left = nullptr;
    int* count = nullptr;
    std::int16_t* w = nullptr;  // nOut x stride, zero after count
    double maxAbsSum = 0.0;     // largest sum of |weight| of one output
    double maxError = 0.0;      // largest sum of |fixed - exact| weights of one output

    int taps_room() const { return stride; }

    FixedPass() = default;
    FixedPass(const FixedPass&) = delete;
    FixedPass& operator=(const FixedPass&) = delete;
    std::int32_t* wx = nullptr;  // weight pairs spread for the SIMD kernel
    int groups = 1;              // most groups of four weights any output needs
    int safe8 = 0, safe16 = 0;   // outputs before these read inside the row with wide loads

    ~FixedPass() {
        std::free(wx);
        std::free(w);
        std::free(left);
        std::free(count);
    }
};

enum class Fixed { Ok, NoFit, NoMemory };

// Quantise the weights with the largest shift that keeps every weight in 16
// bits and every sum of an input of at most inMax in 32 bits (with the
// rounding term of outShift = shift + inFrac - outFrac).
Fixed build_fixed(FixedPass& p, const Contributions& c, int inMax, int inFrac, int outFrac) {
    p.nIn = c.nIn;
    p.nOut = c.nOut;
    p.stride = (c.taps + 3) / 4 * 4;
    std::size_t n = static_cast<std::size_t>(c.nOut) * static_cast<std::size_t>(p.stride);
    p.w = static_cast<std::int16_t*>(std::calloc(n, sizeof(std::int16_t)));
    p.left = static_cast<int*>(std::malloc(static_cast<std::size_t>(c.nOut) * sizeof(int)));
    p.count = static_cast<int*>(std::malloc(static_cast<std::size_t>(c.nOut) * sizeof(int)));
    if (!p.w || !p.left || !p.count) return Fixed::NoMemory;
    std::memcpy(p.left, c.left, static_cast<std::size_t>(c.nOut) * sizeof(int));
    std::memcpy(p.count, c.count, static_cast<std::size_t>(c.nOut) * sizeof(int));
    double maxAbsSum = 0.0;
    for (int i = 0; i < c.nOut; ++i) {
        const double* w = c.w + static_cast<std::size_t>(i) * c.taps;
        double sum = 0.0, abs = 0.0;
        for (int j = 0; j < c.count[i]; ++j) {
            sum += w[j];
            abs += std::fabs(w[j]);
        }
        // Unnormalised lists cannot be matched by weights summing to 2^shift.
        if (std::fabs(sum - 1.0) > 1e-9) return Fixed::NoFit;
        if (abs > maxAbsSum) maxAbsSum = abs;
    }
    p.maxAbsSum = maxAbsSum;
    for (int shift = 22; shift >= MidFraction + 1; --shift) {
        const std::int64_t one = std::int64_t{1} << shift;
        const int outShift = shift + inFrac - outFrac;
        bool fits = true;
        double maxError = 0.0;
        for (int i = 0; i < c.nOut && fits; ++i) {
            const double* w = c.w + static_cast<std::size_t>(i) * c.taps;
            std::int16_t* q = p.w + static_cast<std::size_t>(i) * p.stride;
            std::int64_t total = 0;
            int biggest = 0;
            for (int j = 0; j < c.count[i]; ++j) {
                if (std::fabs(w[j]) > std::fabs(w[biggest])) biggest = j;
            }
            // Rounded weights, the remainder going to the biggest one.
            std::int64_t absTotal = 0;
            for (int j = 0; j < c.count[i]; ++j) total += std::llround(w[j] * static_cast<double>(one));
            const std::int64_t rest = one - total;
            double err = 0.0;
            for (int j = 0; j < c.count[i] && fits; ++j) {
                std::int64_t wj = std::llround(w[j] * static_cast<double>(one));
                if (j == biggest) wj += rest;
                if (wj > 32767 || wj < -32768) {
                    fits = false;
                    break;
                }
                q[j] = static_cast<std::int16_t>(wj);
                absTotal += wj < 0 ? -wj : wj;
                err += std::fabs(static_cast<double>(wj) / static_cast<double>(one) - w[j]);
            }
            if (!fits) break;
            const std::int64_t round = outShift > 0 ? (std::int64_t{1} << (outShift - 1)) : 0;
            if (absTotal * inMax + round > AccLimit) fits = false;
            if (err > maxError) maxError = err;
        }
        if (fits) {
            p.shift = shift;
            p.maxError = maxError;
            // Weights that came out 0 at either end cost work and add
            // nothing: drop them.
            for (int i = 0; i < c.nOut; ++i) {
                std::int16_t* q = p.w + static_cast<std::size_t>(i) * p.stride;
                int lead = 0;
                while (lead < p.count[i] - 1 && q[lead] == 0) ++lead;
                if (lead) {
                    std::memmove(q, q + lead, static_cast<std::size_t>(p.count[i] - lead) * sizeof(std::int16_t));
                    std::memset(q + (p.count[i] - lead), 0, static_cast<std::size_t>(lead) * sizeof(std::int16_t));
                    p.left[i] += lead;
                    p.count[i] -= lead;
                }
                while (p.count[i] > 1 && q[p.count[i] - 1] == 0) --p.count[i];
            }
            // Group g of output i: (w[4g], w[4g+1]) four times, then
            // (w[4g+2], w[4g+3]) four times, matching the pixel pairs.
            p.wx = static_cast<std::int32_t*>(std::malloc(n * 2 * sizeof(std::int32_t)));
            if (!p.wx) return Fixed::NoMemory;
            for (int i = 0; i < c.nOut; ++i) {
                const std::int16_t* q = p.w + static_cast<std::size_t>(i) * p.stride;
                std::int32_t* x = p.wx + static_cast<std::size_t>(i) * p.stride * 2;
                for (int g = 0; g < p.stride / 4; ++g) {
                    auto pair = [](std::int16_t a, std::int16_t b) {
                        return static_cast<std::int32_t>(static_cast<std::uint16_t>(a) |
                                                         (static_cast<std::uint32_t>(static_cast<std::uint16_t>(b)) << 16));
                    };
                    for (int k = 0; k < 4; ++k) x[8 * g + k] = pair(q[4 * g], q[4 * g + 1]);
                    for (int k = 4; k < 8; ++k) x[8 * g + k] = pair(q[4 * g + 2], q[4 * g + 3]);
                }
            }
            // Wide loads: 16 bytes of 8-bit input or 14 elements of 16-bit
            // input from the start of each group must stay inside the row.
            const std::int64_t avail = static_cast<std::int64_t>(c.nIn) * 3;
            p.groups = 1;
            for (int i = 0; i < c.nOut; ++i) p.groups = std::max(p.groups, (p.count[i] + 3) / 4);
            p.safe8 = p.safe16 = c.nOut;
            for (int i = c.nOut - 1; i >= 0; --i) {
                const std::int64_t from = static_cast<std::int64_t>(p.left[i] + 4 * (p.groups - 1)) * 3;
                if (from + 16 > avail) p.safe8 = i;
                if (from + 14 > avail) p.safe16 = i;
            }
            return Fixed::Ok;
        }
    }
    return Fixed::NoFit;
}

bool plan_falls_back(const FixedPass& first, const FixedPass& second) {
    // Pass 1 strays from the exact sum by at most 127.5 x its weight error
    // (the errors sum to zero), plus half a step of the intermediate's
    // fraction; the exact resampler rounds its intermediate by up to 0.5.
    // Pass 2 carries that through its weights and adds its own weight error.
    // Below 1 the two rounded results are at most 1 apart.
    const double e1 = 127.5 * first.maxError + 0.5 / (1 << MidFraction);
    const double e2 = 127.5 * second.maxError;
    return second.maxAbsSum * (0.5 + e1) + e2 >= 0.99;
}

template <typename Out>
inline Out finish(std::int32_t acc, int shift, int outMax) {
    std::int32_t v = (acc + (std::int32_t{1} << (shift - 1))) >> shift;
    if (v < 0) v = 0;
    if (v > outMax) v = outMax;
    return static_cast<Out>(v);
}

// ---- portable kernels ----

template <typename In, typename Out>
void hrow_scalar(const FixedPass& p, const In* s, Out* d, int shift, int outMax, int i) {
    const std::int16_t* w = p.w + static_cast<std::size_t>(i) * p.stride;
    const In* q = s + static_cast<std::size_t>(p.left[i]) * 3;
    std::int32_t a0 = 0, a1 = 0, a2 = 0;
    for (int j = 0; j < p.count[i]; ++j) {
        a0 += w[j] * static_cast<std::int32_t>(q[3 * j]);
        a1 += w[j] * static_cast<std::int32_t>(q[3 * j + 1]);
        a2 += w[j] * static_cast<std::int32_t>(q[3 * j + 2]);
    }
    d[3 * i] = finish<Out>(a0, shift, outMax);
    d[3 * i + 1] = finish<Out>(a1, shift, outMax);
    d[3 * i + 2] = finish<Out>(a2, shift, outMax);
}

// rows[j]: input row left[i] + j.
template <typename In, typename Out>
void vrow_scalar(const FixedPass& p, int i, const In* const* rows, Out* d, std::size_t from, std::size_t elems,
                 int shift, int outMax) {
    const std::int16_t* w = p.w + static_cast<std::size_t>(i) * p.stride;
    for (std::size_t x = from; x < elems; ++x) {
        std::int32_t acc = 0;
        for (int j = 0; j < p.count[i]; ++j) acc += w[j] * static_cast<std::int32_t>(rows[j][x]);
        d[x] = finish<Out>(acc, shift, outMax);
    }
}

#ifdef TV_RESIZE_X86

// ---- AVX2 kernels ----

template <typename In>
__attribute__((target("avx2"))) inline __m256i load16(const In* p) {
    if constexpr (sizeof(In) == 1)
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    else
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <typename In, typename Out>
__attribute__((target("avx2"))) void vrow_avx2(const FixedPass& p, int i, const In* const* rows, Out* d,
                                               std::size_t elems, int shift, int outMax) {
    const std::int16_t* w = p.w + static_cast<std::size_t>(i) * p.stride;
    const int n = p.count[i];
    const __m256i rnd = _mm256_set1_epi32(1 << (shift - 1));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi16(static_cast<std::int16_t>(outMax));
    const __m128i sh = _mm_cvtsi32_si128(shift);
    std::size_t x = 0;
    for (; x + 16 <= elems; x += 16) {
        __m256i lo = zero, hi = zero;
        int j = 0;
        for (; j + 1 < n; j += 2) {
            __m256i a = load16(rows[j] + x);
            __m256i b = load16(rows[j + 1] + x);
            const std::uint32_t pair =
                static_cast<std::uint16_t>(w[j]) | (static_cast<std::uint32_t>(static_cast<std::uint16_t>(w[j + 1])) << 16);
            __m256i wp = _mm256_set1_epi32(static_cast<int>(pair));
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), wp));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), wp));
        }
        if (j < n) {
            __m256i a = load16(rows[j] + x);
            __m256i wp = _mm256_set1_epi32(static_cast<std::uint16_t>(w[j]));
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, zero), wp));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, zero), wp));
        }
        lo = _mm256_sra_epi32(_mm256_add_epi32(lo, rnd), sh);
        hi = _mm256_sra_epi32(_mm256_add_epi32(hi, rnd), sh);
        __m256i v = _mm256_packs_epi32(lo, hi);  // back in input order
        v = _mm256_min_epi16(_mm256_max_epi16(v, zero), top);
        if constexpr (sizeof(Out) == 1) {
            __m256i b8 = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm256_castsi256_si128(b8));
        } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), v);
        }
    }
    if (x < elems) vrow_scalar(p, i, rows, d, x, elems, shift, outMax);
}

// Sums of output i of a horizontal pass: lanes 0-2 and 4-6 hold partial
// B, G, R sums of taps (4g, 4g+1) and (4g+2, 4g+3); the caller adds the
// halves.
template <int G, typename In>
__attribute__((target("avx2"))) inline __m256i hsums(const FixedPass& p, const In* s, int i) {
    const __m256i mask8 = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1,  //
                                           6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
    const __m256i mask16 = _mm256_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1,  //
                                            0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1);
    const In* q = s + static_cast<std::size_t>(p.left[i]) * 3;
    const std::int32_t* w = p.wx + static_cast<std::size_t>(i) * p.stride * 2;
    // Every output runs the pass's largest group count (the weights past an
    // output's own count are 0), so the loop has a fixed length.
    const int groups = G > 0 ? G : p.groups;
    __m256i acc = _mm256_setzero_si256();
    for (int g = 0; g < groups; ++g) {
        __m256i x;
        if constexpr (sizeof(In) == 1) {
            x = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 12 * g)));
            x = _mm256_shuffle_epi8(x, mask8);
        } else {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 12 * g));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 12 * g + 6));
            x = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1), mask16);
        }
        __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8 * g));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(x, wv));
    }
    return acc;
}

template <int G, typename In, typename Out>
__attribute__((target("avx2"))) void hrow_avx2_g(const FixedPass& p, const In* s, Out* d, int shift, int outMax) {
    const __m256i rnd = _mm256_set1_epi32(1 << (shift - 1));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(outMax);
    const __m128i sh = _mm_cvtsi32_si128(shift);
    const int safe = sizeof(In) == 1 ? p.safe8 : p.safe16;
    int i = 0;
    // Two outputs at a time share the rounding, clamping and packing. A
    // four-element store spills one element into the next output, which is
    // written afterwards; the last output of the row is stored exactly.
    for (; i + 1 < safe; i += 2) {
        __m256i a0 = hsums<G>(p, s, i);
        __m256i a1 = hsums<G>(p, s, i + 1);
        __m256i t = _mm256_add_epi32(_mm256_permute2x128_si256(a0, a1, 0x20), _mm256_permute2x128_si256(a0, a1, 0x31));
        t = _mm256_sra_epi32(_mm256_add_epi32(t, rnd), sh);
        t = _mm256_min_epi32(_mm256_max_epi32(t, zero), top);
        __m256i v16 = _mm256_packs_epi32(t, t);  // lane 0: output i, lane 1: output i + 1
        Out* o = d + static_cast<std::size_t>(i) * 3;
        if constexpr (sizeof(Out) == 1) {
            __m256i v8 = _mm256_packus_epi16(v16, v16);
            std::uint32_t b0 = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(v8));
            std::uint32_t b1 = static_cast<std::uint32_t>(_mm256_extract_epi32(v8, 4));
            std::memcpy(o, &b0, 4);
            if (i + 2 < p.nOut)
                std::memcpy(o + 3, &b1, 4);
            else
                std::memcpy(o + 3, &b1, 3);
        } else {
            std::uint64_t e0 = static_cast<std::uint64_t>(_mm256_extract_epi64(v16, 0));
            std::uint64_t e1 = static_cast<std::uint64_t>(_mm256_extract_epi64(v16, 2));
            std::memcpy(o, &e0, 8);
            if (i + 2 < p.nOut)
                std::memcpy(o + 3, &e1, 8);
            else
                std::memcpy(o + 3, &e1, 6);
        }
    }
    for (; i < p.nOut; ++i) hrow_scalar(p, s, d, shift, outMax, i);
}

template <typename In, typename Out>
__attribute__((target("avx2"))) void hrow_avx2(const FixedPass& p, const In* s, Out* d, int shift, int outMax) {
    switch (p.groups) {
        case 1: hrow_avx2_g<1>(p, s, d, shift, outMax); break;
        case 2: hrow_avx2_g<2>(p, s, d, shift, outMax); break;
        case 3: hrow_avx2_g<3>(p, s, d, shift, outMax); break;
        case 4: hrow_avx2_g<4>(p, s, d, shift, outMax); break;
        default: hrow_avx2_g<0>(p, s, d, shift, outMax); break;
    }
}

bool cpu_has_avx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif  // TV_RESIZE_X86

template <typename In, typename Out>
void hrow(const FixedPass& p, const In* s, Out* d, int shift, int outMax, bool simd) {
#ifdef TV_RESIZE_X86
    if (simd) {
        hrow_avx2(p, s, d, shift, outMax);
        return;
    }
#else
    (void)simd;
#endif
    for (int i = 0; i < p.nOut; ++i) hrow_scalar(p, s, d, shift, outMax, i);
}

template <typename In, typename Out>
void vrow(const FixedPass& p, int i, const In* const* rows, Out* d, std::size_t elems, int shift, int outMax,
          bool simd) {
#ifdef TV_RESIZE_X86
    if (simd) {
        vrow_avx2(p, i, rows, d, elems, shift, outMax);
        return;
    }
#else
    (void)simd;
#endif
    vrow_scalar(p, i, rows, d, 0, elems, shift, outMax);
}

struct Plan {
    bool hFirst = true;
    Contributions hc, vc;
    FixedPass hp, vp;
    bool fallback = false;
};

// False when memory cannot be had.
bool make_plan(Plan& plan, int srcW, int srcH, int dstW, int dstH) {
    plan.hFirst = horizontal_first(srcW, srcH, dstW, dstH);
    if (!build_contributions(plan.hc, srcW, dstW) || !build_contributions(plan.vc, srcH, dstH)) return false;
    FixedPass& first = plan.hFirst ? plan.hp : plan.vp;
    FixedPass& second = plan.hFirst ? plan.vp : plan.hp;
    const Contributions& c1 = plan.hFirst ? plan.hc : plan.vc;
    const Contributions& c2 = plan.hFirst ? plan.vc : plan.hc;
    const Fixed f1 = build_fixed(first, c1, 255, 0, MidFraction);
    const Fixed f2 = build_fixed(second, c2, MidMax, MidFraction, 0);
    if (f1 == Fixed::NoMemory || f2 == Fixed::NoMemory) return false;
    plan.fallback = f1 != Fixed::Ok || f2 != Fixed::Ok || plan_falls_back(first, second);
    return true;
}

}  // namespace

bool fixed_point_falls_back(int srcW, int srcH, int dstW, int dstH) {
    Plan plan;
    if (!make_plan(plan, srcW, srcH, dstW, dstH)) return true;
    return plan.fallback;
}

int resample_rgb_fixed(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH,
                       const std::uint8_t* src, int srcPitch, int srcW, int srcH, bool simd) {
    if (!dst || !src || dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1) return 0;
#ifdef TV_RESIZE_X86
    simd = simd && cpu_has_avx2();
#else
    simd = false;
#endif
    Plan plan;
    if (!make_plan(plan, srcW, srcH, dstW, dstH)) return 0;
    if (plan.fallback) return resample_exact(e, dst, dstPitch, dstW, dstH, src, srcPitch, srcW, srcH, 3);

    // The passes run interleaved, row by row, so the intermediate rows are
    // still in cache when the second pass reads them. Horizontal first: a
    // ring of filtered source rows, as many as one output row reads (each
    // source row is filtered once, as the windows only move forward).
    // Vertical first: one filtered row per output row.
    const FixedPass& hp = plan.hp;
    const FixedPass& vp = plan.vp;
    const std::size_t midElems = static_cast<std::size_t>(plan.hFirst ? dstW : srcW) * 3;
    int ring = 1;
    if (plan.hFirst)
        for (int i = 0; i < vp.nOut; ++i) ring = std::max(ring, vp.count[i]);
    const std::size_t midBytes = midElems * static_cast<std::size_t>(ring) * sizeof(std::int16_t);
    if (e.maxPixelBytes && midBytes > e.maxPixelBytes) return 0;
    auto* mid = static_cast<std::int16_t*>(std::malloc(midBytes));
    int* held = static_cast<int*>(std::malloc(sizeof(int) * static_cast<std::size_t>(ring)));
    const void** rows = static_cast<const void**>(std::malloc(sizeof(void*) * static_cast<std::size_t>(vp.taps_room())));
    if (!mid || !held || !rows) {
        std::free(mid);
        std::free(held);
        std::free(rows);
        return 0;
    }
    for (int k = 0; k < ring; ++k) held[k] = -1;
    bool ok = true;
    for (int i = 0; i < dstH && ok; ++i) {
        if (i % CancelEvery == 0 && cancelled(e)) {
            ok = false;
            break;
        }
        std::uint8_t* d = dst + static_cast<std::size_t>(dstPitch) * static_cast<std::size_t>(i);
        if (plan.hFirst) {
            for (int j = 0; j < vp.count[i]; ++j) {
                const int r = vp.left[i] + j;
                const int slot = r % ring;
                std::int16_t* m = mid + midElems * static_cast<std::size_t>(slot);
                if (held[slot] != r) {
                    hrow(hp, src + static_cast<std::size_t>(srcPitch) * static_cast<std::size_t>(r), m,
                         hp.shift - MidFraction, MidMax, simd);
                    held[slot] = r;
                }
                rows[j] = m;
            }
            vrow(vp, i, reinterpret_cast<const std::int16_t* const*>(rows), d, static_cast<std::size_t>(dstW) * 3,
                 vp.shift + MidFraction, 255, simd);
        } else {
            for (int j = 0; j < vp.count[i]; ++j)
                rows[j] = src + static_cast<std::size_t>(srcPitch) * static_cast<std::size_t>(vp.left[i] + j);
            vrow(vp, i, reinterpret_cast<const std::uint8_t* const*>(rows), mid, midElems, vp.shift - MidFraction,
                 MidMax, simd);
            hrow(hp, static_cast<const std::int16_t*>(mid), d, hp.shift + MidFraction, 255, simd);
        }
    }
    std::free(mid);
    std::free(held);
    std::free(rows);
    return ok ? 1 : 0;
}

int resample_rgb(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                 int srcPitch, int srcW, int srcH) {
    return resample_rgb_fixed(e, dst, dstPitch, dstW, dstH, src, srcPitch, srcW, srcH, true);
}

}  // namespace tv::img::detail

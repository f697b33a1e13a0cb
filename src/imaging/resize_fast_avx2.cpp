// AVX2 twins of the fixed-point resampler's row loops (see simd.h): the
// same integer arithmetic as the plain loops, sixteen elements (vertical) or
// two outputs (horizontal) at a time.
#include <cstring>

#include "imaging/resize_internal.h"
#include "imaging/simd.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace tv::img::detail {

#if defined(__AVX2__)

namespace {

template <typename In>
inline __m256i load16(const In* p) {
    if constexpr (sizeof(In) == 1)
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    else
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <typename In, typename Out>
std::size_t vrow(const FixedPass& p, int i, const In* const* rows, Out* d, std::size_t elems, int shift, int outMax) {
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
    return x;
}

// Sums of output i of a horizontal pass: lanes 0-2 and 4-6 hold partial
// B, G, R sums of taps (4g, 4g+1) and (4g+2, 4g+3); the caller adds the
// halves.
template <int G, typename In>
inline __m256i hsums(const FixedPass& p, const In* s, int i) {
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
int hrow_g(const FixedPass& p, const In* s, Out* d, int shift, int outMax) {
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
    return i;
}

template <typename In, typename Out>
int hrow(const FixedPass& p, const In* s, Out* d, int shift, int outMax) {
    switch (p.groups) {
        case 1: return hrow_g<1>(p, s, d, shift, outMax);
        case 2: return hrow_g<2>(p, s, d, shift, outMax);
        case 3: return hrow_g<3>(p, s, d, shift, outMax);
        case 4: return hrow_g<4>(p, s, d, shift, outMax);
        default: return hrow_g<0>(p, s, d, shift, outMax);
    }
}

}  // namespace

int fast_hrow_avx2(const FixedPass& p, const std::uint8_t* s, std::int16_t* d, int shift, int outMax) {
    return hrow(p, s, d, shift, outMax);
}
int fast_hrow_avx2(const FixedPass& p, const std::int16_t* s, std::uint8_t* d, int shift, int outMax) {
    return hrow(p, s, d, shift, outMax);
}
std::size_t fast_vrow_avx2(const FixedPass& p, int i, const std::uint8_t* const* rows, std::int16_t* d,
                           std::size_t elems, int shift, int outMax) {
    return vrow(p, i, rows, d, elems, shift, outMax);
}
std::size_t fast_vrow_avx2(const FixedPass& p, int i, const std::int16_t* const* rows, std::uint8_t* d,
                           std::size_t elems, int shift, int outMax) {
    return vrow(p, i, rows, d, elems, shift, outMax);
}

#else  // no AVX2 here: never called, vector_kernels() is false

int fast_hrow_avx2(const FixedPass&, const std::uint8_t*, std::int16_t*, int, int) { return 0; }
int fast_hrow_avx2(const FixedPass&, const std::int16_t*, std::uint8_t*, int, int) { return 0; }
std::size_t fast_vrow_avx2(const FixedPass&, int, const std::uint8_t* const*, std::int16_t*, std::size_t, int, int) {
    return 0;
}
std::size_t fast_vrow_avx2(const FixedPass&, int, const std::int16_t* const*, std::uint8_t*, std::size_t, int, int) {
    return 0;
}

#endif

}  // namespace tv::img::detail

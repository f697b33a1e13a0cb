// AVX2 twins of the exact resampler's loops (see simd.h). A pixel's four
// channels, or four neighbouring bytes of a row, sit in the four lanes of
// one register; every lane multiplies and adds as the plain loop does, in
// the same order, and the byte conversion clamps before truncating, which
// gives what to_byte gives.
#include <cstring>

#include "imaging/resize_internal.h"
#include "imaging/simd.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace tv::img::detail {

#if defined(__AVX2__)

namespace {

// Four bytes as four doubles.
inline __m256d load4(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

// A sum at or below -0.5 becomes 0, at or above 254.5 becomes 255.
inline __m128i to_bytes4(__m256d acc) {
    __m256d v = _mm256_add_pd(acc, _mm256_set1_pd(0.5));
    v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(v);
}

}  // namespace

int exact_hrow4_avx2(const Contributions& c, const std::uint8_t* s, std::uint8_t* d) {
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
    return i;
}

std::size_t exact_vrow_avx2(const double* w, int n, const std::uint8_t* top, std::size_t inPitch, std::uint8_t* d,
                            std::size_t elems) {
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
    return x;
}

#else  // no AVX2 here: never called, vector_kernels() is false

int exact_hrow4_avx2(const Contributions&, const std::uint8_t*, std::uint8_t*) { return 0; }
std::size_t exact_vrow_avx2(const double*, int, const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t) {
    return 0;
}

#endif

}  // namespace tv::img::detail

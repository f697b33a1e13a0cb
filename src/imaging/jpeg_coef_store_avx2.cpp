// AVX2 twin of the coefficient store's block survey (see simd.h): a block's
// 64 coefficients in four registers, its zero map from one compare per
// register, its smallest and largest AC value from lane minima and maxima.
#include "imaging/simd.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace tv::img::detail {

#if defined(__AVX2__)

namespace {

// One bit per coefficient of two registers of sixteen: set where it is 0.
inline std::uint32_t zero_bits(__m256i a, __m256i b) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i z = _mm256_packs_epi16(_mm256_cmpeq_epi16(a, zero), _mm256_cmpeq_epi16(b, zero));
    // packs works per 128-bit half: put the four quarters back in order.
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_permute4x64_epi64(z, 0xD8)));
}

}  // namespace

std::size_t coef_shapes_avx2(const std::int16_t* blocks, std::size_t count, std::uint64_t* maps, int* acMin,
                             int* acMax) {
    // DC is kept apart: lane 0 reads as zero.
    const __m256i noDc = _mm256_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    for (std::size_t k = 0; k < count; ++k) {
        const std::int16_t* b = blocks + 64 * k;
        const __m256i v0 = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)), noDc);
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 16));
        const __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 32));
        const __m256i v3 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 48));
        const std::uint64_t isZero =
            static_cast<std::uint64_t>(zero_bits(v0, v1)) | (static_cast<std::uint64_t>(zero_bits(v2, v3)) << 32);
        const __m256i lo8 = _mm256_min_epi16(_mm256_min_epi16(v0, v1), _mm256_min_epi16(v2, v3));
        const __m256i hi8 = _mm256_max_epi16(_mm256_max_epi16(v0, v1), _mm256_max_epi16(v2, v3));
        __m128i lo = _mm_min_epi16(_mm256_castsi256_si128(lo8), _mm256_extracti128_si256(lo8, 1));
        __m128i hi = _mm_max_epi16(_mm256_castsi256_si128(hi8), _mm256_extracti128_si256(hi8, 1));
        lo = _mm_min_epi16(lo, _mm_shuffle_epi32(lo, 0x4E));
        hi = _mm_max_epi16(hi, _mm_shuffle_epi32(hi, 0x4E));
        lo = _mm_min_epi16(lo, _mm_shuffle_epi32(lo, 0xB1));
        hi = _mm_max_epi16(hi, _mm_shuffle_epi32(hi, 0xB1));
        lo = _mm_min_epi16(lo, _mm_shufflelo_epi16(lo, 0xB1));
        hi = _mm_max_epi16(hi, _mm_shufflelo_epi16(hi, 0xB1));
        maps[k] = ~isZero & ~std::uint64_t{1};
        acMin[k] = static_cast<std::int16_t>(_mm_cvtsi128_si32(lo) & 0xFFFF);
        acMax[k] = static_cast<std::int16_t>(_mm_cvtsi128_si32(hi) & 0xFFFF);
    }
    return count;
}

#else  // no AVX2 here: never called, vector_kernels() is false

std::size_t coef_shapes_avx2(const std::int16_t*, std::size_t, std::uint64_t*, int*, int*) { return 0; }

#endif

}  // namespace tv::img::detail

// AVX2 twins of the quantiser's learning loops (see simd.h): four nodes per
// register, each with the operations of the plain loop in its order. The
// distances are finite and never -0, so the lanes' minima, taken in any
// order, are the plain loop's minimum.
#include "imaging/simd.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace tv::img::detail {

#if defined(__AVX2__)

namespace {

inline __m256d absolute(__m256d x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }

inline double smallest(__m256d v, double m) {
    __m128d h = _mm_min_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
    h = _mm_min_pd(h, _mm_unpackhi_pd(h, h));
    const double x = _mm_cvtsd_f64(h);
    return x < m ? x : m;
}

}  // namespace

std::uint32_t quant_distances_avx2(const NodeDistances& n, std::uint32_t count, double e, double A, double R,
                                   double G, double B, double& minDist, double& minBiasdist) {
    const __m256d ve = _mm256_set1_pd(e), va = _mm256_set1_pd(A), vr = _mm256_set1_pd(R);
    const __m256d vg = _mm256_set1_pd(G), vb = _mm256_set1_pd(B);
    const __m256d k = _mm256_set1_pd(1024.0);
    __m256d md = _mm256_set1_pd(minDist), mb = _mm256_set1_pd(minBiasdist);
    std::uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d sum = _mm256_add_pd(
            _mm256_add_pd(absolute(_mm256_sub_pd(_mm256_loadu_pd(n.r + i), vr)),
                          absolute(_mm256_sub_pd(_mm256_loadu_pd(n.g + i), vg))),
            absolute(_mm256_sub_pd(_mm256_loadu_pd(n.b + i), vb)));
        const __m256d d = _mm256_add_pd(_mm256_mul_pd(ve, sum), absolute(_mm256_sub_pd(_mm256_loadu_pd(n.a + i), va)));
        const __m256d bias = _mm256_loadu_pd(n.bias + i);
        const __m256d bd = _mm256_sub_pd(d, bias);
        _mm256_storeu_pd(n.dist + i, d);
        _mm256_storeu_pd(n.biasdist + i, bd);
        md = _mm256_min_pd(d, md);
        mb = _mm256_min_pd(bd, mb);
        const __m256d freq = _mm256_loadu_pd(n.freq + i);
        const __m256d betafreq = _mm256_div_pd(freq, k);
        _mm256_storeu_pd(n.freq + i, _mm256_sub_pd(freq, betafreq));
        _mm256_storeu_pd(n.bias + i, _mm256_add_pd(bias, _mm256_mul_pd(betafreq, k)));
    }
    minDist = smallest(md, minDist);
    minBiasdist = smallest(mb, minBiasdist);
    return i;
}

int quant_move_span_avx2(double* a, double* r, double* g, double* b, const double* rate, int count, double A,
                         double R, double G, double B) {
    const __m256d va = _mm256_set1_pd(A), vr = _mm256_set1_pd(R), vg = _mm256_set1_pd(G), vb = _mm256_set1_pd(B);
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d t = _mm256_loadu_pd(rate + k);
        __m256d x = _mm256_loadu_pd(a + k);
        _mm256_storeu_pd(a + k, _mm256_sub_pd(x, _mm256_mul_pd(t, _mm256_sub_pd(x, va))));
        x = _mm256_loadu_pd(r + k);
        _mm256_storeu_pd(r + k, _mm256_sub_pd(x, _mm256_mul_pd(t, _mm256_sub_pd(x, vr))));
        x = _mm256_loadu_pd(g + k);
        _mm256_storeu_pd(g + k, _mm256_sub_pd(x, _mm256_mul_pd(t, _mm256_sub_pd(x, vg))));
        x = _mm256_loadu_pd(b + k);
        _mm256_storeu_pd(b + k, _mm256_sub_pd(x, _mm256_mul_pd(t, _mm256_sub_pd(x, vb))));
    }
    return k;
}

std::uint32_t quant_first_block_avx2(const double* v, double m) {
    const __m256d mm = _mm256_set1_pd(m);
    for (std::uint32_t i = 0; i < 256; i += 8) {
        const __m256d h = _mm256_or_pd(_mm256_cmp_pd(_mm256_loadu_pd(v + i), mm, _CMP_EQ_OQ),
                                       _mm256_cmp_pd(_mm256_loadu_pd(v + i + 4), mm, _CMP_EQ_OQ));
        if (_mm256_movemask_pd(h) != 0) return i;
    }
    return 0;
}

#else  // no AVX2 here: never called, vector_kernels() is false

std::uint32_t quant_distances_avx2(const NodeDistances&, std::uint32_t, double, double, double, double, double,
                                   double&, double&) {
    return 0;
}
int quant_move_span_avx2(double*, double*, double*, double*, const double*, int, double, double, double, double) {
    return 0;
}
std::uint32_t quant_first_block_avx2(const double*, double) { return 0; }

#endif

}  // namespace tv::img::detail

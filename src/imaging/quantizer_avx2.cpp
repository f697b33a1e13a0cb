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

constexpr double Start = 1073741824.0;  // 2^30, as the plain loops start

inline __m256d absolute(__m256d x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }

inline double smallest(__m256d v) {
    __m128d h = _mm_min_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
    h = _mm_min_pd(h, _mm_unpackhi_pd(h, h));
    return _mm_cvtsd_f64(h);
}

// First position of the count entries of v holding m when m is below 2^30,
// else 0.
inline std::uint32_t first_at(const double* v, std::uint32_t count, double m) {
    if (!(m < Start)) return 0;
    const __m256d mm = _mm256_set1_pd(m);
    for (std::uint32_t i = 0; i < count; i += 4) {
        const int hit = _mm256_movemask_pd(_mm256_cmp_pd(_mm256_load_pd(v + i), mm, _CMP_EQ_OQ));
        if (hit != 0) return i + static_cast<std::uint32_t>(__builtin_ctz(static_cast<unsigned>(hit)));
    }
    return 0;
}

// Lanes below n of four.
inline __m256i lanes_below(int n) {
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(n), _mm256_setr_epi64x(0, 1, 2, 3));
}

inline __m256d moved(__m256d x, __m256d t, __m256d to) { return _mm256_sub_pd(x, _mm256_mul_pd(t, _mm256_sub_pd(x, to))); }

}  // namespace

bool quant_contest_avx2(const NodeSet& n, std::uint32_t count, double e, double A, double R, double G, double B,
                        std::uint32_t& best, std::uint32_t& winner) {
    if (count % 4 != 0) return false;
    const double* __restrict na = n.a;
    const double* __restrict nr = n.r;
    const double* __restrict ng = n.g;
    const double* __restrict nb = n.b;
    double* __restrict dist = n.dist;
    double* __restrict biasdist = n.biasdist;
    double* __restrict freq = n.freq;
    double* __restrict bias = n.bias;
    const __m256d ve = _mm256_set1_pd(e), va = _mm256_set1_pd(A), vr = _mm256_set1_pd(R);
    const __m256d vg = _mm256_set1_pd(G), vb = _mm256_set1_pd(B);
    const __m256d k = _mm256_set1_pd(1024.0);
    __m256d md = _mm256_set1_pd(Start), mb = md;
    for (std::uint32_t i = 0; i < count; i += 4) {
        const __m256d sum = _mm256_add_pd(_mm256_add_pd(absolute(_mm256_sub_pd(_mm256_load_pd(nr + i), vr)),
                                                        absolute(_mm256_sub_pd(_mm256_load_pd(ng + i), vg))),
                                          absolute(_mm256_sub_pd(_mm256_load_pd(nb + i), vb)));
        const __m256d d = _mm256_add_pd(_mm256_mul_pd(ve, sum), absolute(_mm256_sub_pd(_mm256_load_pd(na + i), va)));
        const __m256d old = _mm256_loadu_pd(bias + i);
        const __m256d bd = _mm256_sub_pd(d, old);
        _mm256_store_pd(dist + i, d);
        _mm256_store_pd(biasdist + i, bd);
        md = _mm256_min_pd(d, md);
        mb = _mm256_min_pd(bd, mb);
        const __m256d f = _mm256_loadu_pd(freq + i);
        const __m256d betafreq = _mm256_div_pd(f, k);
        _mm256_storeu_pd(freq + i, _mm256_sub_pd(f, betafreq));
        _mm256_storeu_pd(bias + i, _mm256_add_pd(old, _mm256_mul_pd(betafreq, k)));
    }
    best = first_at(dist, count, smallest(md));
    winner = first_at(biasdist, count, smallest(mb));
    return true;
}

void quant_move_span_avx2(double* a, double* r, double* g, double* b, const double* rate, int count, double A,
                          double R, double G, double B) {
    const __m256d va = _mm256_set1_pd(A), vr = _mm256_set1_pd(R), vg = _mm256_set1_pd(G), vb = _mm256_set1_pd(B);
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256d t = _mm256_loadu_pd(rate + k);
        _mm256_storeu_pd(a + k, moved(_mm256_loadu_pd(a + k), t, va));
        _mm256_storeu_pd(r + k, moved(_mm256_loadu_pd(r + k), t, vr));
        _mm256_storeu_pd(g + k, moved(_mm256_loadu_pd(g + k), t, vg));
        _mm256_storeu_pd(b + k, moved(_mm256_loadu_pd(b + k), t, vb));
    }
    if (k < count) {
        // The last nodes under a mask: the lanes past count are neither
        // read nor written.
        const __m256i m = lanes_below(count - k);
        const __m256d t = _mm256_maskload_pd(rate + k, m);
        _mm256_maskstore_pd(a + k, m, moved(_mm256_maskload_pd(a + k, m), t, va));
        _mm256_maskstore_pd(r + k, m, moved(_mm256_maskload_pd(r + k, m), t, vr));
        _mm256_maskstore_pd(g + k, m, moved(_mm256_maskload_pd(g + k, m), t, vg));
        _mm256_maskstore_pd(b + k, m, moved(_mm256_maskload_pd(b + k, m), t, vb));
    }
}

#else  // no AVX2 here: never called, vector_kernels() is false

bool quant_contest_avx2(const NodeSet&, std::uint32_t, double, double, double, double, double, std::uint32_t&,
                        std::uint32_t&) {
    return false;
}
void quant_move_span_avx2(double*, double*, double*, double*, const double*, int, double, double, double, double) {}

#endif

}  // namespace tv::img::detail

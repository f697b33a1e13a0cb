// The 24-bit resampler: the same cubic filter as the exact one, in fixed
// point. Weights are integers scaled by 2^shift and sum exactly to 2^shift;
// the intermediate image keeps 7 fraction bits so that the result never
// strays by more than 1 from the exact resampler (checked per resize from
// the actual weights; when the check cannot be met, the exact resampler
// runs instead). The inner loops have AVX2 twins (resize_fast_avx2.cpp) that
// do the same integer arithmetic and give the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/resize_internal.h"
#include "imaging/simd.h"

namespace tv::img::detail {

FixedPass::~FixedPass() {
    std::free(wx);
    std::free(w);
    std::free(left);
    std::free(count);
}

namespace {

constexpr int MidFraction = 7;                  // fraction bits of the intermediate
constexpr int MidMax = 255 << MidFraction;      // 32640: fits a signed 16-bit lane
constexpr std::int64_t AccLimit = 2147483647;   // int32 accumulators

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

// One row of each pass: the AVX2 twin first when avx2 is set, the plain
// loop for whatever it leaves.
template <typename In, typename Out>
void hrow(const FixedPass& p, const In* s, Out* d, int shift, int outMax, bool avx2) {
    int i = avx2 ? fast_hrow_avx2(p, s, d, shift, outMax) : 0;
    for (; i < p.nOut; ++i) hrow_scalar(p, s, d, shift, outMax, i);
}

template <typename In, typename Out>
void vrow(const FixedPass& p, int i, const In* const* rows, Out* d, std::size_t elems, int shift, int outMax,
          bool avx2) {
    const std::size_t from = avx2 ? fast_vrow_avx2(p, i, rows, d, elems, shift, outMax) : 0;
    vrow_scalar(p, i, rows, d, from, elems, shift, outMax);
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

int resample_rgb(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                 int srcPitch, int srcW, int srcH) {
    if (!dst || !src || dstW < 1 || dstH < 1 || srcW < 1 || srcH < 1) return 0;
    const bool avx2 = vector_kernels();
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
    const void** rows = static_cast<const void**>(std::malloc(sizeof(void*) * static_cast<std::size_t>(vp.stride)));
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
                         hp.shift - MidFraction, MidMax, avx2);
                    held[slot] = r;
                }
                rows[j] = m;
            }
            vrow(vp, i, reinterpret_cast<const std::int16_t* const*>(rows), d, static_cast<std::size_t>(dstW) * 3,
                 vp.shift + MidFraction, 255, avx2);
        } else {
            for (int j = 0; j < vp.count[i]; ++j)
                rows[j] = src + static_cast<std::size_t>(srcPitch) * static_cast<std::size_t>(vp.left[i] + j);
            vrow(vp, i, reinterpret_cast<const std::uint8_t* const*>(rows), mid, midElems, vp.shift - MidFraction,
                 MidMax, avx2);
            hrow(hp, static_cast<const std::int16_t*>(mid), d, hp.shift + MidFraction, 255, avx2);
        }
    }
    std::free(mid);
    std::free(held);
    std::free(rows);
    return ok ? 1 : 0;
}

}  // namespace tv::img::detail

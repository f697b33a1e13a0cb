// Four-channel NeuQuant. The arithmetic is kept in doubles and in a fixed
// order so that the same picture always gives the same palette and indices.
#include "imaging/quantizer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imaging/image.h"
#include "imaging/simd.h"

namespace tv::img {
namespace {

constexpr double Start = 1073741824.0;  // 2^30, larger than any distance

// Gamma space back to linear, 0..255.
int unbias(const PaletteQuantizer& q, double x) {
    if (!(x > 0.0)) return 0;
    double v = std::floor(std::pow(x / 255.0, q.gamma) * 256.0);
    return v > 255.0 ? 255 : static_cast<int>(v);
}

int unbias_alpha(double x) {
    if (!(x > 0.0)) return 0;
    double v = std::floor(x / 255.0 * 256.0);
    return v > 255.0 ? 255 : static_cast<int>(v);
}

void initialise(PaletteQuantizer& q) {
    for (int v = 0; v < 256; ++v)
        q.biasvalues[v] = std::floor(255.0 * std::pow(v / 255.0, 1.0 / q.gamma) + 0.5);
    for (std::uint32_t i = 0; i < q.N; ++i) {
        double c = q.biasvalues[(i * 256) / q.N];
        q.network[i][0] = i < 16 ? 16.0 * i : 255.0;
        q.network[i][1] = c;
        q.network[i][2] = c;
        q.network[i][3] = c;
        q.freq[i] = 1.0 / q.N;
        q.bias[i] = 0.0;
    }
}

// Learning works on the nodes channel by channel so the distance loop runs
// on vectors; every value is computed with the same operations in the same
// order as one node at a time would, so the results do not change.
struct Net {
    alignas(32) double a[256];
    alignas(32) double r[256];
    alignas(32) double g[256];
    alignas(32) double b[256];
    alignas(32) double dist[256];
    alignas(32) double biasdist[256];
};

// The plain loops below may be vectorised by the compiler for the base
// instruction set; the distances are finite and never -0, so letting it
// treat "a < b ? a : b" as a vector minimum gives the same minimum, and no
// multiply is fused with an add. Their AVX2 twins are in quantizer_avx2.cpp.
#if defined(__GNUC__) && !defined(__clang__)
#define TV_VECTORISE \
    __attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic", "finite-math-only", "no-signed-zeros")))
#define TV_VECTORISE_PLAIN __attribute__((optimize("tree-vectorize")))
#else
#define TV_VECTORISE
#define TV_VECTORISE_PLAIN
#endif

// Fills dist and biasdist for every node, ages the frequencies and biases,
// and gives the smallest dist and biasdist (2^30 when none is below).
TV_VECTORISE void distances(Net& n, double* __restrict freq, double* __restrict bias, std::uint32_t count, double e,
                            double A, double R, double G, double B, double& minDist, double& minBiasdist) {
    double* __restrict na = n.a;
    double* __restrict nr = n.r;
    double* __restrict ng = n.g;
    double* __restrict nb = n.b;
    double* __restrict dist = n.dist;
    double* __restrict biasdist = n.biasdist;
    double md = Start, mb = Start;
    for (std::uint32_t i = 0; i < count; ++i) {
        double d = e * (std::fabs(nr[i] - R) + std::fabs(ng[i] - G) + std::fabs(nb[i] - B)) + std::fabs(na[i] - A);
        double bd = d - bias[i];
        dist[i] = d;
        biasdist[i] = bd;
        md = d < md ? d : md;
        mb = bd < mb ? bd : mb;
        double betafreq = freq[i] / 1024.0;
        freq[i] -= betafreq;
        bias[i] += betafreq * 1024.0;
    }
    minDist = md;
    minBiasdist = mb;
}

// First position holding m when m is below 2^30, else 0: the same answer
// as scanning with a strict "smaller than the best so far".
std::uint32_t first_at(const double* v, double m) {
    if (!(m < Start)) return 0;
    std::uint32_t i = 0;
    while (v[i] != m) ++i;
    return i;
}

// Finds the node closest to the sample (best) and the one closest once the
// bias against frequent winners is taken off (the winner), and updates the
// frequencies and biases. Returns the winner.
std::uint32_t contest(PaletteQuantizer& q, Net& n, double A, double R, double G, double B, bool avx2) {
    const double t = 1.0 - A / 255.0;
    const double e = 1.0 - t * t;
    std::uint32_t best, winner;
    if (!avx2 || !detail::quant_contest_avx2({n.a, n.r, n.g, n.b, n.dist, n.biasdist, q.freq, q.bias}, q.N, e, A, R,
                                             G, B, best, winner)) {
        double minDist, minBiasdist;
        distances(n, q.freq, q.bias, q.N, e, A, R, G, B, minDist, minBiasdist);
        best = first_at(n.dist, minDist);
        winner = first_at(n.biasdist, minBiasdist);
    }
    q.freq[best] += 1.0 / 1024.0;
    q.bias[best] -= 1.0;
    return winner;
}

inline void move_node(Net& n, int i, double rate, double A, double R, double G, double B) {
    n.a[i] = n.a[i] - rate * (n.a[i] - A);
    n.r[i] = n.r[i] - rate * (n.r[i] - R);
    n.g[i] = n.g[i] - rate * (n.g[i] - G);
    n.b[i] = n.b[i] - rate * (n.b[i] - B);
}

// Moves `count` neighbouring nodes towards the sample, node k by rate[k]:
// the same expression per node as move_node, many nodes per register.
TV_VECTORISE_PLAIN void move_span(double* __restrict a, double* __restrict r, double* __restrict g,
                                  double* __restrict b, const double* __restrict rate, int count, double A, double R,
                                  double G, double B, bool avx2) {
    if (avx2) {
        detail::quant_move_span_avx2(a, r, g, b, rate, count, A, R, G, B);
        return;
    }
    for (int k = 0; k < count; ++k) {
        const double t = rate[k];
        a[k] = a[k] - t * (a[k] - A);
        r[k] = r[k] - t * (r[k] - R);
        g[k] = g[k] - t * (g[k] - G);
        b[k] = b[k] - t * (b[k] - B);
    }
}

// The neighbours' rates for distances 0..32 (radpower[m] / 2^18, 0 from 32
// on), and the same backwards for the nodes below the winner.
void neighbour_rates(const PaletteQuantizer& q, double* rates, double* backwards) {
    for (int m = 0; m <= 32; ++m) rates[m] = (m < 32 ? q.radpower[m] : 0.0) / 262144.0;
    for (int k = 0; k <= 32; ++k) backwards[k] = rates[32 - k];
}

// False when the engine's cancel check stopped it.
bool learn(PaletteQuantizer& q, std::uint32_t samplefac, const Engine* engine) {
    Net n{};  // 12 KB of working copies
    for (std::uint32_t i = 0; i < q.N; ++i) {
        n.a[i] = q.network[i][0];
        n.r[i] = q.network[i][1];
        n.g[i] = q.network[i][2];
        n.b[i] = q.network[i][3];
    }

    const std::uint32_t length = q.length;
    const std::uint32_t samplepixels = length / (4 * samplefac);
    std::uint32_t delta = samplepixels / 100;
    if (delta < 1) delta = 1;
    const std::uint32_t alphadec = 30 + (samplefac - 1) / 3;

    double alpha = 1024.0;
    double radius = 32.0;
    int rad = 32;
    for (int m = 0; m < 32; ++m) q.radpower[m] = std::floor(static_cast<double>(((1024 - m * m) * 256 / 1024) * 1024));

    std::uint32_t step;
    if (length % 499 != 0)
        step = 4 * 499;
    else if (length % 491 != 0)
        step = 4 * 491;
    else if (length % 487 != 0)
        step = 4 * 487;
    else
        step = 4 * 503;

    const int last = static_cast<int>(q.N) - 1;
    const bool avx2 = detail::vector_kernels();
    double rates[33], backwards[33];
    neighbour_rates(q, rates, backwards);
    std::uint64_t pos = 0;
    for (std::uint32_t i = 0; i < samplepixels;) {
        // A large picture learns for seconds: Stop must not wait for it.
        if (i % QuantizerCancelEvery == 0 && detail::cancelled(engine)) return false;
        const std::uint8_t* px = q.pixels + pos;
        double A = px[3], R = 0.0, G = 0.0, B = 0.0;
        if (px[3] != 0) {
            R = q.biasvalues[px[2]];
            G = q.biasvalues[px[1]];
            B = q.biasvalues[px[0]];
        }
        int w = static_cast<int>(contest(q, n, A, R, G, B, avx2));
        move_node(n, w, alpha / 1024.0, A, R, G, B);
        if (rad != 0) {
            int hi = w + rad < last ? w + rad : last;
            int lo = w - rad > 0 ? w - rad : 0;
            // Nodes w + m (up to hi) and w - m (down to lo) by the rate of
            // distance m; each node moves once, so the order among them
            // does not matter.
            move_span(n.a + w + 1, n.r + w + 1, n.g + w + 1, n.b + w + 1, rates + 1, hi - w, A, R, G, B, avx2);
            move_span(n.a + lo, n.r + lo, n.g + lo, n.b + lo, backwards + 32 - w + lo, w - lo, A, R, G, B, avx2);
        }
        pos += step;
        while (pos >= length) pos -= length;

        ++i;
        if (i % delta == 0) {
            alpha -= alpha / alphadec;
            radius -= radius / 30.0;
            rad = static_cast<int>(radius);
            if (rad < 2) rad = 0;
            for (int m = 0; m < rad; ++m)
                q.radpower[m] = std::floor(alpha * static_cast<double>(((rad * rad - m * m) * 256) / (rad * rad)));
            neighbour_rates(q, rates, backwards);
        }
    }

    for (std::uint32_t i = 0; i < q.N; ++i) {
        q.network[i][0] = n.a[i];
        q.network[i][1] = n.r[i];
        q.network[i][2] = n.g[i];
        q.network[i][3] = n.b[i];
    }
    return true;
}

void build_search(PaletteQuantizer& q) {
    const std::uint32_t n = q.N;
    for (std::uint32_t i = 0; i < n; ++i) {
        const double* p = q.network[i];
        q.searchMap[i][0] = static_cast<std::uint8_t>(q.biasvalues[unbias(q, p[3])]);
        q.searchMap[i][1] = static_cast<std::uint8_t>(q.biasvalues[unbias(q, p[2])]);
        q.searchMap[i][2] = static_cast<std::uint8_t>(q.biasvalues[unbias(q, p[1])]);
        q.searchMap[i][3] = static_cast<std::uint8_t>(unbias_alpha(p[0]));
    }
    // Selection sort on green, which the index search keys on.
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint32_t smallpos = i;
        unsigned smallval = 256;
        for (std::uint32_t j = i + 1; j < n; ++j) {
            if (q.searchMap[j][1] < smallval) {
                smallval = q.searchMap[j][1];
                smallpos = j;
            }
        }
        if (smallpos != i && smallval < q.searchMap[i][1]) {
            double tn[4];
            std::uint8_t tm[4];
            std::memcpy(tn, q.network[i], sizeof tn);
            std::memcpy(q.network[i], q.network[smallpos], sizeof tn);
            std::memcpy(q.network[smallpos], tn, sizeof tn);
            std::memcpy(tm, q.searchMap[i], sizeof tm);
            std::memcpy(q.searchMap[i], q.searchMap[smallpos], sizeof tm);
            std::memcpy(q.searchMap[smallpos], tm, sizeof tm);
        }
    }
    unsigned previous = 0;
    std::uint32_t start = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        unsigned g = q.searchMap[i][1];
        if (g != previous) {
            q.netindex[previous] = (start + i) / 2;
            for (unsigned k = previous + 1; k < g; ++k) q.netindex[k] = i;
            previous = g;
            start = i;
        }
    }
    q.netindex[previous] = (start + n - 1) / 2;
    for (unsigned k = previous + 1; k < 256; ++k) q.netindex[k] = n - 1;

    for (std::uint32_t i = 0; i < n; ++i) {
        const double* p = q.network[i];
        q.palette[i][0] = static_cast<std::uint8_t>(unbias(q, p[3]));
        q.palette[i][1] = static_cast<std::uint8_t>(unbias(q, p[2]));
        q.palette[i][2] = static_cast<std::uint8_t>(unbias(q, p[1]));
        q.palette[i][3] = static_cast<std::uint8_t>(unbias_alpha(p[0]));
    }
}

}  // namespace

PaletteQuantizer* quantizer_build(const std::uint8_t* pixels, int width, int height, int imageDepth, int pitch,
                                  int depth, int /*options*/, const Engine* engine) {
    if (!pixels || width < 1 || height < 1 || (imageDepth != 24 && imageDepth != 32)) return nullptr;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return nullptr;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const std::size_t srcRow = static_cast<std::size_t>(width) * (imageDepth / 8);
    if (pitch < 0 || static_cast<std::size_t>(pitch) < srcRow) return nullptr;
    const std::uint64_t length = static_cast<std::uint64_t>(rowBytes) * static_cast<std::uint64_t>(height);
    if (length > 0xFFFFFFFFull) return nullptr;

    PaletteQuantizer* q = new (std::nothrow) PaletteQuantizer;
    if (!q) return nullptr;
    q->width = width;
    q->height = height;
    q->depth = depth;
    q->N = 1u << depth;
    q->length = static_cast<std::uint32_t>(length);
    q->indexRow = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(width) + 8));
    q->cache = static_cast<std::uint64_t*>(std::calloc(PaletteQuantizer::CacheSize, sizeof(std::uint64_t)));
    if (!q->indexRow || !q->cache) {
        quantizer_release(q);
        return nullptr;
    }

    if (imageDepth == 32 && static_cast<std::size_t>(pitch) == rowBytes) {
        q->pixels = pixels;
    } else {
        // 24-bit rows (or 32-bit rows with gaps) get a gap-free B, G, R, A copy.
        q->ownedPixels = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(length)));
        if (!q->ownedPixels) {
            quantizer_release(q);
            return nullptr;
        }
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* s = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch);
            std::uint8_t* d = q->ownedPixels + static_cast<std::size_t>(y) * rowBytes;
            if (imageDepth == 32) {
                std::memcpy(d, s, rowBytes);
            } else {
                for (int x = 0; x < width; ++x, s += 3, d += 4) {
                    d[0] = s[0];
                    d[1] = s[1];
                    d[2] = s[2];
                    d[3] = 255;
                }
            }
        }
        q->pixels = q->ownedPixels;
    }

    std::uint32_t samplefac = static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) / 262144 + 1);
    if (samplefac > 10) samplefac = 10;

    initialise(*q);
    if (!learn(*q, samplefac, engine)) {
        quantizer_release(q);
        return nullptr;
    }
    build_search(*q);
    return q;
}

int quantizer_index(const PaletteQuantizer& q, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
    int Rp = 0, Gp = 0, Bp = 0;
    if (a != 0) {
        Rp = static_cast<int>(q.biasvalues[r]);
        Gp = static_cast<int>(q.biasvalues[g]);
        Bp = static_cast<int>(q.biasvalues[b]);
    }
    const double t = 1.0 - a / 255.0;
    const double d = 1.0 - t * t;
    const int n = static_cast<int>(q.N);
    int i = static_cast<int>(q.netindex[Gp]);
    int j = i - 1;
    double bestd = Start;
    int best = 0;
    // Weighs node idx against the best so far; false when its green distance
    // alone is larger, which ends the search on both sides.
    auto probe = [&](int idx) {
        const std::uint8_t* p = q.searchMap[idx];
        int dg = p[1] - Gp;
        double k = d * static_cast<double>(dg * dg);
        if (k > bestd) return false;
        int db = p[0] - Bp, dr = p[2] - Rp, da = p[3] - a;
        double dist = k + d * static_cast<double>(db * db) + d * static_cast<double>(dr * dr) +
                      static_cast<double>(da * da);
        if (dist < bestd) {
            bestd = dist;
            best = idx;
        }
        return true;
    };
    while (i < n || j >= 0) {
        if (i < n) {
            if (!probe(i)) break;
            ++i;
        }
        if (j >= 0) {
            if (!probe(j)) break;
            --j;
        }
    }
    return best;
}

const std::uint8_t* quantizer_index_row(PaletteQuantizer& q, int row) {
    const std::size_t w = static_cast<std::size_t>(q.width);
    std::uint8_t* out = q.indexRow;
    std::memset(out, 0, w + 8);
    if (row < 0 || row >= q.height) return out;
    const std::uint8_t* px = q.pixels + static_cast<std::size_t>(row) * w * 4;
    // Photographs repeat colours a lot, and the index depends on the pixel
    // alone: remember recent answers.
    std::uint64_t* cache = q.cache;
    for (std::size_t x = 0; x < w; ++x, px += 4) {
        std::uint32_t v;
        std::memcpy(&v, px, 4);
        std::uint32_t slot = (v * 2654435761u) >> (32 - 14);
        std::uint64_t entry = cache[slot];
        int idx;
        if (entry != 0 && static_cast<std::uint32_t>(entry) == v) {
            idx = static_cast<int>(entry >> 32) - 1;
        } else {
            idx = quantizer_index(q, px[0], px[1], px[2], px[3]);
            cache[slot] = (static_cast<std::uint64_t>(idx + 1) << 32) | v;
        }
        out[x] = static_cast<std::uint8_t>(idx);
    }
    const int perByte = 8 / q.depth;
    if (perByte > 1) {
        const std::size_t bytes = (w + perByte - 1) / perByte;
        for (std::size_t k = 0; k < bytes; ++k) {
            unsigned packed = 0;
            for (int s = 0; s < perByte; ++s) packed = (packed << q.depth) | out[k * perByte + s];
            out[k] = static_cast<std::uint8_t>(packed);
        }
        std::memset(out + bytes, 0, w + 8 - bytes);
    }
    return out;
}

void quantizer_release(PaletteQuantizer* q) {
    if (!q) return;
    std::free(q->ownedPixels);
    std::free(q->indexRow);
    std::free(q->cache);
    delete q;
}

}  // namespace tv::img

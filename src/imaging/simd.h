// The engine's vector kernels and the one place that chooses them.
//
// Every loop that has a vector version keeps its plain C++ loop in the file
// that uses it and its AVX2 twin in the sibling *_avx2.cpp, the only files
// built with the AVX2 flags. Each twin does the arithmetic of the plain loop
// in the same order (no fused multiply-add), so both give the same bytes; it
// returns how far it got (or whether it did it all) and the plain loop does
// the rest. Callers ask vector_kernels() once per operation and take one
// branch per kernel.
//
// The *_avx2.cpp files share no inline function or template with the rest of
// the engine: a copy built for AVX2 could otherwise stand in for the plain one
// on a processor without it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::img::detail {

// Whether the processor has AVX2 (asked once per process).
bool processor_has_avx2();
// True when the AVX2 twins run: the processor has them and the plain loops
// are not forced.
bool vector_kernels();
// The one switch to the plain loops, for the whole process: tests compare
// the two with it, and a build with TARVOLIN_SCALAR_KERNELS starts with it
// on. Safe to flip between operations on any thread.
// Returns the setting it replaces.
bool force_scalar_kernels(bool on);

struct Contributions;
struct FixedPass;

// Exact resampler (resize_exact_avx2.cpp). One horizontal row of four-channel
// pixels, outputs in pairs; returns the outputs written.
int exact_hrow4_avx2(const Contributions& c, const std::uint8_t* s, std::uint8_t* d);
// One vertical output row: n taps of weights w over rows inPitch apart from
// top, sixteen bytes at a time; returns the bytes written.
std::size_t exact_vrow_avx2(const double* w, int n, const std::uint8_t* top, std::size_t inPitch, std::uint8_t* d,
                            std::size_t elems);

// Fixed-point resampler (resize_fast_avx2.cpp), for its two passes' element
// types; return the outputs (or elements) written.
int fast_hrow_avx2(const FixedPass& p, const std::uint8_t* s, std::int16_t* d, int shift, int outMax);
int fast_hrow_avx2(const FixedPass& p, const std::int16_t* s, std::uint8_t* d, int shift, int outMax);
std::size_t fast_vrow_avx2(const FixedPass& p, int i, const std::uint8_t* const* rows, std::int16_t* d,
                           std::size_t elems, int shift, int outMax);
std::size_t fast_vrow_avx2(const FixedPass& p, int i, const std::int16_t* const* rows, std::uint8_t* d,
                           std::size_t elems, int shift, int outMax);

// Palette quantiser's learning (quantizer_avx2.cpp). One sample's contest:
// the distances of the count nodes to it, the ageing of their frequencies
// and biases, and the first node at the smallest dist (best) and at the
// smallest biasdist (winner). Whole registers only: false, with nothing
// done, when count is not a multiple of four.
struct NodeSet {
    const double *a, *r, *g, *b;
    double *dist, *biasdist, *freq, *bias;
};
bool quant_contest_avx2(const NodeSet& n, std::uint32_t count, double e, double A, double R, double G, double B,
                        std::uint32_t& best, std::uint32_t& winner);
// Moves all count nodes towards the sample, node k by rate[k].
void quant_move_span_avx2(double* a, double* r, double* g, double* b, const double* rate, int count, double A,
                          double R, double G, double B);

// Coefficient store (jpeg_coef_store_avx2.cpp): for each of count blocks of
// 64 coefficients, the map of its nonzero AC coefficients (bit k for
// coefficient k) and the smallest and largest AC value, 0 included. Returns
// the blocks done.
std::size_t coef_shapes_avx2(const std::int16_t* blocks, std::size_t count, std::uint64_t* maps, int* acMin,
                             int* acMax);

}  // namespace tv::img::detail

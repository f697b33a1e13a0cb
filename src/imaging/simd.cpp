// The processor question and the switch to the plain loops (see simd.h).
#include "imaging/simd.h"

#include <atomic>

namespace tv::img::detail {

namespace {

#if defined(TARVOLIN_SCALAR_KERNELS)
std::atomic<bool> scalarForced{true};
#else
std::atomic<bool> scalarForced{false};
#endif

bool ask_processor() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && defined(TV_HAVE_AVX2_TWINS)
    // Asked at first use, not from a loader resolver: that runs before the
    // sanitizer runtimes are up and crashed instrumented programs.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

bool processor_has_avx2() {
    static const bool has = ask_processor();
    return has;
}

bool vector_kernels() { return !scalarForced.load(std::memory_order_relaxed) && processor_has_avx2(); }

bool force_scalar_kernels(bool on) { return scalarForced.exchange(on, std::memory_order_relaxed); }

}  // namespace tv::img::detail

// The engine's plain loops (or, with false, the processor's kernels) while a
// ScalarKernels lives; the setting before it comes back after.
#pragma once

#include "imaging/simd.h"

namespace tvtest {

struct ScalarKernels {
    explicit ScalarKernels(bool on = true) : was(tv::img::detail::force_scalar_kernels(on)) {}
    ~ScalarKernels() { tv::img::detail::force_scalar_kernels(was); }
    ScalarKernels(const ScalarKernels&) = delete;
    ScalarKernels& operator=(const ScalarKernels&) = delete;
    bool was;
};

}  // namespace tvtest

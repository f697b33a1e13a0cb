// Placeholder until the resampler lands: every resize fails.
#include "imaging/image.h"

namespace tv::img {
int image_resize(Engine&, ImageHandle, int, int, int) { return 0; }
namespace detail {
int resample_rgba(const Engine&, std::uint8_t*, int, int, const std::uint8_t*, int, int) { return 0; }
int resample_rgb(const Engine&, std::uint8_t*, int, int, int, const std::uint8_t*, int, int, int) { return 0; }
}  // namespace detail
}  // namespace tv::img

// Placeholder until the BMP writer lands: every BMP save fails.
#include "imaging/image.h"

namespace tv::img::detail {
int write_bmp(const char*, const std::uint8_t*, int, int, int, int, int, int, int, const Engine*) { return 0; }
}  // namespace tv::img::detail

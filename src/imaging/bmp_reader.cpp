// The engine's own BMP reader (in progress).
#include "imaging/decoder_context.h"

namespace tv::img::detail {
Image* read_bmp(Engine&, const std::uint8_t*, std::size_t) { return nullptr; }
}  // namespace tv::img::detail

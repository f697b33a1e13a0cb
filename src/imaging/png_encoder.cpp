// Placeholder until the PNG encoder lands: nothing is registered.
#include "imaging/image.h"

namespace tv::img {
void register_png_encoder(Engine&) {}
}  // namespace tv::img

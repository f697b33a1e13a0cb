// JPEG encoder (in progress): registration only for now.
#include "imaging/image.h"

namespace tv::img {
namespace {
int jpeg_encode(const char*, const std::uint8_t*, int, int, int, int, int, int, const Image*, const Engine*) { return 0; }
}  // namespace

void register_jpeg_encoder(Engine& e) {
    for (const ImageEncoder& enc : e.encoders)
        if (enc.id == JpegEncoderId) return;
    e.encoders.push_back(ImageEncoder{JpegEncoderId, jpeg_encode, nullptr});
}
}  // namespace tv::img

// JPEG decoder (in progress): registration only for now.
#include "imaging/decoder_context.h"

namespace tv::img {
namespace {
int jpeg_check(DecoderContext&) { return 0; }
int jpeg_decode(DecoderContext&, std::uint8_t*, int, int) { return 0; }
void jpeg_release(DecoderContext&) {}
}  // namespace

void register_jpeg_decoder(Engine& e) {
    for (const ImageDecoder& d : e.decoders)
        if (d.check == jpeg_check) return;
    e.decoders.push_back(ImageDecoder{"JPEG", jpeg_check, jpeg_decode, jpeg_release});
}
}  // namespace tv::img

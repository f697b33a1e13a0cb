// PNG decoder (in progress): registration only for now.
#include "imaging/decoder_context.h"

namespace tv::img {
namespace {
int png_check(DecoderContext&) { return 0; }
int png_decode(DecoderContext&, std::uint8_t*, int, int) { return 0; }
void png_release(DecoderContext&) {}
}  // namespace

void register_png_decoder(Engine& e) {
    for (const ImageDecoder& d : e.decoders)
        if (d.check == png_check) return;
    e.decoders.push_back(ImageDecoder{"PNG", png_check, png_decode, png_release});
}
}  // namespace tv::img

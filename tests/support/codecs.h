// The engine's codecs, registered in the program's order.
#pragma once

#include "imaging/image.h"

namespace tvtest {

// JPEG and PNG, reading and writing (BMP needs no registration).
inline void registerCodecs(tv::img::Engine& e) {
    tv::img::register_jpeg_decoder(e);
    tv::img::register_jpeg_encoder(e);
    tv::img::register_png_decoder(e);
    tv::img::register_png_encoder(e);
}

}  // namespace tvtest

// Fuzzes image_load. TV_FUZZ_FORMAT picks the kind: the input's first
// bytes are replaced by that kind's signature so that every execution
// reaches the decoder instead of being refused at the first byte
// (0 = take the input as it is).
#include "fuzz_support.h"

#include <cstring>
#include <vector>

#ifndef TV_FUZZ_FORMAT
#define TV_FUZZ_FORMAT 0
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tv::img::Engine& engine = tvfuzz::engine();
    std::vector<std::uint8_t> bytes(data, data + size);
    static const std::uint8_t bmpSig[] = {'B', 'M'};
    static const std::uint8_t jpegSig[] = {0xFF, 0xD8};
    static const std::uint8_t pngSig[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const std::uint8_t* sig = nullptr;
    std::size_t sigLen = 0;
    switch (TV_FUZZ_FORMAT) {
    case 1: sig = bmpSig; sigLen = sizeof bmpSig; break;
    case 2: sig = jpegSig; sigLen = sizeof jpegSig; break;
    case 3: sig = pngSig; sigLen = sizeof pngSig; break;
    default: break;
    }
    if (sig) {
        if (bytes.size() < sigLen) bytes.resize(sigLen);
        std::memcpy(bytes.data(), sig, sigLen);
    }
    const std::string& path = tvfuzz::scratchPath("load");
    if (!tvfuzz::writeScratch(path, bytes.data(), bytes.size())) return 0;
    tv::img::ImageHandle h = tv::img::image_load(engine, path);
    if (h != tv::img::NoImage) {
        tvfuzz::checkImage(engine, h);
        tv::img::image_free(engine, h);
    }
    for (const tv::img::Image* im : engine.table)
        if (im) __builtin_trap();  // a failed load left an image behind
    return 0;
}

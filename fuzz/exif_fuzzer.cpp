// Fuzzes exif_set_pixel_size on the input taken as an EXIF block; the last
// byte picks the size written. Whatever the block, the call must stay inside
// it, keep its length, change at most the 8 value bytes of the two tags, and
// change nothing more when made again.
#include <cstdint>
#include <vector>

#include "imaging/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t knob = data[size - 1];
    static const std::uint32_t sizes[] = {1, 255, 256, 65535, 65536, 0x12345678, 0xFFFFFFFF, 4000};
    const std::uint32_t w = sizes[knob & 7], h = sizes[(knob >> 3) & 7];
    const std::vector<std::uint8_t> before(data, data + size - 1);
    std::vector<std::uint8_t> block = before;
    const int written = tv::img::exif_set_pixel_size(block, w, h);
    if (written < 0 || written > 2 || block.size() != before.size()) __builtin_trap();
    std::size_t changed = 0;
    for (std::size_t i = 0; i < block.size(); ++i) changed += block[i] != before[i];
    if (changed > 8 || (written == 0 && changed != 0)) __builtin_trap();
    std::vector<std::uint8_t> again = block;
    if (tv::img::exif_set_pixel_size(again, w, h) != written || again != block) __builtin_trap();
    return 0;
}

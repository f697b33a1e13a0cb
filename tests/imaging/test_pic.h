// A bare picture for the writer and quantiser tests: rows of pixels laid out
// as the engine lays them out (row_pitch bytes a row), without an engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/image.h"

namespace tvtest {

struct Pic {
    int w = 0, h = 0, depth = 0, pitch = 0;
    std::vector<std::uint8_t> px;
    std::uint8_t* at(int x, int y) { return px.data() + static_cast<std::size_t>(y) * pitch + x * (depth / 8); }
    const std::uint8_t* at(int x, int y) const {
        return px.data() + static_cast<std::size_t>(y) * pitch + x * (depth / 8);
    }
};

// A w x h picture of the given depth with every byte, padding included, set
// to fill.
inline Pic blank_pic(int w, int h, int depth, std::uint8_t fill) {
    Pic p;
    p.w = w;
    p.h = h;
    p.depth = depth;
    p.pitch = tv::img::row_pitch(w, depth);
    p.px.assign(static_cast<std::size_t>(p.pitch) * h, fill);
    return p;
}

}  // namespace tvtest

// Shared by the imaging benchmarks: the picture sizes they measure at and a
// synthetic picture that behaves like a photograph.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/image.h"

namespace tvbench {

constexpr int W4 = 2448, H4 = 1632;   // 4 megapixels
constexpr int W12 = 4000, H12 = 3000;  // 12 megapixels

// Something like a photograph: soft gradients, a few hard edges, grain.
// Laid out as the engine lays pixels out (B, G, R[, A], row_pitch a row).
inline std::vector<std::uint8_t> make_picture(int w, int h, int bpp) {
    const int pitch = tv::img::row_pitch(w, bpp * 8);
    std::vector<std::uint8_t> px(static_cast<std::size_t>(pitch) * h);
    std::uint32_t s = 12345;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = px.data() + static_cast<std::size_t>(y) * pitch;
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            int grain = static_cast<int>((s >> 24) % 13) - 6;
            double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
            int base = ((x / 97 + y / 89) % 5 == 0) ? 60 : 0;
            int b = static_cast<int>(120 + 90 * std::sin(6.0 * fx + 2.0 * fy)) + base + grain;
            int g = static_cast<int>(110 + 80 * std::cos(4.0 * fy - 3.0 * fx)) - base / 2 + grain;
            int r = static_cast<int>(130 + 70 * std::sin(9.0 * fx * fy + 1.0)) + grain;
            row[x * bpp] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
            row[x * bpp + 1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
            row[x * bpp + 2] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
            if (bpp == 4) row[x * bpp + 3] = static_cast<std::uint8_t>(std::clamp(200 + grain * 8, 0, 255));
        }
    }
    return px;
}

}  // namespace tvbench

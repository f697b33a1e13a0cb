// Hostile files built in code: valid pictures of each kind, cut, forged or
// corrupted copies of them, and a watchdog that turns a hang into a failure.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/image_test_util.h"

namespace robust {

using tvtest::Bytes;

// Aborts the test program when the guarded scope lasts longer than the
// limit, so a decoder or batch that loops for ever fails instead of hanging.
class Watchdog {
public:
    Watchdog(const char* what, int seconds) : what_(what) {
        thread_ = std::thread([this, seconds] {
            std::unique_lock<std::mutex> l(m_);
            if (!cv_.wait_for(l, std::chrono::seconds(seconds), [this] { return done_; })) {
                std::fprintf(stderr, "HANG: %s did not finish in %d s\n", what_, seconds);
                std::abort();
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> l(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    const char* what_;
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

// 24-bit BMP of w x h with a gradient; rows bottom-up as BMP stores them.
inline Bytes bmp24(int w, int h) {
    tvtest::BmpSpec s;
    s.width = w;
    s.height = h;
    s.bits = 24;
    const int pitch = (w * 3 + 3) / 4 * 4;
    s.data.assign(static_cast<std::size_t>(pitch) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) s.data[static_cast<std::size_t>(y) * pitch + x * 3 + c] = tvtest::grad(x, y, c);
    return tvtest::build_bmp(s);
}

// 8-bit palette BMP of w x h using colours 0..colours-1.
inline Bytes bmp8(int w, int h, int colours) {
    tvtest::BmpSpec s;
    s.width = w;
    s.height = h;
    s.bits = 8;
    for (int i = 0; i < colours; ++i) s.palette.push_back(static_cast<std::uint32_t>(i * 0x010203));
    s.colorsUsed = static_cast<std::uint32_t>(colours);
    const int pitch = (w + 3) / 4 * 4;
    s.data.assign(static_cast<std::size_t>(pitch) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s.data[static_cast<std::size_t>(y) * pitch + x] = static_cast<std::uint8_t>((x + y) % colours);
    return tvtest::build_bmp(s);
}

inline Bytes jpeg(int w, int h) {
    tvtest::TempDir d;
    tvtest::JpegSpec s;
    s.width = w;
    s.height = h;
    s.quality = 90;
    s.samples.resize(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                s.samples[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
                    static_cast<std::uint8_t>(tvtest::grad(x, y, c) ^ ((x * y) & 0x1F));
    std::string path = d.file("g.jpg");
    if (!tvtest::write_jpeg(path, s)) return {};
    return tvtest::read_file(path);
}

inline Bytes png(int w, int h, bool interlace = false) {
    tvtest::TempDir d;
    tvtest::PngSpec s;
    s.width = w;
    s.height = h;
    s.interlace = interlace;
    for (int y = 0; y < h; ++y) {
        Bytes row;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) row.push_back(tvtest::grad(x, y, c));
        s.rows.push_back(row);
    }
    std::string path = d.file("g.png");
    if (!tvtest::write_png(path, s)) return {};
    return tvtest::read_file(path);
}

// ---- PNG chunks ---------------------------------------------------------

inline std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}
inline void putBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = std::uint8_t(v >> 24);
    b[at + 1] = std::uint8_t(v >> 16);
    b[at + 2] = std::uint8_t(v >> 8);
    b[at + 3] = std::uint8_t(v);
}

// Offset of the first chunk of that type (its length field), or 0.
inline std::size_t findChunk(const Bytes& b, const char* type) {
    for (std::size_t at = 8; at + 12 <= b.size();) {
        std::uint32_t len = be32(b, at);
        if (std::string(reinterpret_cast<const char*>(&b[at + 4]), 4) == type) return at;
        at += 12 + len;
    }
    return 0;
}

// Recomputes the CRC of the chunk at 'at' after its data was changed.
inline void fixCrc(Bytes& b, std::size_t at) {
    std::uint32_t len = be32(b, at);
    uLong crc = crc32(0L, &b[at + 4], 4 + len);
    putBe32(b, at + 8 + len, static_cast<std::uint32_t>(crc));
}

// A chunk inserted before the chunk at 'at', with a correct CRC.
inline void insertChunk(Bytes& b, std::size_t at, const char* type, const std::string& data) {
    Bytes c(12 + data.size());
    putBe32(c, 0, static_cast<std::uint32_t>(data.size()));
    std::copy(type, type + 4, c.begin() + 4);
    std::copy(data.begin(), data.end(), c.begin() + 8);
    uLong crc = crc32(0L, &c[4], static_cast<uInt>(4 + data.size()));
    putBe32(c, 8 + data.size(), static_cast<std::uint32_t>(crc));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), c.begin(), c.end());
}

// ---- JPEG markers ---------------------------------------------------------

// Offset of the first SOFn marker's segment (at the FF), or 0.
inline std::size_t findSof(const Bytes& b) {
    for (std::size_t at = 2; at + 4 <= b.size();) {
        if (b[at] != 0xFF) return 0;
        std::uint8_t m = b[at + 1];
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) return at;
        at += 2 + ((std::size_t(b[at + 2]) << 8) | b[at + 3]);
    }
    return 0;
}

// Sets the height and width of a JPEG's frame header.
inline void setJpegSize(Bytes& b, int w, int h) {
    std::size_t sof = findSof(b);
    if (!sof) return;
    b[sof + 5] = std::uint8_t(h >> 8);
    b[sof + 6] = std::uint8_t(h);
    b[sof + 7] = std::uint8_t(w >> 8);
    b[sof + 8] = std::uint8_t(w);
}

// Sets width and height of a BMP's info header (signed 32-bit fields).
inline void setBmpSize(Bytes& b, std::int32_t w, std::int32_t h) {
    for (int i = 0; i < 4; ++i) {
        b[18 + i] = std::uint8_t(static_cast<std::uint32_t>(w) >> (8 * i));
        b[22 + i] = std::uint8_t(static_cast<std::uint32_t>(h) >> (8 * i));
    }
}

inline void setPngSize(Bytes& b, std::uint32_t w, std::uint32_t h) {
    std::size_t ihdr = findChunk(b, "IHDR");
    putBe32(b, ihdr + 8, w);
    putBe32(b, ihdr + 12, h);
    fixCrc(b, ihdr);
}

}  // namespace robust

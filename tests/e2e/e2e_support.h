// Helpers for the whole-program tests: temporary folders, generated photos
// and small file utilities. Photos are written with libjpeg directly so the
// tests do not depend on the engine they exercise.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace e2e {

// A fresh folder under /tmp, removed with its contents on destruction.
// path() ends with '/'.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/tv_e2e_XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (made) path_ = std::string(made) + "/";
    }
    ~TempDir() {
        if (!path_.empty()) {
            std::string cmd = "rm -rf '" + path_ + "'";
            int rc = std::system(cmd.c_str());
            (void)rc;
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string sub(const std::string& name) const {
        std::string s = path_ + name + "/";
        mkdir(s.c_str(), 0755);
        return s;
    }

private:
    std::string path_;
};

// A w x h baseline JPEG with a gradient that depends on seed.
inline bool writeJpeg(const std::string& path, int w, int h, int seed) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> rowBuf(static_cast<std::size_t>(w) * 3);
    while (c.next_scanline < c.image_height) {
        int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            rowBuf[x * 3 + 0] = static_cast<unsigned char>((x * 255 / (w > 1 ? w - 1 : 1) + seed * 37) & 0xFF);
            rowBuf[x * 3 + 1] = static_cast<unsigned char>((y * 255 / (h > 1 ? h - 1 : 1) + seed * 11) & 0xFF);
            rowBuf[x * 3 + 2] = static_cast<unsigned char>((seed * 53) & 0xFF);
        }
        JSAMPROW rp = rowBuf.data();
        jpeg_write_scanlines(&c, &rp, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return true;
}

// Width and height of a JPEG file, read by libjpeg; false when unreadable.
inline bool jpegSize(const std::string& path, int& w, int& h) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char sig[3] = {0, 0, 0};
    if (std::fread(sig, 1, 3, f) != 3 || sig[0] != 0xFF || sig[1] != 0xD8 || sig[2] != 0xFF) {
        std::fclose(f);
        return false;
    }
    std::rewind(f);
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    bool ok = jpeg_read_header(&d, TRUE) == JPEG_HEADER_OK;
    if (ok) {
        w = static_cast<int>(d.image_width);
        h = static_cast<int>(d.image_height);
    }
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    return ok;
}

inline bool setModificationTime(const std::string& path, long seconds) {
    struct timeval tv[2];
    tv[0].tv_sec = seconds;
    tv[0].tv_usec = 0;
    tv[1].tv_sec = seconds;
    tv[1].tv_usec = 0;
    return utimes(path.c_str(), tv) == 0;
}

inline long modificationTime(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<long>(st.st_mtime);
}

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline std::string readBytes(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
}

inline std::vector<unsigned char> dataTvl(const std::string& workDir) {
    std::string s = readBytes(workDir + "data.tvl");
    return std::vector<unsigned char>(s.begin(), s.end());
}

// Names of the entries of a folder, without "." and "..", sorted.
inline std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace e2e

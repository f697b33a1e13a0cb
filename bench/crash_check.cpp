// Checks a folder that a batch was writing over itself when it was killed:
// every photo of ORIGINALS must still be in FOLDER under its own name,
// either byte for byte as it was or replaced by a complete JPEG of the
// scaled size (decoded to its last row by libjpeg, without a single
// warning). Besides them, FOLDER may hold only the batch's own temporary
// files, which the next batch there removes.
//
//   crash_check ORIGINALS FOLDER [--ratio R]
//
// Prints one line per photo that is not as it should be and a summary;
// exits 1 when any photo was lost, cut short or is no picture at all.

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "batch/placement.h"
#include "support/files.h"

namespace {

struct Strict {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void fail(j_common_ptr c) { longjmp(reinterpret_cast<Strict*>(c->err)->jump, 1); }
void quiet(j_common_ptr) {}

// Decodes every row; false on any error or warning (a file cut short only
// warns and fills the rest with grey).
bool decodes(const std::string& bytes, int& w, int& h) {
    jpeg_decompress_struct d;
    Strict err;
    d.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = fail;
    err.mgr.output_message = quiet;
    jpeg_create_decompress(&d);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    std::vector<unsigned char> row(static_cast<std::size_t>(d.output_width) * d.output_components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    bool clean = d.err->num_warnings == 0;
    w = static_cast<int>(d.image_width);
    h = static_cast<int>(d.image_height);
    jpeg_destroy_decompress(&d);
    return clean;
}

int scaled(double ratio, int size) { return static_cast<int>(std::llrint(static_cast<double>(static_cast<float>(ratio)) * size)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 5 && std::strcmp(argv[3], "--ratio") == 0)) {
        std::fprintf(stderr, "usage: crash_check ORIGINALS FOLDER [--ratio R]\n");
        return 2;
    }
    std::string originals = std::string(argv[1]) + "/", folder = std::string(argv[2]) + "/";
    double ratio = argc == 5 ? std::strtod(argv[4], nullptr) : 0.5;
    int intact = 0, replaced = 0, bad = 0, leftovers = 0;
    for (const std::string& n : tvtest::listNames(originals)) {
        const std::string before = tvtest::readBytes(originals + n);
        if (!tvtest::exists(folder + n)) {
            std::printf("LOST %s\n", n.c_str());
            ++bad;
            continue;
        }
        const std::string now = tvtest::readBytes(folder + n);
        if (now == before) {
            ++intact;
            continue;
        }
        int w0 = 0, h0 = 0, w = 0, h = 0;
        if (decodes(before, w0, h0) && decodes(now, w, h) && w == scaled(ratio, w0) && h == scaled(ratio, h0)) {
            ++replaced;
        } else {
            std::printf("BROKEN %s\n", n.c_str());
            ++bad;
        }
    }
    for (const std::string& n : tvtest::listNames(folder)) {
        if (tvtest::exists(originals + n)) continue;
        if (tv::isTemporaryName(n)) {
            ++leftovers;
        } else {
            std::printf("STRAY %s\n", n.c_str());
            ++bad;
        }
    }
    std::printf("intact %d replaced %d bad %d leftovers %d\n", intact, replaced, bad, leftovers);
    return bad == 0 ? 0 : 1;
}

// Multi-scan JPEGs through the compact coefficient store: the same pixels
// as libjpeg's own store, for whole, cut and damaged files, and the exact
// coefficients under any window of access.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <random>

#include <jerror.h>
#include <jpeglib.h>

#include "image_test_util.h"
#include "imaging/image.h"
#include "imaging/jpeg_coef_store.h"
#include "scalar_kernels.h"

using namespace tv::img;
using namespace tvtest;

namespace {

// ------------------------------------------------------------ writing

enum class Scans { Progressive, DcThenLumaOnly, SequentialPerComponent };

struct Shape {
    int width = 64;
    int height = 64;
    int components = 3;  // 1 grey, 3 YCbCr, 4 CMYK
    int hSamp = 2, vSamp = 2;
    int quality = 90;
    int noise = 40;  // amplitude of the random part of every sample
    unsigned restartInterval = 0;
    int restartRows = 0;
    bool arithmetic = false;
    Scans scans = Scans::Progressive;
    unsigned seed = 1;
};

struct WriteErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void write_failed(j_common_ptr c) { std::longjmp(reinterpret_cast<WriteErrors*>(c->err)->jump, 1); }

// Scan scripts libjpeg has no helper for.
void set_scans(jpeg_compress_struct& c, Scans kind, jpeg_scan_info* script) {
    if (kind == Scans::Progressive) {
        jpeg_simple_progression(&c);
        return;
    }
    int n = 0;
    if (kind == Scans::DcThenLumaOnly) {
        // Chroma never gets its AC coefficients: the output pass smooths
        // the blocks even though the file is whole.
        script[n] = jpeg_scan_info{c.num_components, {0, 1, 2, 3}, 0, 0, 0, 0};
        ++n;
        script[n] = jpeg_scan_info{1, {0}, 1, 63, 0, 0};
        ++n;
    } else {
        for (int ci = 0; ci < c.num_components; ++ci, ++n) script[n] = jpeg_scan_info{1, {ci}, 0, 63, 0, 0};
    }
    c.scan_info = script;
    c.num_scans = n;
}

Bytes make_jpeg(const Shape& s) {
    std::mt19937 rng(s.seed);
    Bytes samples(static_cast<std::size_t>(s.width) * s.height * s.components);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            for (int c = 0; c < s.components; ++c) {
                const int base = (c == 0 ? x * 5 : c == 1 ? y * 3 : (x ^ y) * 2) + ((x / 16 + y / 16) % 2) * 60;
                const int v = base + (s.noise ? static_cast<int>(rng() % static_cast<unsigned>(2 * s.noise + 1)) - s.noise : 0);
                samples[(static_cast<std::size_t>(y) * s.width + x) * s.components + c] =
                    static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }

    jpeg_compress_struct c;
    WriteErrors err;
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = write_failed;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_scan_info script[8];
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        std::free(out);
        ADD_FAILURE() << "libjpeg refused to write the test file";
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = static_cast<JDIMENSION>(s.width);
    c.image_height = static_cast<JDIMENSION>(s.height);
    c.input_components = s.components;
    c.in_color_space = s.components == 1 ? JCS_GRAYSCALE : s.components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, s.quality, TRUE);
    if (s.components == 3) {
        c.comp_info[0].h_samp_factor = s.hSamp;
        c.comp_info[0].v_samp_factor = s.vSamp;
    }
    c.restart_interval = s.restartInterval;
    c.restart_in_rows = s.restartRows;
    c.arith_code = s.arithmetic ? TRUE : FALSE;
    set_scans(c, s.scans, script);
    jpeg_start_compress(&c, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(s.width) * s.components;
    for (int y = 0; y < s.height; ++y) {
        JSAMPROW row = samples.data() + rowBytes * static_cast<std::size_t>(y);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes file(out, out + outSize);
    std::free(out);
    return file;
}

// ------------------------------------------------------------ comparing

struct Picture {
    bool ok = false;
    int width = 0, height = 0, depth = 0;
    Bytes pixels;
};

Picture load(const std::string& path, bool compact) {
    Engine e;
    registerCodecs(e);
    e.compactJpegCoefficients = compact;
    Picture p;
    const Image* im = image_get(e, image_load(e, path));
    if (!im) return p;
    p.ok = true;
    p.width = im->width;
    p.height = im->height;
    p.depth = im->depth;
    p.pixels.assign(im->pixels, im->pixels + im->size);
    return p;
}

// Loads the file both ways; true when the results are the same.
bool same_both_ways(const std::string& path, const std::string& what, bool mustLoad = true) {
    const Picture a = load(path, true);
    const Picture b = load(path, false);
    EXPECT_EQ(a.ok, b.ok) << what;
    if (mustLoad) {
        EXPECT_TRUE(b.ok) << what;
    }
    EXPECT_EQ(a.width, b.width) << what;
    EXPECT_EQ(a.height, b.height) << what;
    EXPECT_EQ(a.depth, b.depth) << what;
    const bool same = a.ok == b.ok && a.pixels == b.pixels;
    EXPECT_TRUE(same) << what << ": pixels differ";
    return same;
}

std::vector<std::size_t> scan_starts(const Bytes& f) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i + 1 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xDA) at.push_back(i);
    return at;
}

std::string describe(const Shape& s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height) + " comps " + std::to_string(s.components) +
           " samp " + std::to_string(s.hSamp) + "x" + std::to_string(s.vSamp) + " q" + std::to_string(s.quality) +
           " scans " + std::to_string(static_cast<int>(s.scans)) + " restart " + std::to_string(s.restartInterval) +
           "/" + std::to_string(s.restartRows) + (s.arithmetic ? " arithmetic" : "");
}

void expect_same_for(const TempDir& d, const Shape& s) {
    const Bytes f = make_jpeg(s);
    ASSERT_FALSE(f.empty());
    write_file(d.file("t.jpg"), f);
    same_both_ways(d.file("t.jpg"), describe(s));
}

}  // namespace

TEST(JpegCoefStore, ProgressiveSizesAndSamplingsDecodeAlike) {
    TempDir d;
    const int sizes[][2] = {{1, 1}, {7, 5}, {8, 8}, {17, 33}, {64, 64}, {100, 37}, {257, 130}, {31, 300}};
    const int samplings[][2] = {{1, 1}, {2, 1}, {2, 2}, {1, 2}};
    for (const auto& sz : sizes)
        for (const auto& sp : samplings) {
            Shape s;
            s.width = sz[0];
            s.height = sz[1];
            s.hSamp = sp[0];
            s.vSamp = sp[1];
            s.seed = static_cast<unsigned>(sz[0] * 131 + sz[1] + sp[0] * 7 + sp[1]);
            expect_same_for(d, s);
        }
}

TEST(JpegCoefStore, GreyCmykQualitiesAndRestartsDecodeAlike) {
    TempDir d;
    for (int comps : {1, 3, 4})
        for (int quality : {10, 75, 100})
            for (int noise : {0, 120}) {
                Shape s;
                s.width = 77;
                s.height = 61;
                s.components = comps;
                s.quality = quality;
                s.noise = noise;
                s.seed = static_cast<unsigned>(comps * 1000 + quality + noise);
                expect_same_for(d, s);
            }
    for (unsigned interval : {1u, 3u, 17u}) {
        Shape s;
        s.width = 90;
        s.height = 70;
        s.restartInterval = interval;
        expect_same_for(d, s);
    }
    Shape rows;
    rows.width = 90;
    rows.height = 70;
    rows.restartRows = 1;
    rows.hSamp = rows.vSamp = 1;
    expect_same_for(d, rows);
}

TEST(JpegCoefStore, OtherMultiScanFilesDecodeAlike) {
    TempDir d;
    // Few iMCU rows: the smoothing's window reaches the picture's edges.
    for (Scans kind : {Scans::DcThenLumaOnly, Scans::SequentialPerComponent})
        for (int samp : {1, 2})
            for (int height : {8, 17, 33, 45, 48, 64}) {
                Shape s;
                s.width = 123;
                s.height = height;
                s.hSamp = s.vSamp = samp;
                s.scans = kind;
                expect_same_for(d, s);
            }
    Shape arith;
    arith.width = 99;
    arith.height = 50;
    arith.arithmetic = true;
    expect_same_for(d, arith);
}

TEST(JpegCoefStore, CutFilesDecodeAlike) {
    TempDir d;
    Shape shapes[4];
    shapes[0].width = 96;
    shapes[0].height = 80;
    shapes[1].width = 50;
    shapes[1].height = 41;
    shapes[1].hSamp = shapes[1].vSamp = 1;
    shapes[1].restartInterval = 4;
    shapes[2].width = 70;
    shapes[2].height = 33;
    shapes[2].components = 1;
    shapes[3].width = 40;
    shapes[3].height = 48;
    for (const Shape& s : shapes) {
        const Bytes whole = make_jpeg(s);
        ASSERT_FALSE(whole.empty());
        // Every so many bytes, and just inside every scan: a file cut early
        // in the picture is smoothed by the output pass.
        std::vector<std::size_t> cuts;
        for (std::size_t n = 0; n < whole.size(); n += whole.size() / 60 + 1) cuts.push_back(n);
        for (std::size_t at : scan_starts(whole))
            for (std::size_t extra : {std::size_t{20}, std::size_t{60}, std::size_t{200}})
                if (at + extra < whole.size()) cuts.push_back(at + extra);
        for (std::size_t n : cuts) {
            write_file(d.file("cut.jpg"), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
            if (!same_both_ways(d.file("cut.jpg"), describe(s) + " cut at " + std::to_string(n), false)) break;
        }
    }
}

TEST(JpegCoefStore, DamagedFilesDecodeAlike) {
    TempDir d;
    Shape s;
    s.width = 80;
    s.height = 72;
    const Bytes whole = make_jpeg(s);
    ASSERT_FALSE(whole.empty());
    const std::size_t firstScan = scan_starts(whole).front();
    std::mt19937 rng(7);
    for (int round = 0; round < 150; ++round) {
        Bytes f = whole;
        // Past the frame header, so the damage reaches the scans (a wrong
        // progression or table makes the library give up mid-decode).
        const int flips = 1 + round % 4;
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = firstScan + rng() % (f.size() - firstScan);
            f[at] = static_cast<std::uint8_t>(rng());
        }
        write_file(d.file("bad.jpg"), f);
        if (!same_both_ways(d.file("bad.jpg"), "damage round " + std::to_string(round), false)) break;
    }
}

namespace {

// The same coefficients rewritten as a progressive file (empty on failure).
Bytes make_progressive(const Bytes& src, bool arithmetic) {
    jpeg_decompress_struct in;
    jpeg_compress_struct out;
    WriteErrors err;
    in.err = jpeg_std_error(&err.mgr);
    out.err = in.err;
    err.mgr.error_exit = write_failed;
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_create_decompress(&in);
    jpeg_create_compress(&out);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&out);
        jpeg_destroy_decompress(&in);
        std::free(buf);
        return {};
    }
    jpeg_mem_src(&in, src.data(), static_cast<unsigned long>(src.size()));
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* coefs = jpeg_read_coefficients(&in);
    jpeg_mem_dest(&out, &buf, &size);
    jpeg_copy_critical_parameters(&in, &out);
    jpeg_simple_progression(&out);
    out.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_write_coefficients(&out, coefs);
    jpeg_finish_compress(&out);
    jpeg_finish_decompress(&in);
    jpeg_destroy_compress(&out);
    jpeg_destroy_decompress(&in);
    Bytes prog(buf, buf + size);
    std::free(buf);
    return prog;
}

}  // namespace

// Real photographs, made progressive without loss.
TEST(JpegCoefStore, SamplePhotosMadeProgressiveDecodeAlike) {
    const std::filesystem::path dir = std::filesystem::path(TARVOLIN_TESTDATA) / "jpeg" / "libjpeg-turbo";
    if (!std::filesystem::exists(dir / "testorig.jpg")) GTEST_SKIP() << "sample JPEGs not present in " << dir;
    TempDir d;
    for (const char* name : {"testorig.jpg", "testimgint.jpg", "testimgari.jpg"}) {
        const Bytes src = read_file((dir / name).string());
        ASSERT_FALSE(src.empty()) << name;
        for (bool arithmetic : {false, true}) {
            const std::string what = std::string(name) + (arithmetic ? " arithmetic" : "");
            const Bytes prog = make_progressive(src, arithmetic);
            ASSERT_FALSE(prog.empty()) << what << ": libjpeg could not transcode it";
            write_file(d.file("p.jpg"), prog);
            same_both_ways(d.file("p.jpg"), what);
            const std::size_t lastScan = scan_starts(prog).back();
            write_file(d.file("pc.jpg"), Bytes(prog.begin(), prog.begin() + static_cast<std::ptrdiff_t>(lastScan / 2)));
            same_both_ways(d.file("pc.jpg"), what + " cut", false);
        }
    }
}

// ------------------------------------------------------------ the store itself

namespace {

// Coefficients of every component, block after block, row after row.
using Planes = std::vector<std::vector<JCOEF>>;

struct StoreDecoder {
    tv::img::detail::CoefStore store{};  // first: found through client_data
    jpeg_decompress_struct cinfo;
    WriteErrors err;
};

// A progressive file holding exactly the given coefficients (sizes in
// blocks; 4:4:4 so every component has them all).
Bytes file_of(const Planes& planes, int wBlocks, int hBlocks) {
    jpeg_compress_struct c;
    WriteErrors err;
    c.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = write_failed;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&c);
        std::free(out);
        ADD_FAILURE() << "libjpeg refused the coefficients";
        return {};
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(wBlocks * 8);
    c.image_height = static_cast<JDIMENSION>(hBlocks * 8);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);  // every quantizer 1
    for (int ci = 0; ci < 3; ++ci) c.comp_info[ci].h_samp_factor = c.comp_info[ci].v_samp_factor = 1;
    jpeg_simple_progression(&c);
    jvirt_barray_ptr arrays[3];
    for (int ci = 0; ci < 3; ++ci)
        arrays[ci] = c.mem->request_virt_barray(reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE, FALSE,
                                                static_cast<JDIMENSION>(wBlocks), static_cast<JDIMENSION>(hBlocks), 1);
    c.mem->realize_virt_arrays(reinterpret_cast<j_common_ptr>(&c));
    for (int ci = 0; ci < 3; ++ci)
        for (int r = 0; r < hBlocks; ++r) {
            JBLOCKARRAY row = c.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&c), arrays[ci],
                                                        static_cast<JDIMENSION>(r), 1, TRUE);
            std::memcpy(row[0], &planes[static_cast<std::size_t>(ci)][static_cast<std::size_t>(r) * wBlocks * 64],
                        static_cast<std::size_t>(wBlocks) * sizeof(JBLOCK));
        }
    jpeg_write_coefficients(&c, arrays);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes f(out, out + size);
    std::free(out);
    return f;
}

JCOEF random_coef(std::mt19937& rng, int k) {
    const unsigned kind = rng() % 16;
    if (kind < 12) return 0;
    const int range = k == 0 ? 1000 : kind < 13 ? 8 : kind < 15 ? 127 : 1023;
    return static_cast<JCOEF>(static_cast<int>(rng() % static_cast<unsigned>(2 * range + 1)) - range);
}

// Reads f through the store, then reads and writes it in random windows,
// checked against planes. A libjpeg error jumps out to the caller.
void exercise_store(StoreDecoder& d, Planes& planes, const Bytes& f, int wBlocks, int hBlocks, std::mt19937& rng) {
    d.cinfo.client_data = &d.store;
    jpeg_mem_src(&d.cinfo, f.data(), static_cast<unsigned long>(f.size()));
    jpeg_read_header(&d.cinfo, TRUE);
    ASSERT_TRUE(tv::img::detail::coef_store_install(d.store, &d.cinfo));
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d.cinfo);
    j_common_ptr common = reinterpret_cast<j_common_ptr>(&d.cinfo);
    ASSERT_NE(d.store.arrays, nullptr);

    auto expect_all = [&](const char* when) {
        for (int ci = 0; ci < 3; ++ci)
            for (int r = 0; r < hBlocks; ++r) {
                JBLOCKARRAY row = d.cinfo.mem->access_virt_barray(common, arrays[ci], static_cast<JDIMENSION>(r), 1, FALSE);
                ASSERT_EQ(std::memcmp(row[0], &planes[static_cast<std::size_t>(ci)][static_cast<std::size_t>(r) * wBlocks * 64],
                                      static_cast<std::size_t>(wBlocks) * sizeof(JBLOCK)),
                          0)
                    << when << ": component " << ci << " row " << r;
            }
    };
    expect_all("as read");

    // Random windows, some written, checked against the planes.
    for (int step = 0; step < 2000; ++step) {
        const int ci = static_cast<int>(rng() % 3);
        const JDIMENSION n = 1 + rng() % 3;
        const JDIMENSION start = rng() % (static_cast<JDIMENSION>(hBlocks) - n + 1);
        const bool writable = rng() % 2 != 0;
        JBLOCKARRAY rows = d.cinfo.mem->access_virt_barray(common, arrays[ci], start, n, writable ? TRUE : FALSE);
        std::vector<JCOEF>& plane = planes[static_cast<std::size_t>(ci)];
        for (JDIMENSION i = 0; i < n; ++i) {
            JCOEF* want = &plane[static_cast<std::size_t>(start + i) * wBlocks * 64];
            ASSERT_EQ(std::memcmp(rows[i], want, static_cast<std::size_t>(wBlocks) * sizeof(JBLOCK)), 0)
                << "step " << step << " component " << ci << " row " << start + i;
            if (!writable) continue;
            for (int k = 0; k < 6; ++k) {
                const std::size_t at = rng() % (static_cast<std::size_t>(wBlocks) * 64);
                const JCOEF v = k == 0 ? JCOEF{-32768} : k == 1 ? JCOEF{32767} : random_coef(rng, static_cast<int>(at % 64));
                rows[i][at / 64][at % 64] = v;
                want[at] = v;
            }
        }
    }
    expect_all("after random access");

    // Far smaller than the library's 128 bytes a block, mostly-zero as
    // these blocks are.
    EXPECT_LT(d.store.peakBytes, static_cast<std::size_t>(3) * wBlocks * hBlocks * sizeof(JBLOCK));
    jpeg_finish_decompress(&d.cinfo);
    EXPECT_EQ(d.store.arrays, nullptr);
    EXPECT_EQ(d.store.bytes, 0u);
}

}  // namespace

TEST(JpegCoefStore, KeepsEveryCoefficientUnderAnyAccess) {
    const int wBlocks = 37, hBlocks = 23;
    std::mt19937 rng(3);
    Planes planes(3, std::vector<JCOEF>(static_cast<std::size_t>(wBlocks) * hBlocks * 64));
    for (auto& p : planes)
        for (std::size_t i = 0; i < p.size(); ++i) p[i] = random_coef(rng, static_cast<int>(i % 64));
    // Some rows all zero, some blocks all at the extremes.
    for (auto& p : planes) {
        std::fill(p.begin() + 5 * wBlocks * 64, p.begin() + 6 * wBlocks * 64, JCOEF{0});
        for (int k = 0; k < 64; ++k) p[static_cast<std::size_t>(7 * 64 + k)] = static_cast<JCOEF>(k % 2 ? -1023 : 1023);
    }
    const Bytes f = file_of(planes, wBlocks, hBlocks);
    ASSERT_FALSE(f.empty());

    auto* d = new StoreDecoder;
    d->cinfo.err = jpeg_std_error(&d->err.mgr);
    d->err.mgr.error_exit = write_failed;
    jpeg_create_decompress(&d->cinfo);
    if (setjmp(d->err.jump)) {
        ADD_FAILURE() << "libjpeg failed on the store";
    } else {
        exercise_store(*d, planes, f, wBlocks, hBlocks, rng);
    }
    jpeg_destroy_decompress(&d->cinfo);
    delete d;
}

namespace {
int trims = 0;
void count_trim() { ++trims; }
}  // namespace

TEST(JpegCoefStore, ALargeStoreHandsTheHeapBackThroughTheEngine) {
    TempDir d;
    Shape big;
    big.width = big.height = 1536;
    big.noise = 120;
    big.hSamp = big.vSamp = 1;
    write_file(d.file("big.jpg"), make_jpeg(big));
    write_file(d.file("small.jpg"), make_jpeg(Shape{}));
    for (const char* name : {"big.jpg", "small.jpg"}) {
        Engine e;
        registerCodecs(e);
        e.machine.trimHeap = count_trim;
        trims = 0;
        EXPECT_NE(image_load(e, d.file(name)), NoImage) << name;
        // Only a store that held a megabyte or more is worth the trim.
        EXPECT_EQ(trims, std::string(name) == "big.jpg" ? 1 : 0) << name;
    }
    Engine bare;  // no hook: nothing to call
    registerCodecs(bare);
    EXPECT_NE(image_load(bare, d.file("big.jpg")), NoImage);
}

namespace {
// Reads f through a store as KeepsEveryCoefficientUnderAnyAccess does;
// the store's peak.
std::size_t store_peak(Planes& planes, const Bytes& f, int wBlocks, int hBlocks) {
    std::mt19937 rng(5);
    auto* d = new StoreDecoder;
    d->cinfo.err = jpeg_std_error(&d->err.mgr);
    d->err.mgr.error_exit = write_failed;
    jpeg_create_decompress(&d->cinfo);
    if (setjmp(d->err.jump)) {
        ADD_FAILURE() << "libjpeg failed on the store";
    } else {
        exercise_store(*d, planes, f, wBlocks, hBlocks, rng);
    }
    const std::size_t peak = d->store.peakBytes;
    jpeg_destroy_decompress(&d->cinfo);
    delete d;
    return peak;
}
}  // namespace

TEST(JpegCoefStore, VectorAndPlainSurveysPackAlike) {
    if (!tv::img::detail::processor_has_avx2()) GTEST_SKIP() << "no AVX2 on this processor: only the plain loops run";
    // 67 blocks a row: a whole survey of 64 and a short one.
    const int wBlocks = 67, hBlocks = 9;
    std::mt19937 rng(8);
    Planes planes(3, std::vector<JCOEF>(static_cast<std::size_t>(wBlocks) * hBlocks * 64));
    for (auto& p : planes)
        for (std::size_t i = 0; i < p.size(); ++i) p[i] = random_coef(rng, static_cast<int>(i % 64));
    for (int k = 0; k < 64; ++k) planes[0][static_cast<std::size_t>(3 * 64 + k)] = static_cast<JCOEF>(k % 2 ? -1023 : 1023);
    const Bytes f = file_of(planes, wBlocks, hBlocks);
    ASSERT_FALSE(f.empty());
    std::size_t peak[2] = {};
    for (int scalar = 0; scalar < 2; ++scalar) {
        tvtest::ScalarKernels use(scalar != 0);
        Planes copy = planes;
        // Packed sizes follow the blocks' shapes: equal peaks, equal shapes.
        peak[scalar] = store_peak(copy, f, wBlocks, hBlocks);
    }
    EXPECT_GT(peak[0], 0u);
    EXPECT_EQ(peak[0], peak[1]);
}

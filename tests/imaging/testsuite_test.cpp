// The third-party sample sets: PngSuite against a reference decode, and the
// BMP Suite's good files against their reference renderings.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "image_test_util.h"
#include "imaging/image.h"

using namespace tv::img;
using namespace tvtest;
namespace fs = std::filesystem;

namespace {

const fs::path TestData = TARVOLIN_TESTDATA;

std::vector<fs::path> files_in(const fs::path& dir, const std::string& ext) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file() && entry.path().extension() == ext) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

struct PngHeader {
    int bitDepth = 0, colorType = -1;
    bool trns = false;
};

// IHDR fields and whether a tRNS chunk comes before the image data, read
// straight from the bytes.
PngHeader png_header(const Bytes& f) {
    PngHeader h;
    if (f.size() < 33) return h;
    h.bitDepth = f[24];
    h.colorType = f[25];
    std::size_t i = 8;
    while (i + 8 <= f.size()) {
        const std::size_t len = (static_cast<std::size_t>(f[i]) << 24) | (f[i + 1] << 16) | (f[i + 2] << 8) | f[i + 3];
        const std::string type(f.begin() + static_cast<std::ptrdiff_t>(i + 4), f.begin() + static_cast<std::ptrdiff_t>(i + 8));
        if (type == "IDAT") break;
        if (type == "tRNS") h.trns = true;
        i += 12 + len;
    }
    return h;
}

void expected_depths(const PngHeader& h, int& depth, int& source) {
    switch (h.colorType) {
        case 0: depth = (h.bitDepth < 8 && h.trns) ? 32 : 24; source = h.bitDepth; break;
        case 3: depth = h.trns ? 32 : 24; source = h.bitDepth; break;
        case 4: depth = 32; source = h.bitDepth; break;
        case 2: depth = 24; source = 24; break;
        default: depth = 32; source = 32; break;
    }
}

// Compares a loaded image with a top-down reference; colour channels always,
// alpha when both have it. Returns the number of differing pixels.
int compare(const Image& im, const Decoded& ref, int tolerance) {
    int bad = 0;
    const int channels = (im.depth == 32 && ref.channels == 4) ? 4 : 3;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const std::uint8_t* p = pixel_at(im, x, y);
            const std::uint8_t* r = &ref.pixels[static_cast<std::size_t>((y * ref.width + x) * ref.channels)];
            for (int c = 0; c < channels; ++c)
                if (std::abs(p[c] - r[c]) > tolerance) {
                    ++bad;
                    break;
                }
        }
    return bad;
}

}  // namespace

TEST(PngSuite, EveryAcceptedFileLoadsWithTheTabledDepthAndReferencePixels) {
    const fs::path dir = TestData / "pngsuite";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "PngSuite not found in " << dir;
    int checked = 0;
    for (const fs::path& p : files_in(dir, ".png")) {
        const std::string name = p.filename().string();
        if (name[0] == 'x') continue;
        Decoded ref = reference_png(p.string());
        if (!ref.ok) continue;  // libpng itself refuses it
        SCOPED_TRACE(name);
        Engine e;
        registerCodecs(e);
        const Image* im = image_get(e, image_load(e, p.string()));
        ASSERT_NE(im, nullptr);
        ASSERT_EQ(im->width, ref.width);
        ASSERT_EQ(im->height, ref.height);
        int depth = 0, source = 0;
        expected_depths(png_header(read_file(p.string())), depth, source);
        EXPECT_EQ(im->depth, depth);
        EXPECT_EQ(im->source_depth, source);
        EXPECT_EQ(compare(*im, ref, 0), 0);
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST(PngSuite, DamagedFilesFailCleanlyOrLoad) {
    const fs::path dir = TestData / "pngsuite";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "PngSuite not found in " << dir;
    int seen = 0;
    for (const fs::path& p : files_in(dir, ".png")) {
        if (p.filename().string()[0] != 'x') continue;
        SCOPED_TRACE(p.filename().string());
        Engine e;
        registerCodecs(e);
        ImageHandle h = image_load(e, p.string());
        const bool refOk = reference_png(p.string()).ok;
        if (h != NoImage) {
            const Image* im = image_get(e, h);
            EXPECT_GE(im->width, 1);
            EXPECT_LE(im->width, MaxDimension);
            EXPECT_EQ(im->size, static_cast<std::size_t>(row_pitch(im->width, im->depth)) * im->height);
        } else {
            // Whatever libpng reads whole we read too.
            EXPECT_FALSE(refOk);
        }
        ++seen;
    }
    EXPECT_GT(seen, 10);
}

TEST(BmpSuite, BadAndQuestionableFilesFailCleanlyOrLoad) {
    const fs::path dir = TestData / "bmpsuite";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "BMP Suite not found in " << dir;
    int seen = 0;
    for (const char* sub : {"b", "q", "x"}) {
        for (const fs::path& p : files_in(dir / sub, ".bmp")) {
            SCOPED_TRACE(p.string());
            Engine e;
            registerCodecs(e);
            ImageHandle h = image_load(e, p.string());
            if (h != NoImage) {
                const Image* im = image_get(e, h);
                EXPECT_GE(im->width, 1);
                EXPECT_LE(im->height, MaxDimension);
                EXPECT_EQ(im->size, static_cast<std::size_t>(row_pitch(im->width, im->depth)) * im->height);
                EXPECT_TRUE(im->depth == 16 || im->depth == 24);
            }
            ++seen;
        }
    }
    EXPECT_GT(seen, 40);
}

TEST(BmpSuite, GoodFilesMatchTheirReferenceRenderings) {
    const fs::path dir = TestData / "bmpsuite";
    const fs::path html = dir / "html" / "bmpsuite.html";
    if (!fs::is_regular_file(html)) GTEST_SKIP() << "BMP Suite not found in " << dir;
    // Each row names the file, then its reference picture.
    const Bytes page = read_file(html.string());
    const std::string text(page.begin(), page.end());
    std::map<std::string, std::string> reference;
    const std::regex row(R"(<td>g/([A-Za-z0-9_-]+\.bmp)</td>[^]*?<img src="([A-Za-z0-9_.-]+\.png)\")");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), row); it != std::sregex_iterator(); ++it)
        reference.emplace((*it)[1].str(), (*it)[2].str());
    ASSERT_FALSE(reference.empty());

    int compared = 0;
    for (const fs::path& p : files_in(dir / "g", ".bmp")) {
        const std::string name = p.filename().string();
        SCOPED_TRACE(name);
        Engine e;
        registerCodecs(e);
        ImageHandle h = image_load(e, p.string());
        ASSERT_NE(h, NoImage);
        auto ref_it = reference.find(name);
        if (ref_it == reference.end()) continue;
        Decoded ref = reference_png((dir / "html" / ref_it->second).string());
        ASSERT_TRUE(ref.ok) << ref_it->second;
        const Image* im = image_get(e, h);
        if (im->width != ref.width || im->height != ref.height) {
            // A rendering stretched for a non-square pixel aspect.
            EXPECT_TRUE(name.find("nonsquare") != std::string::npos);
            continue;
        }
        const Image* rgb = im;
        Image* wide = nullptr;
        if (im->depth == 16) {
            wide = detail::convert16_to_24(e, *im);
            ASSERT_NE(wide, nullptr);
            rgb = wide;
        }
        EXPECT_EQ(compare(*rgb, ref, im->depth == 16 ? 1 : 0), 0);
        detail::destroy_image(wide);
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

TEST(JpegSamples, LibraryTestPicturesLoadOrFailCleanly) {
    const fs::path dir = TestData / "jpeg" / "libjpeg-turbo";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "JPEG samples not found in " << dir;
    int loaded = 0;
    for (const fs::path& p : files_in(dir, ".jpg")) {
        SCOPED_TRACE(p.filename().string());
        Engine e;
        registerCodecs(e);
        const Image* im = image_get(e, image_load(e, p.string()));
        if (!im) continue;  // e.g. 12-bit samples this library build cannot read
        EXPECT_EQ(im->depth, 24);
        EXPECT_EQ(im->source_depth, 24);
        EXPECT_EQ(im->size, static_cast<std::size_t>(row_pitch(im->width, 24)) * im->height);
        ++loaded;
    }
    const fs::path orig = dir / "testorig.jpg";
    if (fs::is_regular_file(orig)) {
        Engine e;
        registerCodecs(e);
        ImageHandle h = image_load(e, orig.string());
        ASSERT_NE(h, NoImage);
        EXPECT_EQ(image_width(e, h), 227);
        EXPECT_EQ(image_height(e, h), 149);
    }
    EXPECT_GT(loaded, 0);
}

// Pixel buffers and source bytes on page memory: what is mapped is given
// back with its own length, a reused mapping comes back zero-filled, and
// the pixels are the same as with the heap.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "image_test_util.h"
#include "imaging/image.h"

using namespace tv::img;
using namespace tvtest;

namespace {

// A page source that keeps the books: every live mapping and its length.
struct PageBooks {
    std::map<void*, std::size_t> live;
    int maps = 0;
    int unmaps = 0;
    int badUnmaps = 0;  // unknown pointer or another length
    bool refuse = false;
};
PageBooks books;

void* fakeMap(std::size_t bytes) {
    if (books.refuse) return nullptr;
    void* p = std::calloc(bytes, 1);
    if (!p) return nullptr;
    books.live[p] = bytes;
    ++books.maps;
    return p;
}

void fakeUnmap(void* p, std::size_t bytes) {
    ++books.unmaps;
    auto it = books.live.find(p);
    if (it == books.live.end() || it->second != bytes) {
        ++books.badUnmaps;
        return;
    }
    books.live.erase(it);
    std::free(p);
}

std::size_t liveBytes() {
    std::size_t n = 0;
    for (const auto& [p, bytes] : books.live) n += bytes;
    return n;
}

class PageMemory : public ::testing::Test {
protected:
    void SetUp() override { books = PageBooks{}; }
    void TearDown() override {
        EXPECT_EQ(books.badUnmaps, 0);
        EXPECT_TRUE(books.live.empty()) << books.live.size() << " mapping(s) never given back";
    }
    static void usePages(Engine& e) {
        e.pages.map = fakeMap;
        e.pages.unmap = fakeUnmap;
    }
};

// Loads path on page memory: the file's bytes and the picture are both
// mapped, and the bytes are already given back once the load is over.
ImageHandle loadOnPages(Engine& e, const std::string& path) {
    e.pages.map = fakeMap;
    e.pages.unmap = fakeUnmap;
    registerCodecs(e);
    ImageHandle h = image_load(e, path);
    EXPECT_NE(h, NoImage);
    EXPECT_EQ(books.maps, 2);
    EXPECT_EQ(books.unmaps, 1);
    return h;
}

Image* make(Engine& e, int w, int h, int d = 24) { return detail::create_image(e, w, h, d); }

bool allZero(const Image* im) {
    for (std::size_t i = 0; i < im->size; ++i)
        if (im->pixels[i]) return false;
    return true;
}

// Noise so that the file is well over the size that goes to pages.
void noise(int y, unsigned char* rgb, int w) {
    std::uint32_t s = 2654435761u * static_cast<std::uint32_t>(y + 1);
    for (int i = 0; i < 3 * w; ++i) {
        s = s * 1664525u + 1013904223u;
        rgb[i] = static_cast<unsigned char>(s >> 24);
    }
}

}  // namespace

TEST_F(PageMemory, ReusedMappingIsZeroFilledAndGivenBackOnce) {
    {
        Engine e;
        usePages(e);
        Image* a = make(e, 1000, 1000);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(books.maps, 1);
        EXPECT_EQ(a->capacity, a->size);
        std::memset(a->pixels, 0xAB, a->size);
        detail::destroy_image(a);
        // Kept for the next picture, not given back yet.
        EXPECT_EQ(books.unmaps, 0);
        ASSERT_NE(e.spare.data, nullptr);

        // A smaller picture takes the same pages, cleared.
        Image* b = make(e, 700, 900);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(books.maps, 1);
        EXPECT_EQ(e.spare.data, nullptr);
        EXPECT_TRUE(allZero(b));
        EXPECT_EQ(b->size, static_cast<std::size_t>(row_pitch(700, 24)) * 900);
        std::memset(b->pixels, 0x11, b->size);
        detail::destroy_image(b);

        // A larger one: the spare goes back before the new mapping is made,
        // so the two never add up.
        Image* c = make(e, 1500, 1000);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(books.maps, 2);
        EXPECT_EQ(books.unmaps, 1);
        EXPECT_EQ(liveBytes(), c->size);
        EXPECT_TRUE(allZero(c));
        detail::destroy_image(c);

        image_release_spare(e);
        EXPECT_TRUE(books.live.empty());
        image_release_spare(e);  // nothing left: no second unmap
        EXPECT_EQ(books.unmaps, 2);
    }
    EXPECT_EQ(books.maps, books.unmaps);
}

TEST_F(PageMemory, OnlyTheLargestFreedMappingIsKept) {
    Engine e;
    usePages(e);
    Image* big = make(e, 1200, 1200);
    Image* small = make(e, 600, 600);
    ASSERT_TRUE(big && small);
    detail::destroy_image(big);
    detail::destroy_image(small);  // smaller than the spare: given back
    EXPECT_EQ(books.unmaps, 1);
    EXPECT_EQ(e.spare.bytes, static_cast<std::size_t>(row_pitch(1200, 24)) * 1200);

    Image* small2 = make(e, 600, 600);
    Image* big2 = make(e, 1200, 1200);
    ASSERT_TRUE(small2 && big2);
    detail::destroy_image(big2);
    detail::destroy_image(small2);  // the smaller spare gives way
    EXPECT_EQ(e.spare.bytes, static_cast<std::size_t>(row_pitch(1200, 24)) * 1200);
    // Engine destruction gives the spare back (checked in TearDown).
}

TEST_F(PageMemory, SmallPicturesAndRefusedPagesUseTheHeap) {
    Engine e;
    usePages(e);
    Image* tiny = make(e, 100, 100);
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(tiny->capacity, 0u);
    EXPECT_EQ(books.maps, 0);
    detail::destroy_image(tiny);

    books.refuse = true;
    Image* big = make(e, 1000, 1000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->capacity, 0u);
    EXPECT_TRUE(allZero(big));
    detail::destroy_image(big);
    EXPECT_EQ(books.unmaps, 0);
}

TEST_F(PageMemory, ResizeHandsThePagesOverWithThePixels) {
    Engine e;
    usePages(e);
    Image* im = make(e, 1024, 768);
    ASSERT_NE(im, nullptr);
    for (std::size_t i = 0; i < im->size; ++i) im->pixels[i] = static_cast<std::uint8_t>(i * 7);
    ImageHandle h = detail::add_to_table(e, im);
    ASSERT_NE(h, NoImage);

    Engine plainEngine;
    Image* plain = make(plainEngine, 1024, 768);
    ASSERT_NE(plain, nullptr);
    std::memcpy(plain->pixels, im->pixels, im->size);
    ImageHandle ph = detail::add_to_table(plainEngine, plain);

    ASSERT_EQ(image_resize(e, h, 512, 384), 1);
    ASSERT_EQ(image_resize(plainEngine, ph, 512, 384), 1);
    const Image* out = image_get(e, h);
    ASSERT_EQ(out->size, plain->size);
    EXPECT_EQ(std::memcmp(out->pixels, plain->pixels, out->size), 0);
    EXPECT_EQ(out->capacity, out->size);
    EXPECT_EQ(out->owner, &e);

    image_free(e, h);
    image_release_spare(e);
    EXPECT_TRUE(books.live.empty());
    EXPECT_EQ(books.maps, 2);
}

TEST_F(PageMemory, JpegSourceBytesAndPixelsMatchTheHeapPath) {
    TempDir dir;
    const int w = 640, h = 480;
    JpegSpec jpeg;
    jpeg.width = w;
    jpeg.height = h;
    jpeg.samples.resize(static_cast<std::size_t>(w) * 3 * h);
    for (int y = 0; y < h; ++y) noise(y, jpeg.samples.data() + static_cast<std::size_t>(w) * 3 * y, w);
    const std::string baseline = dir.file("baseline.jpg");
    const std::string progressive = dir.file("progressive.jpg");
    ASSERT_TRUE(write_jpeg(baseline, jpeg));
    jpeg.progressive = true;
    ASSERT_TRUE(write_jpeg(progressive, jpeg));

    for (const std::string& path : {baseline, progressive}) {
        SCOPED_TRACE(path);
        const std::size_t fileBytes = read_file(path).size();
        ASSERT_GT(fileBytes, 256u * 1024) << "the file must be large enough for pages";

        Engine heap;
        registerCodecs(heap);
        ImageHandle hh = image_load(heap, path);
        ASSERT_NE(hh, NoImage);

        books = PageBooks{};
        Engine paged;
        ImageHandle ph = loadOnPages(paged, path);
        ASSERT_NE(ph, NoImage);
        const Image* a = image_get(heap, hh);
        const Image* b = image_get(paged, ph);
        EXPECT_EQ(liveBytes(), b->size);
        ASSERT_EQ(a->size, b->size);
        EXPECT_EQ(std::memcmp(a->pixels, b->pixels, a->size), 0);
        image_free(paged, ph);
        image_release_spare(paged);
        EXPECT_TRUE(books.live.empty());
    }
}

TEST_F(PageMemory, BmpSourceBytesAreGivenBack) {
    TempDir dir;
    const int w = 400, h = 300;
    const int pitch = row_pitch(w, 24);
    Bytes rows(static_cast<std::size_t>(pitch) * h);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i % 251);
    const std::string path = dir.file("big.bmp");
    BmpSpec bmp;
    bmp.width = w;
    bmp.height = h;
    bmp.data = rows;
    ASSERT_TRUE(write_file(path, build_bmp(bmp)));

    Engine e;
    ImageHandle hnd = loadOnPages(e, path);
    ASSERT_NE(hnd, NoImage);
    const Image* im = image_get(e, hnd);
    // Bottom-up file rows are the engine's rows as they are.
    EXPECT_EQ(std::memcmp(im->pixels, rows.data(), rows.size()), 0);
    image_free(e, hnd);
}

#if defined(__SANITIZE_ADDRESS__)
#define TV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TV_TEST_ASAN 1
#endif
#endif

#ifdef TV_TEST_ASAN
// A smaller picture in a reused mapping: a write past its end lands in the
// mapping, so only the address checker's poisoning can catch it.
TEST_F(PageMemory, WritesPastAPictureInAReusedMappingAreCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Engine e;
    usePages(e);
    detail::destroy_image(make(e, 1000, 1000));
    Image* small = make(e, 500, 500);
    ASSERT_NE(small, nullptr);
    ASSERT_GT(small->capacity, small->size);
    small->pixels[small->size - 1] = 1;  // its own last byte is fine
    EXPECT_DEATH(small->pixels[small->size + 64] = 1, "use-after-poison");
    detail::destroy_image(small);
}
#endif

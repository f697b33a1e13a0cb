// The image engine: in-memory pictures, decoding BMP/JPEG/PNG, resizing and
// writing JPEG/PNG/BMP. It depends on nothing else in the program and never
// talks to the user: failures are a 0 or none result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tv::img {

struct Engine;

// Pixel store with the layout every part of the engine relies on: rows
// bottom-up (first row in memory is the bottom row), each row_pitch(width,
// depth) bytes, pixels B,G,R or B,G,R,A with straight alpha; zero-filled on
// creation. Width and height are held to 1..32767.
struct Image {
    std::uint8_t* pixels = nullptr;  // owned by the engine
    std::size_t size = 0;            // bytes in pixels
    // Bytes of the page mapping behind pixels when they came from the
    // engine's pages (they go back there, to owner); 0 = malloc'd.
    std::size_t capacity = 0;
    Engine* owner = nullptr;
    int width = 0;
    int height = 0;
    int depth = 0;         // bits per pixel of the pixels now: 16, 24 or 32
    int source_depth = 0;  // bits per pixel as stored in the file
    // Channel masks of a 16-bit image (little-endian 16-bit words); the
    // default is X1R5G5B5.
    std::uint32_t red_mask = 0x7C00, green_mask = 0x03E0, blue_mask = 0x001F;
    // Segments carried from source to output so orientation and colour
    // survive: the EXIF block (TIFF header onwards, without the "Exif\0\0"
    // prefix) and the whole ICC profile. Empty when the source had none.
    std::vector<std::uint8_t> exif;
    std::vector<std::uint8_t> icc;
};

using ImageHandle = int;  // 0 = none
constexpr ImageHandle NoImage = 0;

constexpr int MaxDimension = 32767;

constexpr std::uint32_t JpegEncoderId = 0x4745504A;  // "JPEG"
constexpr std::uint32_t PngEncoderId = 0x00474E50;   // "PNG\0"
constexpr std::uint32_t BmpEncoderId = 0;

constexpr int BottomUp = 2;  // row flag

// Signature shared by every encoder entry point. meta carries the segments
// to write (EXIF, ICC); engine gives the cancel check. Either may be null.
using EncodeFn = int (*)(const char* path, const std::uint8_t* pixels, int width, int height, int pitch,
                         int rowFlags, int options, int outputDepth, const Image* meta, const Engine* engine);

struct ImageEncoder {
    std::uint32_t id = 0;
    EncodeFn encode_rgb = nullptr;
    EncodeFn encode_rgba = nullptr;  // absent for JPEG
};

struct DecoderContext;

struct ImageDecoder {
    const char* name = "";
    // Non-zero when the open file is of this kind; fills width, height,
    // depths and the decoder state of the context. Frees its state on 0.
    int (*check)(DecoderContext& ctx) = nullptr;
    // Writes every row into pixels; non-zero on success.
    int (*decode)(DecoderContext& ctx, std::uint8_t* pixels, int pitch, int rowFlags) = nullptr;
    void (*release)(DecoderContext& ctx) = nullptr;
};

// Asked between rows of long loops (decode, resize, encode). It may block
// (a paused batch waits inside it); returning true abandons the operation,
// which then fails as any other failure would.
using CancelCheck = std::function<bool()>;

// The engine's whole state: the image table and the two registries. One
// record per program run, so tests can run many in one process.
struct Engine {
    std::vector<Image*> table;  // index + 1 = handle; nullptr = free slot
    std::vector<ImageDecoder> decoders;
    std::vector<ImageEncoder> encoders;
    CancelCheck cancel;
    // Largest pixel buffer a load or resize may allocate; 0 = derived from
    // the machine's memory on first use.
    std::size_t maxPixelBytes = 0;
    // What the engine is told of the machine; the engine asks the system
    // nothing itself. Left unset (tests, fuzzers), the pixel limit is 1 GiB
    // and freed heap memory stays with the C library.
    struct Machine {
        std::size_t memoryBytes = 0;     // physical memory, 0 = unknown
        void (*trimHeap)() = nullptr;    // hands the heap's freed pages back
    };
    Machine machine;
    // Multi-scan JPEGs keep their coefficients packed while they decode;
    // false leaves them to libjpeg's own buffer (tests compare the two).
    bool compactJpegCoefficients = true;

    // Where large pixel buffers come from: whole zero-filled pages taken
    // from the system and given back to it, so memory falls back once a
    // batch is over instead of staying in the heap. Without them (the
    // default) pixels are calloc'd.
    struct PageSource {
        void* (*map)(std::size_t bytes) = nullptr;  // nullptr when refused
        void (*unmap)(void* pages, std::size_t bytes) = nullptr;
    };
    PageSource pages;
    // How files are opened by name: the system's way for a UTF-8 path.
    // Unset, the C library's fopen, which takes the path as it is.
    struct FileOpener {
        std::FILE* (*open)(const char* path, const char* mode) = nullptr;
    };
    FileOpener files;
    // The mapping of a freed picture, kept for the next one: a batch's
    // pictures reuse it instead of faulting fresh pages in for every
    // picture. Only one, the largest, so that it never sits idle beside
    // the memory a decoder needs.
    struct SparePages {
        std::uint8_t* data = nullptr;
        std::size_t bytes = 0;
    };
    SparePages spare;

    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();
};

// Opens path through the engine's opener (e may be null).
std::FILE* open_file(const Engine* e, const char* path, const char* mode);

// Bytes per row for width w at depth d, a multiple of 4.
int row_pitch(int w, int d);

// Registration, in the program's order: JPEG decoder, JPEG encoder, PNG
// decoder, PNG encoder. Each call after the first does nothing.
void register_jpeg_decoder(Engine& e);
void register_jpeg_encoder(Engine& e);
void register_png_decoder(Engine& e);
void register_png_encoder(Engine& e);

// path must name a regular file: opening a FIFO waits for a writer. The
// program opens its sources itself and hands them to image_load_file.
ImageHandle image_load(Engine& e, const std::string& path);
// Reads a picture from an open file (from its start); the file stays open.
ImageHandle image_load_file(Engine& e, std::FILE* f);
int image_width(const Engine& e, ImageHandle h);
int image_height(const Engine& e, ImageHandle h);
const Image* image_get(const Engine& e, ImageHandle h);  // nullptr when not held
void image_free(Engine& e, ImageHandle h);
void image_free_all(Engine& e);
// Gives the pages kept for later pictures back to the system (the end of a
// batch); pictures still held keep theirs.
void image_release_spare(Engine& e);

// Smooth (mode 0) or raw (non-zero) resize in place. Non-zero on success;
// on failure the image is left exactly as it was.
int image_resize(Engine& e, ImageHandle h, int newWidth, int newHeight, int mode = 0);

// Non-zero on success. encoder 0 = BMP writer; options 7 and depth -1 (the
// source depth) unless given.
int image_save(Engine& e, ImageHandle h, const std::string& path, std::uint32_t encoder = 0,
               int options = 7, int depth = -1);

// 24-bit copy of 32-bit rows composited over white; dst has row_pitch(w, 24).
void flatten_on_white(const std::uint8_t* src, int width, int height, int srcPitch, std::uint8_t* dst,
                      int dstPitch);

// Engine-internal helpers shared by the engine's files.
namespace detail {
// New zero-filled Image of w x h at depth d (16, 24 or 32), or nullptr
// (size outside 1..32767, over the memory limit, or no memory).
Image* create_image(Engine& e, int w, int h, int d);
void destroy_image(Image* im);
// A large transient buffer (a source file's bytes), not zero-filled: page
// memory when the engine has it (mapped = its length), so the heap never
// keeps it once it is given back; else malloc'd (mapped = 0). e may be null.
void* take_scratch(const Engine* e, std::size_t bytes, std::size_t& mapped);
void give_scratch(const Engine* e, void* p, std::size_t mapped);
ImageHandle add_to_table(Engine& e, Image* im);
// Registration once: a decoder with the same check, or an encoder with the
// same identifier, already there is kept and the new one dropped.
void add_decoder(Engine& e, const ImageDecoder& d);
void add_encoder(Engine& e, const ImageEncoder& enc);
Image* lookup(const Engine& e, ImageHandle h);
std::size_t pixel_limit(Engine& e);
bool cancelled(const Engine& e);
bool cancelled(const Engine* e);  // no engine: never

// A new 24-bit image with the pixels of a 16-bit one (masks expanded to 8
// bits); nullptr when memory cannot be had.
Image* convert16_to_24(Engine& e, const Image& src);

// True when an ICC profile is for RGB data (its header's colour space field
// reads "RGB "), the only kind that fits the colour files the JPEG and PNG
// writers make; a CMYK, YCCK or grey source's profile would have
// colour-managed viewers misread them.
bool icc_profile_is_rgb(const std::vector<std::uint8_t>& profile);

// The engine's own writer (identifier 0).
int write_bmp(const char* path, const std::uint8_t* pixels, int pitch, int width, int height, int imageDepth,
              int rowFlags, int options, int outputDepth, const Engine* e);

// 32-bit exact resampler and the fast 24-bit one; 1 on success.
int resample_rgba(const Engine& e, std::uint8_t* dst, int dstW, int dstH, const std::uint8_t* src, int srcW,
                  int srcH);
int resample_rgb(const Engine& e, std::uint8_t* dst, int dstPitch, int dstW, int dstH, const std::uint8_t* src,
                 int srcPitch, int srcW, int srcH);
}  // namespace detail

}  // namespace tv::img

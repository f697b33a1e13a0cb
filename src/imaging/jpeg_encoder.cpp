// JPEG encoder: 24-bit B,G,R rows to a baseline-or-extended JFIF file, with
// the source's EXIF block (with the picture size it states made this one's)
// and RGB ICC profile carried over.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "imaging/exif.h"
#include "imaging/image.h"
#include "imaging/jpeg_errors.h"

namespace tv::img {
namespace {

// Everything the long jump must still find; lives on the heap so no local
// changed after setjmp is needed afterwards.
struct EncodeJob {
    jpeg_compress_struct cinfo;
    detail::JpegErrors err;  // a failed write on a full disk comes back as 0
    std::FILE* file = nullptr;
    JSAMPLE* row = nullptr;
    bool created = false;
};

void end_job(EncodeJob* job) {
    if (job->created) jpeg_destroy_compress(&job->cinfo);
    std::free(job->row);
    if (job->file) std::fclose(job->file);
    std::free(job);
}

constexpr std::size_t ExifPrefix = 6;
constexpr std::size_t MaxMarkerData = 65533;
// An ICC profile travels in at most 255 APP2 markers (its sequence numbers
// are single bytes) of 65519 profile bytes each.
constexpr std::size_t MaxIccBytes = 255 * 65519;

int jpeg_encode(const char* path, const std::uint8_t* pixels, int width, int height, int pitch, int rowFlags,
                int options, int /*outputDepth*/, const Image* meta, const Engine* engine) {
    if (!path || !*path || !pixels || width < 1 || height < 1 || width > 65500 || height > 65500 ||
        pitch < 3 * width)
        return 0;
    // The EXIF block as written. Made before the jump point and only read
    // after it, so a long jump leaves it intact and its destructor still runs
    // on the way out. A block too long for one marker is left out rather
    // than cut.
    std::vector<std::uint8_t> exif;
    if (meta && !meta->exif.empty() && meta->exif.size() + ExifPrefix <= MaxMarkerData) {
        exif = meta->exif;
        exif_set_pixel_size(exif, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    }
    auto* job = static_cast<EncodeJob*>(std::calloc(1, sizeof(EncodeJob)));
    if (!job) return 0;
    job->row = static_cast<JSAMPLE*>(std::malloc(static_cast<std::size_t>(pitch) + 4));
    job->file = open_file(engine, path, "wb");
    if (!job->row || !job->file) {
        end_job(job);
        return 0;
    }
    jpeg_compress_struct* cinfo = &job->cinfo;
    cinfo->err = detail::jpeg_errors_install(job->err);
    job->err.mgr.trace_level = -1;
    if (setjmp(job->err.jump)) {
        end_job(job);
        return 0;
    }
    jpeg_create_compress(cinfo);
    job->created = true;
    jpeg_stdio_dest(cinfo, job->file);

    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    cinfo->input_components = 3;
#ifdef JCS_EXTENSIONS
    // The library reads the engine's B,G,R rows as they are.
    cinfo->in_color_space = JCS_EXT_BGR;
#else
    cinfo->in_color_space = JCS_RGB;
#endif
    jpeg_set_defaults(cinfo);
    int q = options < 0 ? 0 : (options > 10 ? 10 : options);
    jpeg_set_quality(cinfo, q * 10, FALSE);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->write_JFIF_header = TRUE;
    jpeg_start_compress(cinfo, TRUE);

    if (!exif.empty()) {
        jpeg_write_m_header(cinfo, JPEG_APP0 + 1, static_cast<unsigned>(exif.size() + ExifPrefix));
        static const char prefix[ExifPrefix] = {'E', 'x', 'i', 'f', 0, 0};
        for (char c : prefix) jpeg_write_m_byte(cinfo, static_cast<unsigned char>(c));
        for (std::uint8_t b : exif) jpeg_write_m_byte(cinfo, b);
    }
    // A longer profile would be written as markers no reader takes back.
    if (meta && detail::icc_profile_is_rgb(meta->icc) && meta->icc.size() <= MaxIccBytes)
        jpeg_write_icc_profile(cinfo, meta->icc.data(), static_cast<unsigned>(meta->icc.size()));

    const bool bottomUp = (rowFlags & BottomUp) != 0;
    for (int i = 0; i < height; ++i) {
        if (detail::cancelled(engine)) {
            jpeg_abort_compress(cinfo);
            end_job(job);
            return 0;
        }
        const std::uint8_t* src =
            pixels + static_cast<std::ptrdiff_t>(pitch) * (bottomUp ? height - 1 - i : i);
#ifdef JCS_EXTENSIONS
        // Only read: the library never writes into its input rows.
        JSAMPROW rows[1] = {const_cast<JSAMPLE*>(src)};
#else
        JSAMPLE* dst = job->row;
        for (int x = 0; x < width; ++x) {
            dst[3 * x + 0] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x + 0];
        }
        JSAMPROW rows[1] = {job->row};
#endif
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    job->created = false;
    // The data may still sit in stdio's buffer: only a clean close proves
    // the file is complete.
    std::FILE* f = job->file;
    job->file = nullptr;
    bool ok = !std::ferror(f);
    if (std::fclose(f) != 0) ok = false;
    end_job(job);
    return ok ? 1 : 0;
}

}  // namespace

void register_jpeg_encoder(Engine& e) { detail::add_encoder(e, ImageEncoder{JpegEncoderId, jpeg_encode, nullptr}); }

}  // namespace tv::img

// JPEG decoder: the whole file in memory, decoded to 24-bit B,G,R rows.
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include <jpeglib.h>
#include <jerror.h>

#include "imaging/decoder_context.h"
#include "imaging/jpeg_coef_store.h"
#include "imaging/jpeg_errors.h"

namespace tv::img {
namespace {

#ifdef JCS_EXTENSIONS
// The library writes B,G,R itself, straight into the picture's rows.
constexpr J_COLOR_SPACE threeSamples = JCS_EXT_BGR;
#else
constexpr J_COLOR_SPACE threeSamples = JCS_RGB;
#endif

struct JpegState {
    detail::CoefStore coef;  // first: the store finds itself through client_data
    jpeg_decompress_struct cinfo;
    detail::JpegErrors err;  // warnings (a cut file, a bad restart marker) dropped
    jpeg_source_mgr src;
    jpeg_progress_mgr progress;
    const Engine* engine = nullptr;
    bool cancelled = false;  // the cancel check ended the decode
    std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t dataMapped = 0;  // page memory behind data, 0 = malloc'd
    bool handedOver = false;
    JSAMPLE* row = nullptr;
    bool created = false;
    bool cmyk = false;
    bool inverted = false;  // Adobe files store CMYK with 0 = full ink
};

static_assert(std::is_standard_layout_v<JpegState> && offsetof(JpegState, coef) == 0);

const JOCTET EndOfImage[2] = {0xFF, 0xD9};

void src_init(j_decompress_ptr) {}

boolean src_fill(j_decompress_ptr cinfo) {
    auto* st = reinterpret_cast<JpegState*>(cinfo->client_data);
    if (!st->handedOver) {
        st->handedOver = true;
        cinfo->src->next_input_byte = st->data;
        cinfo->src->bytes_in_buffer = st->size;
        return TRUE;
    }
    // Past the end of a cut file: finish it with an end-of-image marker so
    // what was there still decodes.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = EndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void src_skip(j_decompress_ptr cinfo, long n) {
    if (n <= 0) return;
    jpeg_source_mgr* s = cinfo->src;
    while (static_cast<std::size_t>(n) > s->bytes_in_buffer) {
        n -= static_cast<long>(s->bytes_in_buffer);
        s->bytes_in_buffer = 0;
        src_fill(cinfo);
        // The supplied marker is never skipped over.
        if (s->next_input_byte == EndOfImage) return;
    }
    s->next_input_byte += n;
    s->bytes_in_buffer -= static_cast<std::size_t>(n);
}

void src_term(j_decompress_ptr) {}

// Called by the library between pieces of its work, also while
// jpeg_start_decompress reads every scan of a multi-scan file, which no
// loop of ours sees. A pause waits inside the check; a cancel leaves
// through the error exit, so the library unwinds as after a broken file.
void on_progress(j_common_ptr c) {
    auto* st = reinterpret_cast<JpegState*>(c->client_data);
    if (detail::cancelled(st->engine)) {
        st->cancelled = true;
        detail::jpeg_error_jump(c);
    }
}

void free_data(JpegState* st) {
    detail::give_scratch(st->engine, st->data, st->dataMapped);
    st->data = nullptr;
    st->dataMapped = 0;
    st->size = 0;
}

void free_state(JpegState* st) {
    if (!st) return;
    if (st->created) jpeg_destroy_decompress(&st->cinfo);
    std::free(st->row);
    free_data(st);
    std::free(st);
}

void take_markers(DecoderContext& ctx, JpegState* st) {
    for (jpeg_saved_marker_ptr m = st->cinfo.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
            ctx.exif.assign(m->data + 6, m->data + m->data_length);
            break;
        }
    }
    JOCTET* icc = nullptr;
    unsigned int iccLen = 0;
    if (jpeg_read_icc_profile(&st->cinfo, &icc, &iccLen) && icc) ctx.icc.assign(icc, icc + iccLen);
    std::free(icc);
}

int jpeg_check(DecoderContext& ctx) {
    std::FILE* f = ctx.file;
    const std::int64_t end = size_from_end(f);
    if (end <= 2 || std::fseek(f, 0, SEEK_SET) != 0) return 0;
    if (ctx.memory_limit && static_cast<std::uint64_t>(end) > ctx.memory_limit) return 0;
    unsigned char sig[2];
    if (std::fread(sig, 1, 2, f) != 2 || sig[0] != 0xFF || sig[1] != 0xD8) return 0;

    auto* st = static_cast<JpegState*>(std::calloc(1, sizeof(JpegState)));
    if (!st) return 0;
    st->engine = ctx.engine;
    st->size = static_cast<std::size_t>(end);
    st->data = static_cast<std::uint8_t*>(detail::take_scratch(ctx.engine, st->size, st->dataMapped));
    if (!st->data) {
        free_state(st);
        return 0;
    }
    st->data[0] = sig[0];
    st->data[1] = sig[1];
    if (std::fread(st->data + 2, 1, st->size - 2, f) != st->size - 2) {
        free_state(st);
        return 0;
    }

    jpeg_decompress_struct* cinfo = &st->cinfo;
    cinfo->err = detail::jpeg_errors_install(st->err);
    if (setjmp(st->err.jump)) {
        ctx.cancelled = st->cancelled;
        free_state(st);
        return 0;
    }
    jpeg_create_decompress(cinfo);
    st->created = true;
    cinfo->client_data = st;
    // Hostile headers must not make the library reserve more than a picture
    // may take.
    if (ctx.memory_limit)
        cinfo->mem->max_memory_to_use = ctx.memory_limit > static_cast<std::size_t>(LONG_MAX)
                                            ? LONG_MAX
                                            : static_cast<long>(ctx.memory_limit);
    st->src.init_source = src_init;
    st->src.fill_input_buffer = src_fill;
    st->src.skip_input_data = src_skip;
    st->src.resync_to_restart = jpeg_resync_to_restart;
    st->src.term_source = src_term;
    st->src.next_input_byte = nullptr;
    st->src.bytes_in_buffer = 0;
    cinfo->src = &st->src;
    st->progress.progress_monitor = on_progress;
    cinfo->progress = &st->progress;
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);

    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK || cinfo->image_width < 1 || cinfo->image_height < 1 ||
        cinfo->image_width > static_cast<JDIMENSION>(MaxDimension) ||
        cinfo->image_height > static_cast<JDIMENSION>(MaxDimension)) {
        free_state(st);
        return 0;
    }
    cinfo->dct_method = JDCT_ISLOW;
    if (cinfo->jpeg_color_space == JCS_GRAYSCALE) {
        cinfo->out_color_space = threeSamples;
    } else if (cinfo->num_components == 4 &&
               (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK)) {
        // The library turns YCCK into CMYK; the engine makes RGB of it.
        cinfo->out_color_space = JCS_CMYK;
        st->cmyk = true;
        st->inverted = cinfo->saw_Adobe_marker != 0;
    } else if (cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_RGB) {
        cinfo->out_color_space = threeSamples;
    }
    jpeg_calc_output_dimensions(cinfo);
    // Only three samples (RGB) or four (CMYK) per pixel can be turned into
    // B,G,R; any other layout is refused rather than read past its row.
    if (!(cinfo->output_components == 3 || (st->cmyk && cinfo->output_components == 4))) {
        free_state(st);
        return 0;
    }
    std::size_t rowBytes = (static_cast<std::size_t>(cinfo->output_width) * cinfo->output_components + 3) & ~std::size_t{3};
    st->row = static_cast<JSAMPLE*>(std::malloc(rowBytes));
    if (!st->row) {
        free_state(st);
        return 0;
    }
    take_markers(ctx, st);
    // A multi-scan file keeps every coefficient until its output pass; the
    // compact store holds them in a fraction of the library's own buffer.
    if (jpeg_has_multiple_scans(cinfo) && (!ctx.engine || ctx.engine->compactJpegCoefficients)) {
        st->coef.trimHeap = ctx.engine ? ctx.engine->machine.trimHeap : nullptr;
        detail::coef_store_install(st->coef, cinfo);
    }
    jpeg_start_decompress(cinfo);
    // Such a file has been read to its end by now: its bytes can go before
    // the picture is allocated.
    if (jpeg_input_complete(cinfo)) {
        free_data(st);
        st->src.next_input_byte = EndOfImage;
        st->src.bytes_in_buffer = 0;
    }

    ctx.width = static_cast<int>(cinfo->output_width);
    ctx.height = static_cast<int>(cinfo->output_height);
    ctx.depth = 24;
    ctx.source_depth = 8 * cinfo->output_components;
    ctx.state = st;
    return 1;
}

int jpeg_decode(DecoderContext& ctx, std::uint8_t* pixels, int pitch, int rowFlags) {
    auto* st = static_cast<JpegState*>(ctx.state);
    if (!st) return 0;
    jpeg_decompress_struct* cinfo = &st->cinfo;
    if (setjmp(st->err.jump)) {
        ctx.cancelled = st->cancelled;
        return 0;
    }
    const int height = static_cast<int>(cinfo->output_height);
    const int width = static_cast<int>(cinfo->output_width);
    for (int i = 0; i < height; ++i) {
        if (detail::cancelled(ctx.engine)) {
            ctx.cancelled = true;
            return 0;
        }
        std::uint8_t* dst =
            pixels + static_cast<std::ptrdiff_t>(pitch) * ((rowFlags & BottomUp) ? height - 1 - i : i);
        const bool direct = cinfo->out_color_space == threeSamples && threeSamples != JCS_RGB;
        JSAMPROW rows[1] = {direct ? dst : st->row};
        if (jpeg_read_scanlines(cinfo, rows, 1) != 1) return 0;
        if (direct) continue;
        const JSAMPLE* s = st->row;
        if (st->cmyk) {
            for (int x = 0; x < width; ++x, s += 4) {
                unsigned c = s[0], m = s[1], y = s[2], k = s[3];
                if (!st->inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    y = 255 - y;
                    k = 255 - k;
                }
                // Stored so that 255 means no ink: each channel is the
                // share of light that both its ink and black let through.
                dst[3 * x + 0] = static_cast<std::uint8_t>((y * k + 127) / 255);
                dst[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
                dst[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
            }
        } else {
            for (int x = 0; x < width; ++x, s += 3) {
                dst[3 * x + 0] = s[2];
                dst[3 * x + 1] = s[1];
                dst[3 * x + 2] = s[0];
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return 1;
}

void jpeg_release(DecoderContext& ctx) {
    free_state(static_cast<JpegState*>(ctx.state));
    ctx.state = nullptr;
}

}  // namespace

void register_jpeg_decoder(Engine& e) {
    detail::add_decoder(e, ImageDecoder{"JPEG", jpeg_check, jpeg_decode, jpeg_release});
}

}  // namespace tv::img

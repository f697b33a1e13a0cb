// libjpeg's error manager for the engine's JPEG decoder and encoder: an error
// (a broken file, a failed write, exhausted memory) long-jumps back to the
// caller's setjmp instead of ending the process; messages and warnings have
// nobody to go to and are dropped.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

namespace tv::img::detail {

struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;  // set by the caller before any library call
};

// Sets errors up; the result goes into the library record's err.
jpeg_error_mgr* jpeg_errors_install(JpegErrors& errors);

// The error exit: back to errors.jump of the record's JpegErrors.
[[noreturn]] void jpeg_error_jump(j_common_ptr c);

}  // namespace tv::img::detail

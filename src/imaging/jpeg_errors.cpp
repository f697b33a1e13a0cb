#include "imaging/jpeg_errors.h"

namespace tv::img::detail {

namespace {
void ignore_message(j_common_ptr, int) {}
void ignore_output(j_common_ptr) {}
}  // namespace

void jpeg_error_jump(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->jump, 1); }

jpeg_error_mgr* jpeg_errors_install(JpegErrors& errors) {
    jpeg_error_mgr* mgr = jpeg_std_error(&errors.mgr);
    mgr->error_exit = jpeg_error_jump;
    mgr->emit_message = ignore_message;
    mgr->output_message = ignore_output;
    return mgr;
}

}  // namespace tv::img::detail

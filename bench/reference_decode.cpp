#include "bench/reference_decode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
void OnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }
}  // namespace

bool ReferenceDecoder::Decode(const std::vector<std::uint8_t>& jpeg) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_block_smoothing = TRUE;
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    if (pixels.size() < stride * height) pixels.resize(stride * height);
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
        const int n = cinfo.rec_outbuf_height < 16 ? cinfo.rec_outbuf_height : 16;
        for (int i = 0; i < n; ++i)
            rows[i] = pixels.data() + stride * std::min<std::size_t>(cinfo.output_scanline + i, height - 1);
        jpeg_read_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

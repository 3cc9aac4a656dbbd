#include "picture/jpeg_decoder.h"

#include <jerror.h>

namespace {

constexpr int kQuantizedColours = 236;
// Rows offered to each read: room for a whole row group or more, so that the library hands
// over two rows per call of a 4:2:0 picture rather than one.
constexpr JDIMENSION kBatch = 16;

// Rounded x / 255 for x in [0, 255 * 255].
inline JSAMPLE Div255(unsigned x) { return JSAMPLE((x + 128 + ((x + 128) >> 8)) >> 8); }

// The naive conversion without a colour profile. In an Adobe-marked JPEG the samples are
// stored inverted (0 is full ink), as Adobe's applications write them; the library hands them
// over as stored, so there R = C * K / 255. Unmarked CMYK is plain: R = (255 - C)(255 - K) / 255.
void CmykToBgr(const JSAMPLE* in, std::uint8_t* out, JDIMENSION width, bool inverted) {
    const unsigned flip = inverted ? 0 : 255;
    for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
        const unsigned k = in[3] ^ flip;
        out[0] = Div255((in[2] ^ flip) * k);
        out[1] = Div255((in[1] ^ flip) * k);
        out[2] = Div255((in[0] ^ flip) * k);
    }
}

void ReadRowsUnguarded(JpegDecoder* decoder, std::uint8_t* rows, std::ptrdiff_t stride, RowProgress* progress) {
    j_decompress_ptr cinfo = &decoder->cinfo;
    JSAMPARRAY scratch = nullptr;
    if (decoder->cmyk)
        scratch = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                              cinfo->output_width * 4, kBatch);
    JSAMPROW pointers[kBatch];
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION left = cinfo->output_height - first;
        const JDIMENSION count = left < kBatch ? left : kBatch;
        for (JDIMENSION i = 0; i < count; ++i)
            pointers[i] = scratch ? scratch[i] : rows + std::ptrdiff_t(first + i) * stride;
        const JDIMENSION read = jpeg_read_scanlines(cinfo, pointers, count);
        if (read == 0) break;  // only a suspending source returns nothing; ours never suspends
        if (scratch)
            for (JDIMENSION i = 0; i < read; ++i)
                CmykToBgr(scratch[i], rows + std::ptrdiff_t(first + i) * stride,
                          cinfo->output_width, cinfo->saw_Adobe_marker);
        if (progress) progress->Publish(first + read);
    }
}

}  // namespace

// Each step: the jump point first, then the work in a separate frame. Nothing in these frames
// changes after setjmp, so nothing is left undefined by the jump.

bool JpegOpen(JpegDecoder* decoder, const std::uint8_t* data, std::size_t size, JpegHeader* header) {
    j_decompress_ptr cinfo = &decoder->cinfo;
    cinfo->err = JpegInitErrorManager(&decoder->error);
    if (setjmp(decoder->error.jump)) return false;
    // Marked first: a creation that fails half-way has memory to hand back too.
    decoder->created = true;
    jpeg_create_decompress(cinfo);
    JpegAttachMemorySource(cinfo, &decoder->source, data, size);
    jpeg_read_header(cinfo, TRUE);
    header->width = int(cinfo->image_width);
    header->height = int(cinfo->image_height);
    header->grayscale = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    header->progressive = jpeg_has_multiple_scans(cinfo);
    return true;
}

bool JpegConfigure(JpegDecoder* decoder, bool eightBit) {
    j_decompress_ptr cinfo = &decoder->cinfo;
    if (setjmp(decoder->error.jump)) return false;
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->dct_method = JDCT_FLOAT;
    cinfo->do_block_smoothing = TRUE;
    cinfo->buffered_image = FALSE;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        cinfo->quantize_colors = TRUE;
        cinfo->two_pass_quantize = FALSE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        // The library turns YCCK into CMYK itself; the rest is done row by row here.
        cinfo->out_color_space = JCS_CMYK;
        decoder->cmyk = true;
        break;
    default:
        if (eightBit) {
            cinfo->out_color_space = JCS_RGB;
            cinfo->quantize_colors = TRUE;
            cinfo->two_pass_quantize = TRUE;
        } else {
            cinfo->out_color_space = JCS_EXT_BGR;
        }
    }
    if (cinfo->quantize_colors) {
        cinfo->desired_number_of_colors = kQuantizedColours;
        cinfo->dither_mode = JDITHER_FS;
    }
    jpeg_calc_output_dimensions(cinfo);
    return true;
}

bool JpegStart(JpegDecoder* decoder) {
    if (setjmp(decoder->error.jump)) return false;
    jpeg_start_decompress(&decoder->cinfo);
    return true;
}

bool JpegReadRows(JpegDecoder* decoder, std::uint8_t* rows, std::ptrdiff_t stride, RowProgress* progress) {
    if (setjmp(decoder->error.jump)) return false;
    ReadRowsUnguarded(decoder, rows, stride, progress);
    return true;
}

bool JpegFinish(JpegDecoder* decoder) {
    if (setjmp(decoder->error.jump)) return false;
    jpeg_finish_decompress(&decoder->cinfo);
    return true;
}

void JpegClose(JpegDecoder* decoder) {
    // Destroying cannot fail: it only hands the object's memory pools back.
    if (decoder->created) jpeg_destroy_decompress(&decoder->cinfo);
    decoder->created = false;
}

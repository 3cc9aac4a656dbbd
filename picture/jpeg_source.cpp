#include "picture/jpeg_source.h"

#include <jerror.h>

namespace {

void ErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(error->jump, 1);
}

// Warnings (a premature end of data, corrupt entropy data) and trace messages show nothing:
// the decoder goes on and the picture shows what it made.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<JpegMemorySource*>(cinfo->src);
    const bool first = source->startOfData;
    source->startOfData = false;
    if (source->offset >= source->size) {
        if (first) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const std::size_t left = source->size - source->offset;
    const std::size_t block = left < kJpegSourceBlock ? left : kJpegSourceBlock;
    source->pub.next_input_byte = source->data + source->offset;
    source->pub.bytes_in_buffer = block;
    source->offset += block;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* source = reinterpret_cast<JpegMemorySource*>(cinfo->src);
    jpeg_source_mgr* pub = &source->pub;
    std::size_t skip = static_cast<std::size_t>(count);
    while (skip > pub->bytes_in_buffer) {
        skip -= pub->bytes_in_buffer;
        if (source->offset >= source->size) {
            // Skipping past the end: what follows is the supplied end-of-image marker.
            FillInputBuffer(cinfo);
            return;
        }
        FillInputBuffer(cinfo);
    }
    pub->next_input_byte += skip;
    pub->bytes_in_buffer -= skip;
}

}  // namespace

jpeg_error_mgr* JpegInitErrorManager(JpegErrorManager* error) {
    jpeg_error_mgr* pub = jpeg_std_error(&error->pub);
    pub->error_exit = ErrorExit;
    pub->emit_message = EmitMessage;
    pub->output_message = OutputMessage;
    return pub;
}

void JpegAttachMemorySource(j_decompress_ptr cinfo, JpegMemorySource* source,
                            const std::uint8_t* data, std::size_t size) {
    source->pub.init_source = InitSource;
    source->pub.fill_input_buffer = FillInputBuffer;
    source->pub.skip_input_data = SkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermSource;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    source->data = data;
    source->size = size;
    source->offset = 0;
    source->startOfData = true;
    cinfo->src = &source->pub;
}

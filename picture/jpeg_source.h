// The decoder's two callback objects: the error manager that turns every fatal error into a
// jump back to the caller with the library's message code, and the data source over the
// compressed bytes in memory. Plain C data only: they live inside the decoder state, which the
// library's longjmp may leave at any point.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

/// Fatal errors jump to `jump` (the caller sets it with setjmp); the code is left in
/// `pub.msg_code`. Warnings and trace messages are discarded.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

/// Feeds the decoder from `data` in blocks of kJpegSourceBlock bytes without copying them.
/// An empty first read is the library's input-empty error; running out of data later supplies
/// an end-of-image marker, so a cut stream decodes to the end from no data.
struct JpegMemorySource {
    jpeg_source_mgr pub;
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset;    // of the next block to hand over
    bool startOfData;      // no read has happened yet
};

constexpr std::size_t kJpegSourceBlock = 4096;

/// Sets up `error` and returns the pointer to store in a decompression object's `err`.
jpeg_error_mgr* JpegInitErrorManager(JpegErrorManager* error);

/// Attaches `source` over `size` bytes at `data` to `cinfo`; the bytes must outlive the decoding.
void JpegAttachMemorySource(j_decompress_ptr cinfo, JpegMemorySource* source,
                            const std::uint8_t* data, std::size_t size);

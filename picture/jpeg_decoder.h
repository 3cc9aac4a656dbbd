// The libjpeg calls, one small function per step. Each step sets its own jump point with setjmp
// and holds only plain C data, so the library's longjmp on a fatal error never crosses a C++
// frame; the step returns false and the caller, back in C++, raises the error. The caller owns
// the state and calls JpegClose on every path (JpegDecoderGuard does).
#pragma once

#include "picture/jpeg_source.h"
#include "picture/row_progress.h"

#include <cstddef>
#include <cstdint>

struct JpegDecoder {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    JpegMemorySource source;
    bool created;
    bool cmyk;  // four-component output, turned into blue-green-red rows here
};

struct JpegHeader {
    int width;
    int height;
    bool grayscale;
    bool progressive;  // more than one scan
};

/// The library's message code of the fatal error that made the last step fail.
inline int JpegErrorCode(const JpegDecoder* decoder) { return decoder->error.pub.msg_code; }

/// Creates the decompression object over `size` bytes at `data` and reads the header.
bool JpegOpen(JpegDecoder* decoder, const std::uint8_t* data, std::size_t size, JpegHeader* header);

/// Applies the display settings: full size, floating-point IDCT, block smoothing, the default
/// fancy upsampling; 236 colours with Floyd-Steinberg dithering for a grayscale JPEG (one
/// pass, grey levels) or, when `eightBit`, a colour one (two passes). Four-component JPEGs
/// (CMYK, YCCK) give 24-bit rows, never quantized. Computes the output size.
bool JpegConfigure(JpegDecoder* decoder, bool eightBit);

/// Starts decompression (a two-pass quantization or a multi-scan JPEG reads all data here).
bool JpegStart(JpegDecoder* decoder);

/// Reads every remaining scanline straight into the rows at `rows`, `stride` bytes apart: 3
/// bytes per pixel in blue-green-red order, or 1 palette index for quantized output. Tells
/// `progress`, when given, as rows are finished.
bool JpegReadRows(JpegDecoder* decoder, std::uint8_t* rows, std::ptrdiff_t stride, RowProgress* progress = nullptr);

bool JpegFinish(JpegDecoder* decoder);

/// Releases the library's object and all its memory; harmless when there is none.
void JpegClose(JpegDecoder* decoder);

/// Closes the decoder when it goes out of scope, whichever way.
class JpegDecoderGuard {
public:
    JpegDecoderGuard() : decoder{} {}
    ~JpegDecoderGuard() { JpegClose(&decoder); }
    JpegDecoderGuard(const JpegDecoderGuard&) = delete;
    JpegDecoderGuard& operator=(const JpegDecoderGuard&) = delete;

    JpegDecoder decoder;
};

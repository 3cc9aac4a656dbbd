// What other decoders make of a JPEG: djpeg, run as a child process, and camview's own bitmap,
// both as plain red-green-blue pixels for comparing.
#pragma once

#include "picture/jpeg_image.h"
#include "tests/support/jpeg_maker.h"

#include <QImage>
#include <QByteArray>
#include <QStringList>

#include <memory>
#include <string>

struct RgbPixels {
    int width = 0;
    int height = 0;
    Bytes rgb;  // 3 bytes per pixel, rows one after the other
    bool operator==(const RgbPixels&) const = default;
};

/// Writes `jpeg` to a temporary file and returns what `djpeg <arguments> FILE` writes (PPM or
/// PGM, grey expanded to red-green-blue). Fails the test (and returns empty pixels) when djpeg
/// fails or takes more than a few seconds. djpeg's exit code 2 (warnings) is accepted.
RgbPixels Djpeg(const Bytes& jpeg, const QStringList& arguments);

/// Parses a binary PPM or PGM file; empty pixels when it is none.
RgbPixels ParsePnm(const QByteArray& pnm);

/// Any QImage (the decoded bitmap's view, a grabbed widget) as plain pixels.
RgbPixels PixelsOf(const QImage& image);

/// The index of the first pixel where `a` and `b` differ by more than `tolerance` in some
/// channel, with both values, for test messages; empty when they agree.
std::string FirstDifference(const RgbPixels& a, const RgbPixels& b, int tolerance = 0);

/// A new graphic loaded from `jpeg` as the Connect command loads one (raises what that raises).
std::unique_ptr<TJPEGImage> LoadJpeg(const Bytes& jpeg);
/// The graphic's decoded bitmap, decoding it first if need be (raises what the first draw would).
RgbPixels Decoded(TJPEGImage& image);

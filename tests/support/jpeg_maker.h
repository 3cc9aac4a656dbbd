// JPEG files for the tests, made in memory with libjpeg's compressor, and the surgery that turns
// a good file into a broken one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

enum class JpegColour {
    YCbCr,      // the usual colour JPEG
    Grayscale,
    Cmyk,       // four components, no Adobe marker: samples stored as plain ink amounts
    CmykAdobe,  // four components with the Adobe marker: samples stored inverted
    Ycck,       // CMYK transformed to YCCK (always Adobe-marked)
};

struct JpegRecipe {
    int width = 64;
    int height = 48;
    JpegColour colour = JpegColour::YCbCr;
    int hSampling = 2;  // luma sampling of a YCbCr JPEG: 2x2 is 4:2:0, 2x1 4:2:2, 1x1 4:4:4
    int vSampling = 2;
    int quality = 90;
    bool progressive = false;
    bool arithmetic = false;
    int restartRows = 0;
    std::string name = "";  // for test output
};

/// How test output names a recipe.
void PrintTo(const JpegRecipe& recipe, std::ostream* out);

/// The tests' picture: gradients with finer detail on top, as `components` bytes per pixel
/// (1 grey, 3 red-green-blue, 4 CMYK ink amounts), rows one after the other.
Bytes TestPixels(int width, int height, int components);

/// Compresses TestPixels as the recipe says.
Bytes MakeJpeg(const JpegRecipe& recipe);
/// Compresses the given pixels (TestPixels' layout for the recipe's colour) as the recipe says.
Bytes CompressPixels(const Bytes& pixels, const JpegRecipe& recipe);

/// Offset of the first segment with marker FF `code`, walking the segments from the start of
/// the file to the first scan; npos when there is none.
std::size_t FindSegment(const Bytes& jpeg, std::uint8_t code);
/// Offset of the header (FF DA) of scan number `scan` (from 0).
std::size_t FindScan(const Bytes& jpeg, int scan);
/// The file up to (not including) the segment FF `code`, or up to its end.
Bytes CutBefore(const Bytes& jpeg, std::uint8_t code);
Bytes CutAfter(const Bytes& jpeg, std::uint8_t code);
/// The file cut `keep` bytes into the compressed data of its scan number `scan` (from 0).
Bytes CutInScan(const Bytes& jpeg, std::size_t keep, int scan = 0);

/// Frame-header surgery on a baseline (SOF0) file: another frame type marker, sample
/// precision, or size.
Bytes WithFrameType(Bytes jpeg, std::uint8_t code);
Bytes WithPrecision(Bytes jpeg, int bits);
Bytes WithSize(Bytes jpeg, int width, int height);
/// A hand-built header: start of image, a frame of `components` components, a scan of the first.
Bytes WithComponentCount(int components);
/// The header of a baseline grayscale file of any size, with its first scan's header and a
/// little data: the decoder gets as far as allocating for the picture.
Bytes HugeGrayscaleHeader(int width, int height);

/// A large 4:2:0 colour JPEG made quickly (rows of a ramp that shifts from row to row), for
/// size limits: pixel (x, y) is about ((x + y) % 256, 255 - (x + y) % 256, 128).
Bytes MakeLargeJpeg(int width, int height);

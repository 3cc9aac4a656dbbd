// The JPEG fuzzer's seeds: small pictures of every kind the decoding tests make, and the broken
// variants those tests feed the decoder. Written out by make_seeds for the fuzz build, and
// replayed by the fuzz regression test.
#pragma once

#include "tests/support/jpeg_maker.h"

#include <string>
#include <utility>
#include <vector>

inline std::vector<std::pair<std::string, Bytes>> JpegSeeds() {
    const Bytes good = MakeJpeg({.width = 40, .height = 24});
    const Bytes progressive = MakeJpeg({.width = 40, .height = 24, .progressive = true});
    return {
        {"ycbcr420", good},
        {"ycbcr422", MakeJpeg({.width = 33, .height = 17, .hSampling = 2, .vSampling = 1})},
        {"ycbcr444", MakeJpeg({.width = 16, .height = 16, .hSampling = 1, .vSampling = 1, .quality = 50})},
        {"grayscale", MakeJpeg({.width = 24, .height = 40, .colour = JpegColour::Grayscale})},
        {"grayscale-progressive", MakeJpeg({.width = 24, .height = 9, .colour = JpegColour::Grayscale, .progressive = true})},
        {"cmyk", MakeJpeg({.width = 16, .height = 8, .colour = JpegColour::Cmyk})},
        {"cmyk-adobe", MakeJpeg({.width = 16, .height = 8, .colour = JpegColour::CmykAdobe})},
        {"ycck", MakeJpeg({.width = 16, .height = 8, .colour = JpegColour::Ycck})},
        {"progressive", progressive},
        {"arithmetic", MakeJpeg({.width = 32, .height = 16, .arithmetic = true})},
        {"arithmetic-progressive", MakeJpeg({.width = 32, .height = 16, .progressive = true, .arithmetic = true})},
        {"restart-intervals", MakeJpeg({.width = 48, .height = 48, .restartRows = 1})},
        {"one-pixel", MakeJpeg({.width = 1, .height = 1})},
        {"cut-in-scan", CutInScan(good, 20)},
        {"cut-in-later-scan", CutInScan(progressive, 10, 3)},
        {"cut-before-frame", CutBefore(good, 0xC0)},
        {"cut-after-frame", CutAfter(good, 0xC0)},
        {"precision-12", WithPrecision(good, 12)},
        {"lossless-frame", WithFrameType(good, 0xC3)},
        {"progressive-frame-on-baseline-data", WithFrameType(good, 0xC2)},
        {"four-components-by-hand", WithComponentCount(4)},
        {"eleven-components", WithComponentCount(11)},
        {"large-header", HugeGrayscaleHeader(4000, 3000)},
        {"html", {'<', 'h', 't', 'm', 'l', '>', '\n'}},
    };
}

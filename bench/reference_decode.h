// The reference the benchmarks hold our decoder against: a plain libjpeg-turbo decode with the
// same settings (floating-point IDCT, block smoothing, blue-green-red output) into one
// preallocated buffer.
#pragma once

#include <cstdint>
#include <vector>

struct ReferenceDecoder {
    /// Decodes `jpeg` into `pixels` (resized once, then reused); returns false on a decoder error.
    bool Decode(const std::vector<std::uint8_t>& jpeg);
    std::vector<std::uint8_t> pixels;
    int width = 0;
    int height = 0;
};

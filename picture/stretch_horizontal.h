// The scaler's horizontal pass: making an output row from a row of column sums. AVX2 with
// fused multiply-add where the processor has it, plain integer arithmetic otherwise; both give
// the same pixels.
#pragma once

#include "picture/stretch_axis.h"

#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <vector>

/// Makes output rows from rows of column sums: each pixel is the weighted sum over the columns
/// it covers, divided by the total weight and rounded (half up).
class HorizontalPass {
public:
    static constexpr int kMaxDenseColumns = 4;
    static constexpr std::size_t kAccPadding = 3 * kMaxDenseColumns + 1;

    /// `axis` is the horizontal one; `total` the total weight of an output pixel over both
    /// axes; `largestSum` a bound on every column sum.
    HorizontalPass(const Axis& axis, std::uint64_t total, std::uint64_t largestSum);

    /// `acc` holds 3 sums per source column (blue, green, red) and kAccPadding more elements
    /// that can be read; `line` gets the output row as 0xFFRRGGBB.
    void Run(const std::uint32_t* acc, QRgb* line) const;

    // An output pixel: the weight of its first and of its last column, and `count` columns in
    // all, those between with the axis' full weight.
    struct Span {
        std::uint32_t first, count, firstWeight, lastWeight;
    };

    // The same for the vector version: the offset of the first column's sums, the weights
    // as doubles.
    struct VectorSpan {
        std::uint32_t offset, count;
        double firstWeight, lastWeight;
    };

private:
    std::vector<Span> spans_;
    std::vector<VectorSpan> vectorSpans_;
    // When no pixel covers more than kMaxDenseColumns columns: each pixel's first sum and the
    // weights of as many columns as the widest pixel has, 0 beyond its own.
    int denseCount_ = 0;
    std::vector<std::uint32_t> denseOffsets_;
    std::vector<double> denseWeights_;
    std::uint64_t full_;
    std::uint64_t total_;
    std::uint64_t multiplier_ = 0;  // for the division by total_, when shift_ > 0
    int shift_ = 0;
    bool vector_ = false;
};

#include "picture/stretch_axis.h"

#include <algorithm>

namespace {

// Shrinking: in units where a source sample is `dst` long and an output sample `src` long,
// each weight is the length of the overlap, which makes the averaging exact.
Axis AreaAxis(std::uint32_t src, std::uint32_t dst) {
    Axis axis;
    axis.total = src;
    axis.full = dst;
    for (std::uint64_t i = 0; i < dst; ++i) {
        const std::uint64_t lo = i * src, hi = lo + src;
        const std::uint64_t k0 = lo / dst, k1 = (hi - 1) / dst;
        axis.first.push_back(std::uint32_t(k0));
        axis.start.push_back(std::uint32_t(axis.weights.size()));
        for (std::uint64_t k = k0; k <= k1; ++k)
            axis.weights.push_back(std::uint32_t(std::min(hi, (k + 1) * dst) - std::max(lo, k * dst)));
    }
    axis.start.push_back(std::uint32_t(axis.weights.size()));
    return axis;
}

// Enlarging: linear interpolation between the two source samples whose centres surround the
// output sample's centre, in 1/256 steps; the edges repeat the outermost samples.
Axis LinearAxis(std::uint32_t src, std::uint32_t dst) {
    constexpr std::uint32_t kOne = 256;
    Axis axis;
    axis.total = kOne;
    for (std::int64_t i = 0; i < std::int64_t(dst); ++i) {
        // The centre of output i lies at (2i + 1) * src / (2 * dst) - 1/2 source samples.
        const std::int64_t num = (2 * i + 1) * std::int64_t(src) - std::int64_t(dst);
        const std::int64_t den = 2 * std::int64_t(dst);
        std::int64_t k = 0;
        std::uint32_t f = 0;
        if (num > 0) {
            k = num / den;
            f = std::uint32_t(((num % den) * kOne + dst) / den);
            if (f == kOne) ++k, f = 0;
        }
        if (k >= std::int64_t(src) - 1) k = src - 1, f = 0;
        axis.first.push_back(std::uint32_t(k));
        axis.start.push_back(std::uint32_t(axis.weights.size()));
        axis.weights.push_back(kOne - f);
        if (f) axis.weights.push_back(f);
    }
    axis.start.push_back(std::uint32_t(axis.weights.size()));
    return axis;
}

Axis CopyAxis(std::uint32_t n) {
    Axis axis;
    axis.full = 1;
    for (std::uint32_t i = 0; i <= n; ++i) axis.start.push_back(i);
    for (std::uint32_t i = 0; i < n; ++i) axis.first.push_back(i), axis.weights.push_back(1);
    return axis;
}

}  // namespace

Axis MakeAxis(std::uint32_t src, std::uint32_t dst) {
    if (dst < src) return AreaAxis(src, dst);
    if (dst > src) return LinearAxis(src, dst);
    return CopyAxis(src);
}

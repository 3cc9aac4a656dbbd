// How the scaler maps one direction of the source onto the output: for each output sample,
// the source samples it takes and their weights.
#pragma once

#include <cstdint>
#include <vector>

/// Output i takes the weights weights[start[i]] .. weights[start[i+1] - 1] of the source
/// samples from first[i] on. Every output's weights add up to `total`, and every weight but
/// an output's first and last equals `full`.
struct Axis {
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> weights;
    std::uint64_t total = 1;
    std::uint32_t full = 0;  // the weight of a source sample lying wholly inside one output
};

/// Area averaging where `dst` < `src`, linear interpolation where it is larger, a plain copy
/// where they are equal.
Axis MakeAxis(std::uint32_t src, std::uint32_t dst);

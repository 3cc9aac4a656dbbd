// The scaler's vertical pass: adding source rows down the columns into sums. SSE2 where
// available (every x86-64), with plain loops for the rest.
#pragma once

#include <cstddef>
#include <cstdint>

/// sum[i] += rows[0][i] + ... + rows[count - 1][i]
void AddRows(std::uint16_t* sum, const std::uint8_t* const* rows, int count, std::size_t n);
/// acc[i] += w * row[i]
void AddWeighted(std::uint32_t* acc, const std::uint8_t* row, std::uint32_t w, std::size_t n);
/// acc[i] = the sum of weights[r] * rows[r][i] over `count` rows, 1 to kMaxWeightedRows.
constexpr int kMaxWeightedRows = 8;
void SetWeighted(std::uint32_t* acc, const std::uint8_t* const* rows, const std::uint32_t* weights, int count,
                 std::size_t n);
/// acc[i] += w * sum[i]; sum[i] = 0
void FlushSum(std::uint32_t* acc, std::uint16_t* sum, std::uint32_t w, std::size_t n);

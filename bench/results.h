// The figures of one benchmark run: a table on the terminal and the same rows as JSON.
#pragma once

#include <string>
#include <vector>

struct BenchRow {
    std::string figure;     // e.g. "decode"
    std::string size;       // e.g. "7680x4320"
    double value = 0;       // what was measured
    std::string unit;       // "ms" or "MiB"
    double reference = 0;   // what it is held against (0: none)
    std::string referenceName;
    double limit = 0;       // the target: value / reference at most this, or value at most this
    bool limitIsRatio = true;
    bool Met() const;
    double Ratio() const { return reference > 0 ? value / reference : 0; }
};

void PrintTable(const std::vector<BenchRow>& rows);
/// Writes {"machine": "<processor>, <n> cores", "rows": [...]}, one object per row with the
/// keys figure, size, value, unit, reference (0: none), reference_name, ratio (value /
/// reference; 0 without a reference), limit (0: no target), limit_is_ratio and met.
void WriteJson(const std::vector<BenchRow>& rows, const std::string& path, const std::string& machine);

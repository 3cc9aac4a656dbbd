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
void WriteJson(const std::vector<BenchRow>& rows, const std::string& path, const std::string& machine);

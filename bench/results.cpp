#include "bench/results.h"

#include <cstdio>
#include <fstream>

bool BenchRow::Met() const {
    if (limit <= 0) return true;
    return limitIsRatio ? Ratio() <= limit : value <= limit;
}

void PrintTable(const std::vector<BenchRow>& rows) {
    std::printf("%-26s %-10s %12s  %-34s %12s %7s  %-10s\n", "figure", "size", "camview", "reference",
                "ref value", "ratio", "target");
    for (const BenchRow& r : rows) {
        char target[32] = "";
        if (r.limit > 0)
            std::snprintf(target, sizeof target, r.limitIsRatio ? "<= %.2fx %s" : "<= %.2f %s", r.limit,
                          r.Met() ? "ok" : "MISSED");
        char ratio[16] = "";
        if (r.reference > 0) std::snprintf(ratio, sizeof ratio, "%.2f", r.Ratio());
        char ref[24] = "";
        if (r.reference > 0) std::snprintf(ref, sizeof ref, "%.2f %s", r.reference, r.unit.c_str());
        std::printf("%-26s %-10s %9.2f %-3s %-34s %12s %7s  %s\n", r.figure.c_str(), r.size.c_str(), r.value,
                    r.unit.c_str(), r.referenceName.c_str(), ref, ratio, target);
    }
}

void WriteJson(const std::vector<BenchRow>& rows, const std::string& path, const std::string& machine) {
    std::ofstream out(path);
    out << "{\n  \"machine\": \"" << machine << "\",\n  \"rows\": [\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BenchRow& r = rows[i];
        out << "    {\"figure\": \"" << r.figure << "\", \"size\": \"" << r.size << "\", \"value\": " << r.value
            << ", \"unit\": \"" << r.unit << "\", \"reference\": " << r.reference << ", \"reference_name\": \""
            << r.referenceName << "\", \"ratio\": " << r.Ratio() << ", \"limit\": " << r.limit
            << ", \"limit_is_ratio\": " << (r.limitIsRatio ? "true" : "false") << ", \"met\": "
            << (r.Met() ? "true" : "false") << "}" << (i + 1 < rows.size() ? "," : "") << "\n";
    }
    out << "  ]\n}\n";
}

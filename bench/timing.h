// Small timing helpers for the benchmarks: each figure is the median of several runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

inline double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

/// Median milliseconds of `runs` calls of each of `a` and `b`, interleaved a, b, a, b... so that
/// both see the same machine (other load on a shared machine drifts over seconds).
inline std::pair<double, double> MedianPair(int runs, const std::function<void()>& a,
                                            const std::function<void()>& b) {
    std::vector<double> ta, tb;
    for (int i = 0; i < runs; ++i) {
        double t0 = NowMs();
        a();
        ta.push_back(NowMs() - t0);
        t0 = NowMs();
        b();
        tb.push_back(NowMs() - t0);
    }
    std::sort(ta.begin(), ta.end());
    std::sort(tb.begin(), tb.end());
    return {ta[ta.size() / 2], tb[tb.size() / 2]};
}

inline double MedianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double Median(int runs, const std::function<void()>& f) {
    return MedianPair(runs, f, [] {}).first;
}

/// How many runs a figure of a picture of `pixels` pixels gets: more for small, quick ones.
inline int RunsFor(long long pixels) {
    return pixels <= 640 * 480 ? 300 : pixels <= 1920 * 1080 ? 25 : pixels <= 3840 * 2160 ? 11 : 7;
}

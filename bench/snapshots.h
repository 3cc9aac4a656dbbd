// The snapshot sizes every benchmark measures, with their JPEG files made once per run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Snapshot {
    int width, height;
    std::vector<std::uint8_t> jpeg;
    std::string Name() const { return std::to_string(width) + "x" + std::to_string(height); }
    long long Pixels() const { return static_cast<long long>(width) * height; }
};

/// 640x480, 1920x1080, 3840x2160 and 7680x4320 camera-like snapshots (or only those whose
/// name is in `only`, when it is not empty).
std::vector<Snapshot> MakeSnapshots(const std::vector<std::string>& only = {});

// Camera-like test snapshots for the benchmarks: a scene with edges, texture and sensor noise,
// so that the entropy decoder works as hard as on a real picture (flat colour would not).
#pragma once

#include <cstdint>
#include <vector>

/// A baseline JPEG of `width` x `height`, 4:2:0, at `quality`, the same bytes for the same arguments.
std::vector<std::uint8_t> MakeCameraSnapshot(int width, int height, int quality = 85);

#include "bench/snapshots.h"

#include "bench/snapshot_maker.h"

#include <algorithm>

std::vector<Snapshot> MakeSnapshots(const std::vector<std::string>& only) {
    std::vector<Snapshot> snapshots;
    for (auto [w, h] : {std::pair{640, 480}, {1920, 1080}, {3840, 2160}, {7680, 4320}}) {
        Snapshot s{w, h, {}};
        if (!only.empty() && std::find(only.begin(), only.end(), s.Name()) == only.end()) continue;
        s.jpeg = MakeCameraSnapshot(w, h);
        snapshots.push_back(std::move(s));
    }
    return snapshots;
}

// The benchmark groups; each appends its figures to `rows`.
#pragma once

#include "bench/results.h"
#include "bench/snapshots.h"

void DecodeBenches(const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows);
/// Needs the application object (offscreen is fine).
void FetchBenches(const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows);
/// Runs this program again as child processes (`self`), one per figure.
void ProcessBenches(const std::string& self, const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows);

/// The child processes' work: print one figure on standard output.
int MemoryChild(int width, int warmPort, int port);
int StartupChild(double parentStartMs);

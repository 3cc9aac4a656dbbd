// The benchmark groups; each appends its figures to `rows`.
#pragma once

#include "bench/results.h"
#include "bench/snapshots.h"

void DecodeBenches(const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows);
/// Needs the application object (offscreen is fine).
void FetchBenches(const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows);
/// Runs this program again as child processes (`self`), one per figure.
void ProcessBenches(const std::string& self, const std::vector<Snapshot>& snapshots, std::vector<BenchRow>& rows);

class TForm;
class TImage;
/// Shows `form` and returns once it is on the screen; raises when it does not get there.
void ShowExposed(TForm& form);
/// True when `image` holds a JPEG graphic that has been decoded.
bool ShowsDecodedPicture(TImage& image);

/// The child processes' work: print one figure on standard output.
int MemoryChild(int width, int warmPort, int port);
int StartupChild(double parentStartMs);

// Which vector instruction sets the scaler uses: those the processor has, unless a test has
// asked for the plain loops. Every vector version gives the same pixels as the plain one.
#pragma once

/// AVX2 with fused multiply-add.
bool UseAvx2();

/// For tests: false keeps the scaler to the plain loops from then on (SSE2 on
/// x86-64, which every such processor has).
void AllowVectorUnits(bool allow);

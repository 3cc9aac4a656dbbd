// Ports on 127.0.0.1 for tests that start servers of their own.
#pragma once

/// A port that nothing listened on a moment ago (another process may still take it).
int FreeLoopbackPort();
/// True when something accepts connections on 127.0.0.1:`port`.
bool LoopbackAccepts(int port);

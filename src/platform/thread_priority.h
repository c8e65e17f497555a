#pragma once

namespace kov {

// Lowers the CPU priority of the calling thread alone by steps nice levels (at most to 19), so
// that other threads of the program win a contended core. False when the system refused.
bool LowerCurrentThreadPriority(int steps);

// The nice level of the calling thread.
int CurrentThreadNiceness();

}  // namespace kov

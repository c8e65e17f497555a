#pragma once

#include <chrono>
#include <functional>

namespace kov {

// Threads for work that the caller does not wait for (a host lookup given up on, a dialog's
// background task). They are never detached, so none can outlive main unnoticed: an ended one
// is joined by the next start or by JoinHelperThreads, which main calls before it returns.

// Runs `work` on a helper thread; false when no thread could be had (work did not run).
bool StartHelperThread(std::function<void()> work);

// Joins the helper threads that have ended, waiting at most `limit` for those still running.
// Returns how many still run afterwards.
int JoinHelperThreads(std::chrono::milliseconds limit);

}  // namespace kov

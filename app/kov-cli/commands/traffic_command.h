#pragma once

#include <cstdio>

namespace kov {
class Application;
}

namespace kov::cli {

// --traffic: prints the traffic counted against LimitSum, the limit and whether it is
// reached (downloads then stop until the counter is reset).
void PrintTraffic(Application& app, std::FILE* out);

// --traffic-reset: sets the counter back to 0 in the per-user store. Returns the exit status:
// 0 done, 3 the store could not be written (reported).
int ResetTraffic(Application& app, bool quiet);

}  // namespace kov::cli

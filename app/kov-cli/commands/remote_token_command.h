#pragma once

namespace kov::cli {

// --remote-token [--new]: prints the remote-control token, made when missing; with renew a new
// one replaces it (callers holding the old one are refused from then on). Touches no list, so
// it needs no writer lock. Returns the exit status.
int RunRemoteToken(bool renew);

}  // namespace kov::cli

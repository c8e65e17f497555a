#pragma once

namespace kov {
class Application;
}

namespace kov::cli {

// --check-update: looks for a newer build once and prints the result. An update found is put
// into the current list (saved by the shut-down). 0 done, 1 the check failed, 2 no UpdateUrl.
int RunUpdateCheck(Application& app);

}  // namespace kov::cli

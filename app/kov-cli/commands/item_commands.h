#pragma once

namespace kov {
class Application;
}

namespace kov::cli {

struct CliOptions;

// Runs the list and item commands (--new-list, --use-list, --remove-list, --add, --set,
// --enable, --disable, --move, --remove, in that order), saves the current list when they
// changed it, then prints --show and --dry-run. Returns the exit status: 0 done, 2 a usage
// error or a refused value (the message says which and why; nothing is saved then, and the
// settings are as they were), 3 the list file could not be saved.
int RunItemCommands(const CliOptions& options, Application& app);

}  // namespace kov::cli

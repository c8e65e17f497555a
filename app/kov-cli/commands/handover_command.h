#pragma once

#include <optional>
#include <string>

namespace kov {
class Application;
}  // namespace kov

namespace kov::cli {

struct CliOptions;

// Whether the run asks only for what a running program takes over remote control: --add (with
// --name, --dest, --template), --set, --remove, --enable, --disable and -a.
bool CanHandOver(const CliOptions& options);

// When another program holds the program folder and has remote control on, sends the run's
// changes to it and returns the exit status a local run would give (printing what was done).
// nullopt when nothing was handed over: the folder is free, the commands cannot be handed over,
// or remote control is off or did not answer; hint then says how to make it work ("" for none),
// for the caller to print after its refusal.
std::optional<int> HandOverIfHeld(const CliOptions& options, const Application& app,
                                  std::string& hint);

}  // namespace kov::cli

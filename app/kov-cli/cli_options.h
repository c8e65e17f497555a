#pragma once

#include <string>
#include <vector>

namespace kov::cli {

// The headless front end's own options ("--name"); every other argument belongs to the
// program's command line.
struct CliOptions {
    bool help = false;
    bool version = false;
    std::string error;  // an unknown "--" option
    std::vector<std::string> programArgs;
};

CliOptions ParseCliOptions(int argc, char** argv);

// The text of --help.
std::string HelpText();

}  // namespace kov::cli

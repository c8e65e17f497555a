#pragma once

#include <string>
#include <vector>

namespace kov::cli {

// The headless front end's own options ("--name"); every other argument belongs to the
// program's command line.
struct CliOptions {
    bool help = false;
    bool version = false;
    bool list = false;                 // print the current list
    bool lists = false;                // print the catalogue
    bool checkUpdate = false;          // look for a newer build
    std::vector<std::string> add;      // URLs to add to the current list
    std::vector<std::string> imports;  // list files to import into the current list
    std::string error;                 // a usage error
    std::vector<std::string> programArgs;
};

CliOptions ParseCliOptions(int argc, char** argv);

// The text of --help.
std::string HelpText();

}  // namespace kov::cli

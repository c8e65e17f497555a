#pragma once

#include <string>
#include <vector>

#include "item_options.h"

namespace kov::cli {

// The headless front end's own options ("--name"); every other argument belongs to the
// program's command line.
struct CliOptions {
    bool help = false;
    bool version = false;
    bool list = false;                 // print the current list
    bool lists = false;                // print the catalogue
    std::vector<std::string> add;      // URLs to add to the current list
    std::vector<std::string> imports;  // list files to import into the current list
    std::string error;                 // a usage error
    // Item and list management, --dry-run, --help-templates; --json prints JSON.
    ItemOptions items;
    bool json = false;
    std::vector<std::string> programArgs;
};

CliOptions ParseCliOptions(int argc, char** argv);

// The text of --help.
std::string HelpText();

}  // namespace kov::cli

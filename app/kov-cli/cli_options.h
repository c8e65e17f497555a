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
    int replaceItem = 0;               // --replace N PATH: item N's rules applied to PATH
    std::string replacePath;
    std::string restoreFolder;  // --restore FOLDER: backups put back
    bool serve = false;         // run as a service until SIGTERM or SIGINT
    bool queue = false;         // print today's schedule queue
    bool tasks = false;         // print the schedule tasks
    std::string error;          // a usage error
    std::vector<std::string> programArgs;
};

CliOptions ParseCliOptions(int argc, char** argv);

// Whether the options only read the program folder (no lock needed, nothing saved).
bool OnlyReads(const CliOptions& options);

// The text of --help.
std::string HelpText();

}  // namespace kov::cli

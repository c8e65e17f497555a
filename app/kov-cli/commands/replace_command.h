#pragma once

#include "cli_options.h"

namespace kov {
class Application;
}

namespace kov::cli {

// --replace N PATH and --restore FOLDER: applies the replace rules of item N of the current list
// to a file or to the text files of a folder (with backups), or puts the backups of a folder
// back. Prints a "Filename / Results" table. Returns the exit status: 0 done, 1 some file could
// not be read or written, 2 no such item, no rules or no such folder.
int RunReplaceCommands(const CliOptions& options, Application& app);

}  // namespace kov::cli

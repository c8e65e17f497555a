#pragma once

#include "cli_options.h"
#include "mail_control/portion_queries.h"

namespace kov {
class Application;
}

namespace kov::cli {

// --distribute N PARTS: item N of the current list becomes a distributed download of PARTS
// portions (its size asked from the server), the part definitions are written beside its file,
// and every portion but the one the item keeps is mailed to the enabled KOV servers. Without
// an enabled server only the definitions are written, to be carried by hand. Exit status: 0
// all sent, 1 some portion not sent or no size, 2 usage or mail not configured, 3 a definition
// could not be written.
//
// --merge PATH: the part series of a folder, of a part file or of a whole file's name is
// joined into the whole file; the part count and size come from an item of the current list
// or a part definition beside the parts; only regular files are parts. Ctrl+C or SIGTERM stops
// the merge and leaves nothing behind. Exit status: 0 merged, 1 failed, 2 nothing to merge, 130
// interrupted.
int RunDistributeCommands(const CliOptions& options, Application& app, QuerySender send = {});

}  // namespace kov::cli

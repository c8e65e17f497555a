#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "item_options.h"

namespace kov::cli {

// Exit statuses of kov-cli.
enum ExitStatus : int {
    kExitOk = 0,            // every item fine
    kExitItemFailed = 1,    // some item failed
    kExitUsage = 2,         // a usage or configuration error; nothing was written
    kExitNotSaved = 3,      // a file (downloaded, list or settings) could not be saved
    kExitInterrupted = 130  // stopped by Ctrl+C or a signal
};

// The headless front end's own options ("--name"); every other argument belongs to the
// program's command line.
struct CliOptions {
    bool help = false;
    bool version = false;
    bool list = false;                 // print the current list
    bool lists = false;                // print the catalogue
    bool json = false;                 // --list, --lists and the session log as JSON
    bool quiet = false;                // print only errors
    bool init = false;                 // create a missing settings file
    std::vector<std::string> urls;     // "scheme://..." arguments: downloaded now, as wget does
    int commands = 0;                  // "--" options other than --quiet and --json
    std::vector<std::string> add;      // URLs to add to the current list
    std::vector<std::string> imports;  // list files to import into the current list
    int replaceItem = 0;               // --replace N PATH: item N's rules applied to PATH
    std::string replacePath;
    std::string restoreFolder;  // --restore FOLDER: backups put back
    bool serve = false;         // run as a service until SIGTERM or SIGINT
    bool queue = false;         // print today's schedule queue
    bool tasks = false;         // print the schedule tasks
    bool checkUpdate = false;   // look for a newer build now
    bool checkMail = false;     // poll the mailbox once and download what it brought
    int sendQuery = 0;          // --send-query N: item N as a query to the primary KOV server
    bool testMail = false;      // test the SMTP and POP3 settings
    bool servers = false;       // print the KOV servers
    bool distribute = false;    // --distribute N PARTS: split item N into PARTS portions
    int distributeItem = 0;
    int distributeParts = 0;
    std::string mergePath;     // --merge PATH: join the part files of a distributed download
    bool deleteParts = false;  // --delete-parts: remove the part files after a merge

    bool traffic = false;       // print the traffic counter
    bool trafficReset = false;  // set the traffic counter back to 0
    bool remoteToken = false;   // print the remote-control token (made when missing)
    bool newToken = false;      // --new with --remote-token: replace it
    // Item and list management, --dry-run, --help-templates.
    ItemOptions items;
    std::string error;  // a usage error
    std::vector<std::string> programArgs;
};

// One "--name" option: what it takes and what it sets. New options are new rows of the table
// in cli_options.cpp.
struct LongOption {
    enum class Takes { Nothing, One, Two, Several };
    std::string_view name;  // with the dashes
    Takes takes;
    std::string_view valueName;  // for --help and "needs" messages: "FILE", "URL"
    void (*apply)(CliOptions& options, std::vector<std::string> values);
};

// Reads argv strictly: an unknown "--" option, a missing value, more than seven program
// arguments, an unknown program option, an option path left empty or a second settings file
// set error.
CliOptions ParseCliOptions(int argc, char** argv);

// True for the commands that only show something: they must write no file, not even at
// start-up or shut-down.
bool IsReadOnly(const CliOptions& options);

// Whether an argument is a URL ("scheme://..."): never a settings file.
bool LooksLikeUrl(std::string_view arg);

// The text of --help.
std::string HelpText();

}  // namespace kov::cli

#include "cli_options.h"

#include <cstdlib>
#include <string_view>

namespace kov::cli {

CliOptions ParseCliOptions(int argc, char** argv) {
    CliOptions o;
    auto fail = [&o](std::string message) {
        if (o.error.empty()) o.error = std::move(message);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, 2) != "--") {
            o.programArgs.emplace_back(arg);
        } else if (arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--list") {
            o.list = true;
        } else if (arg == "--lists") {
            o.lists = true;
        } else if (arg == "--serve") {
            o.serve = true;
        } else if (arg == "--queue") {
            o.queue = true;
        } else if (arg == "--tasks") {
            o.tasks = true;
        } else if (arg == "--check-update") {
            o.checkUpdate = true;
        } else if (arg == "--add") {
            // Every following argument up to the next option is a URL.
            while (i + 1 < argc && std::string_view(argv[i + 1]).substr(0, 1) != "-") {
                o.add.emplace_back(argv[++i]);
            }
            if (o.add.empty()) fail("--add needs at least one URL");
        } else if (arg == "--import") {
            if (i + 1 >= argc) {
                fail("--import needs a file");
            } else {
                o.imports.emplace_back(argv[++i]);
            }
        } else if (arg == "--replace") {
            if (i + 2 >= argc || (o.replaceItem = std::atoi(argv[i + 1])) < 1) {
                fail("--replace needs an item number and a file or folder");
            } else {
                o.replacePath = argv[i + 2];
                i += 2;
            }
        } else if (arg == "--restore") {
            if (i + 1 >= argc) {
                fail("--restore needs a folder");
            } else {
                o.restoreFolder = argv[++i];
            }
        } else {
            fail("unknown option " + std::string(arg));
        }
    }
    return o;
}

bool OnlyReads(const CliOptions& o) {
    return (o.list || o.lists || o.queue || o.tasks) && o.add.empty() && o.imports.empty() &&
           !o.serve && o.replaceItem == 0 && o.restoreFolder.empty();
}

std::string HelpText() {
    return R"(Usage: kov-cli [OPTION]... [SETTINGS_FILE]

Kov's headless front end: runs the download lists of a Kov installation from a terminal,
cron or a server.

Lists:
  --lists         print the registered lists (the current one marked with *)
  --list          print the current list: number, name, URL, destination, last download,
                  disabled
  --add URL...    add items made from the URLs to the current list and save it
  --import FILE   append the items of a list file to the current list and save it

Search and replace:
  --replace N PATH  apply the replace rules of item N of the current list to the file PATH,
                  or to the files of the folder PATH that match SrFileMasks (default
                  *.htm *.html *.txt); each changed file keeps its original as FILE.bak
  --restore FOLDER  copy every FILE.bak of the folder back over FILE

Service:
  --serve         run in the foreground with the scheduler on: sessions start and stop by
                  the clock, the log goes to standard output; SIGHUP reloads kov.ini,
                  SIGTERM or SIGINT stops (a running session as AbortMode says) and exits
  --queue         print today's queue of scheduled tasks
  --tasks         print the scheduled tasks

Only one program writes to a program folder at a time: a second one exits with status 2
and names the first; --list, --lists, --queue and --tasks only read and always run.

Program options (at most seven arguments; "-" or "/" introduces each):
  SETTINGS_FILE   the settings file to use instead of kov.ini in the program folder
  -a, -auto       start a download session of the current list at once and close when it
                  ends; the scheduler is off for this run
  -d, -down       with -a: shut the computer down instead of closing when the session ends
  -bPATH          the banner file (-b"PATH WITH BLANKS" keeps blanks)
  -sPATH          the site-rule file, in the same way
  -nN             open list N (counted from 1) instead of the last current list
A "/" form (/a, /auto, /d, /down, /nN, /b"PATH", /s"PATH") works as well; any other
argument that begins with "/" is an absolute path.

Other options:
  --check-update  look for a newer build at UpdateUrl (kov.ini, [KOV-Main]); a newer one is
                  put into the current list; exit 0, 1 when the check failed, 2 when
                  UpdateUrl is not set
  --help          show this text and exit
  --version       show the version and exit

Files:
  program folder  $KOV_HOME; else the executable's folder when kov.ini stands beside it;
                  else $XDG_DATA_HOME/kov/ (~/.local/share/kov/)
  kov.ini         the settings, in the program folder
  Default.ini     the items of the list "Main", in the program folder
  user.ini        recent folders and the traffic counter, in $XDG_CONFIG_HOME/kov/
                  (~/.config/kov/)
)";
}

}  // namespace kov::cli

#include "cli_options.h"

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
        } else if (arg == "--json") {
            o.json = true;
        } else if (ParseItemOption(argc, argv, i, o.items, o.error)) {
            // an item or list command
        } else {
            fail("unknown option " + std::string(arg));
        }
    }
    return o;
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

)" + std::string(ItemOptionsHelp()) +
           R"(
Other options:
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

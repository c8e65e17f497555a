#include "cli_options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>

#include "core/command_line.h"

namespace kov::cli {

namespace {

using Takes = LongOption::Takes;

void Append(std::vector<std::string>& to, std::vector<std::string> values) {
    to.insert(to.end(), std::make_move_iterator(values.begin()),
              std::make_move_iterator(values.end()));
}

// A positive item number, or 0 for anything else.
int ParseItemNumber(const std::string& text) {
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || n > 100000000) return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

const LongOption kLongOptions[] = {
    {"--help", Takes::Nothing, "", [](CliOptions& o, auto) { o.help = true; }},
    {"--version", Takes::Nothing, "", [](CliOptions& o, auto) { o.version = true; }},
    {"--list", Takes::Nothing, "", [](CliOptions& o, auto) { o.list = true; }},
    {"--lists", Takes::Nothing, "", [](CliOptions& o, auto) { o.lists = true; }},
    {"--json", Takes::Nothing, "", [](CliOptions& o, auto) { o.json = true; }},
    {"--quiet", Takes::Nothing, "", [](CliOptions& o, auto) { o.quiet = true; }},
    {"--init", Takes::Nothing, "", [](CliOptions& o, auto) { o.init = true; }},
    {"--add", Takes::Several, "URL", [](CliOptions& o, auto v) { Append(o.add, std::move(v)); }},
    {"--import", Takes::One, "FILE",
     [](CliOptions& o, auto v) { Append(o.imports, std::move(v)); }},
    {"--replace", Takes::Two, "N PATH",
     [](CliOptions& o, auto v) {
         o.replaceItem = ParseItemNumber(v[0]);
         o.replacePath = std::move(v[1]);
     }},
    {"--restore", Takes::One, "FOLDER",
     [](CliOptions& o, auto v) { o.restoreFolder = std::move(v.front()); }},
    {"--serve", Takes::Nothing, "", [](CliOptions& o, auto) { o.serve = true; }},
    {"--queue", Takes::Nothing, "", [](CliOptions& o, auto) { o.queue = true; }},
    {"--tasks", Takes::Nothing, "", [](CliOptions& o, auto) { o.tasks = true; }},
    {"--check-update", Takes::Nothing, "", [](CliOptions& o, auto) { o.checkUpdate = true; }},
    {"--check-mail", Takes::Nothing, "", [](CliOptions& o, auto) { o.checkMail = true; }},
    {"--send-query", Takes::One, "N",
     [](CliOptions& o, auto v) {
         const int n = ParseItemNumber(v.front());
         o.sendQuery = n > 0 ? n : -1;
     }},
    {"--test-mail", Takes::Nothing, "", [](CliOptions& o, auto) { o.testMail = true; }},
    {"--servers", Takes::Nothing, "", [](CliOptions& o, auto) { o.servers = true; }},
    {"--distribute", Takes::Two, "N PARTS",
     [](CliOptions& o, auto v) {
         o.distribute = true;
         o.distributeItem = ParseItemNumber(v[0]);
         o.distributeParts = ParseItemNumber(v[1]);
     }},
    {"--merge", Takes::One, "PATH", [](CliOptions& o, auto v) { o.mergePath = std::move(v[0]); }},
    {"--delete-parts", Takes::Nothing, "", [](CliOptions& o, auto) { o.deleteParts = true; }},
    {"--traffic", Takes::Nothing, "", [](CliOptions& o, auto) { o.traffic = true; }},
    {"--traffic-reset", Takes::Nothing, "", [](CliOptions& o, auto) { o.trafficReset = true; }},
    {"--remote-token", Takes::Nothing, "", [](CliOptions& o, auto) { o.remoteToken = true; }},
    {"--new", Takes::Nothing, "", [](CliOptions& o, auto) { o.newToken = true; }},
};

const LongOption* FindLongOption(std::string_view name) {
    for (const LongOption& option : kLongOptions) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

// An argument that can be an option's value: anything but another option.
bool IsValue(std::string_view arg) {
    return !arg.empty() && arg.front() != '-';
}

// The program's own arguments, held to what the program would act on: every one must mean
// something, and nothing may be dropped.
std::string CheckProgramArgs(const std::vector<std::string>& args) {
    if (args.size() > CommandLine::kMaxArguments) {
        return "too many program arguments (" + std::to_string(args.size()) +
               "); at most seven are read";
    }
    const CommandLine line = ParseCommandLine(args, false);
    if (!line.ignored.empty()) {
        const std::string& bad = line.ignored.front();
        // "-n", "-n0": the option is known, its number is not.
        if (bad.size() > 1 && (bad[1] | 0x20) == 'n' &&
            bad.find_first_not_of("0123456789", 2) == std::string::npos)
            return bad + ": -n needs a list number from 1 (see --lists)";
        return "unknown option " + bad;
    }
    std::string settingsFile;
    for (const std::string& arg : args) {
        if (arg.empty()) return "an empty argument";
        // What the program takes for an option; every other argument names the settings file.
        const bool option = ParseCommandLine({arg}, false).settingsFile.empty();
        if (!option) {
            if (!settingsFile.empty())
                return "more than one settings file: " + settingsFile + " and " + arg;
            settingsFile = arg;
            continue;
        }
        const char letter = static_cast<char>(arg.size() > 1 ? arg[1] | 0x20 : 0);
        const std::string path = arg.size() > 2 ? arg.substr(2) : std::string();
        if ((letter == 'b' || letter == 's') && (path.empty() || path == "\"" || path == "\"\""))
            return arg.substr(0, 2) + " needs a path directly after it";
    }
    return {};
}

unsigned char Byte(char c) {
    return static_cast<unsigned char>(c);
}

// URLs to download now go with a settings file, rule files, --quiet and --json only.
std::string CheckUrlDownload(const CliOptions& o) {
    if (o.commands > 0)
        return "a URL to download goes without other commands (--add URL puts it into the list)";
    const CommandLine line = ParseCommandLine(o.programArgs, false);
    if (line.autoMode || line.shutdownAfter || line.listNumber > 0)
        return "-a, -d and -n run lists; a URL given alone is downloaded now";
    return {};
}

// Edits (insert, delete, change, swap of neighbours) that turn a into b.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// " (did you mean --list?)" for a mistyped option close to exactly one known one, else "".
std::string Suggestion(std::string_view typed) {
    std::vector<std::string_view> names = ItemOptionNames();
    for (const LongOption& option : kLongOptions)
        names.push_back(option.name);
    std::string_view best;
    std::size_t bestDistance = 3;  // two edits at most
    bool tie = false;
    for (const std::string_view name : names) {
        const std::size_t distance = EditDistance(typed, name);
        if (distance < bestDistance) {
            best = name;
            bestDistance = distance;
            tie = false;
        } else if (distance == bestDistance) {
            tie = true;
        }
    }
    if (best.empty() || tie) return "";
    return " (did you mean " + std::string(best) + "?)";
}

}  // namespace

CliOptions ParseCliOptions(int argc, char** argv) {
    CliOptions o;
    auto fail = [&o](std::string message) {
        if (o.error.empty()) o.error = std::move(message);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, 2) != "--") {
            (LooksLikeUrl(arg) ? o.urls : o.programArgs).emplace_back(arg);
            continue;
        }
        // "--name=value" is "--name value".
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const LongOption* option = FindLongOption(name);
        if (name != "--quiet" && name != "--json") ++o.commands;
        if (option == nullptr) {
            // The item and list commands read their own arguments.
            if (!ParseItemOption(argc, argv, i, o.items, o.error))
                fail("unknown option " + std::string(name) + Suggestion(name));
            continue;
        }
        std::vector<std::string> values;
        if (equals != std::string_view::npos) values.emplace_back(arg.substr(equals + 1));
        if (option->takes == Takes::Nothing) {
            if (!values.empty()) fail(std::string(name) + " takes no value");
        } else if (values.empty()) {
            const std::size_t wanted = option->takes == Takes::One   ? 1
                                       : option->takes == Takes::Two ? 2
                                                                     : SIZE_MAX;
            while (values.size() < wanted && i + 1 < argc && IsValue(argv[i + 1])) {
                values.emplace_back(argv[++i]);
            }
            if (option->takes == Takes::Two && values.size() != 2) values.clear();
        }
        if (option->takes != Takes::Nothing && (values.empty() || values.front().empty())) {
            fail(std::string(name) +
                 (option->takes == Takes::Several ? " needs at least one " : " needs a ") +
                 std::string(option->valueName));
            continue;
        }
        option->apply(o, std::move(values));
    }
    if (!o.replacePath.empty() && o.replaceItem < 1) fail("--replace needs an item number");
    if (o.sendQuery < 0) fail("--send-query needs an item number");
    if (o.distribute && o.distributeItem < 1) fail("--distribute needs an item number");
    if (o.deleteParts && o.mergePath.empty()) fail("--delete-parts goes with --merge");
    if (o.newToken && !o.remoteToken) fail("--new goes with --remote-token");
    // The token is the user's, not the program folder's: nothing else may ride along.
    if (o.remoteToken && (o.commands > (o.newToken ? 2 : 1) || !o.programArgs.empty()))
        fail("--remote-token goes alone (with --new at most)");
    if (o.error.empty()) fail(CheckProgramArgs(o.programArgs));
    if (o.error.empty() && !o.urls.empty()) fail(CheckUrlDownload(o));
    return o;
}

bool LooksLikeUrl(std::string_view arg) {
    const std::size_t colon = arg.find("://");
    if (colon == 0 || colon == std::string_view::npos || !std::isalpha(Byte(arg[0]))) return false;
    for (const char c : arg.substr(0, colon)) {
        if (!std::isalnum(Byte(c)) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool IsReadOnly(const CliOptions& options) {
    const ItemOptions& items = options.items;
    if (options.help || options.version || items.helpTemplates) return true;
    // Sending a query or testing the servers changes no file here.
    const bool shows = options.list || options.lists || options.queue || options.tasks ||
                       !items.show.empty() || items.dryRun || options.servers || options.testMail ||
                       options.sendQuery != 0 || options.traffic || options.remoteToken;
    const bool writes =
        !options.add.empty() || !options.imports.empty() || options.init || options.serve ||
        options.replaceItem != 0 || !options.restoreFolder.empty() || options.checkUpdate ||
        options.checkMail || items.Changes() || options.distribute || !options.mergePath.empty();
    // --dry-run with -a previews the session instead of running it.
    const bool session = ParseCommandLine(options.programArgs, false).autoMode && !items.dryRun;
    return shows && !writes && !options.trafficReset && !session;
}

// The help text around the item options' part, which item_options.cpp keeps with them.
constexpr const char kHelpBeforeItemOptions[] = R"(Usage: kov-cli [OPTION]... [SETTINGS_FILE]
  or:  kov-cli [--quiet] [--json] [SETTINGS_FILE] URL...

Kov's headless front end: runs the download lists of a Kov installation from a terminal,
cron or a server.

Download now:
  URL...          an argument of the form scheme://... is downloaded at once into the
                  current folder under the server's file name, with the settings' proxy and
                  new-URL defaults; a partial file is resumed; no list is changed (--add URL
                  puts a URL into the current list); exit statuses as with -a

Lists:
  --lists         print the registered lists (the current one marked with *)
  --list          print the current list: number, name, URL, destination, last download,
                  disabled
  --import FILE   append the items of a list file to the current list and save it

Output:
  --json          --list and --lists as a JSON array of objects, the session log (-a) as
                  one JSON object per line
  --quiet         print only errors

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

Remote control (the [Remote] section of kov.ini; docs/remote-api.md):
  --remote-token  print the token callers of the remote-control API show, making it when
                  missing ($XDG_CONFIG_HOME/kov/remote-token, mode 0600)
  --remote-token --new  replace the token; callers with the old one are refused
With Enabled=1, a service or window that holds the program folder takes --add, --set,
--remove, --enable, --disable and -a from a second kov-cli over remote control.

Mail (the [CtrByEmail] section of kov.ini):
  --check-mail    poll the POP3 mailbox once: the items of accepted queries are added to the
                  current list, saved and downloaded, then the run ends; exit 0, 1 when the
                  poll or an item failed, 2 when the mailbox is not configured (--serve polls
                  every PollInterval minutes when ActAsHost is on)
  --send-query N  send item N of the current list as a query to the primary KOV server;
                  exit 0, 1 when it was not sent, 2 when not configured
  --test-mail     connect to the SMTP server and log in to the POP3 mailbox, as a test
  --servers       print the KOV servers (number, enabled, address, primary mark)

Only one program writes to a program folder at a time: a second one exits with status 2
and names the first (or hands its changes over, see Remote control); the commands that
only read always run.

Program options (at most seven arguments; "-" or "/" introduces each):
  SETTINGS_FILE   the settings file to use instead of kov.ini in the program folder; it
                  must exist (see --init) and be a settings file
  -a, -auto       start a download session of the current list at once and close when it
                  ends; the scheduler is off for this run
  -d, -down       with -a: shut the computer down instead of closing when the session ends
  -bPATH          the banner file (-b"PATH WITH BLANKS" keeps blanks)
  -sPATH          the site-rule file, in the same way
  -nN             open list N (counted from 1) instead of the last current list
A "/" form (/a, /auto, /d, /down, /nN, /b"PATH", /s"PATH") works as well; any other
argument that begins with "/" is an absolute path.

)";

constexpr const char kHelpAfterItemOptions[] = R"(
Distributed download:
  --distribute N PARTS  split item N of the current list into PARTS portions: its size is
                  asked from the server, a part definition (Distributed-NAME.NNN.ini) is
                  written beside its file for every portion but the item's own, and those
                  portions are mailed to the enabled KOV servers of [CtrByEmail]; with none
                  enabled, carry the definitions by hand. Exit 0 all sent, 1 some not
  --merge PATH    join the part files FILE.001, FILE.002, ... into FILE; PATH is a part
                  file, FILE itself or a folder holding one series
  --delete-parts  with --merge: delete the part files after a successful merge

Traffic limit (LimitTrace and LimitSum in kov.ini, the counter in user.ini):
  --traffic       print the traffic counted so far, the limit and whether it is reached
  --traffic-reset set the counter back to 0, so that downloads run again

Other options:
  --check-update  look for a newer build at UpdateUrl (kov.ini, [KOV-Main]); a newer one is
                  put into the current list; exit 0, 1 when the check failed, 2 when
                  UpdateUrl is not set
  --init          create SETTINGS_FILE when it does not exist
  --help          show this text and exit
  --version       show the version and exit
--help, --help-templates, --version, --list, --lists, --queue, --tasks, --show,
--traffic and --dry-run alone write no file.

Exit status:
  0    every item was fine
  1    some item failed, or the dial-up line failed (dial, connect time-out, dropped)
  2    a usage or configuration error; nothing was written
  3    a file (a download, the list or the settings) could not be saved
  130  stopped by Ctrl+C or a signal

Files:
  program folder  $KOV_HOME; else the executable's folder when kov.ini stands beside it;
                  else $XDG_DATA_HOME/kov/ (~/.local/share/kov/)
  kov.ini         the settings, in the program folder
  Default.ini     the items of the list "Main", in the program folder
  user.ini        recent folders and the traffic counter, in $XDG_CONFIG_HOME/kov/
                  (~/.config/kov/)
)";

std::string HelpText() {
    return kHelpBeforeItemOptions + std::string(ItemOptionsHelp()) + kHelpAfterItemOptions;
}

}  // namespace kov::cli

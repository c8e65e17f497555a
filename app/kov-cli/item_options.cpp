#include "item_options.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace kov::cli {

namespace {

// A positive decimal number, as item and list numbers are written.
bool ParseNumber(std::string_view text, std::size_t& number) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, number);
    return !text.empty() && ec == std::errc() && ptr == end && number > 0;
}

// The next argument, when there is one that is not an option.
bool NextValue(int argc, char** argv, int& i, std::string& value) {
    if (i + 1 >= argc || argv[i + 1][0] == '-') return false;
    value = argv[++i];
    return true;
}

}  // namespace

bool ItemOptions::Changes() const {
    return !set.empty() || !remove.empty() || !enable.empty() || !disable.empty() ||
           !move.empty() || !newLists.empty() || !removeLists.empty() || !useList.empty();
}

bool ParseItemOption(int argc, char** argv, int& i, ItemOptions& o, std::string& error) {
    std::string_view arg = argv[i];
    auto fail = [&error](std::string message) {
        if (error.empty()) error = std::move(message);
    };
    // "--name=value" is "--name value", as for the other long options.
    std::optional<std::string> attached;
    if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
        attached = std::string(arg.substr(eq + 1));
        arg = arg.substr(0, eq);
    }
    auto next = [&](std::string& value) {
        if (!attached) return NextValue(argc, argv, i, value);
        value = std::move(*attached);
        attached.reset();
        return true;
    };
    const std::string name(arg);
    // One or more numbers: --remove, --enable, --disable.
    auto numbers = [&](std::vector<std::size_t>& out) {
        std::string value;
        const std::size_t before = out.size();
        while (next(value)) {
            std::size_t n = 0;
            if (!ParseNumber(value, n)) {
                fail(name + ": " + value + " is not an item number");
                return;
            }
            out.push_back(n);
        }
        if (out.size() == before) fail(name + " needs at least one item number");
    };
    std::string value;
    std::size_t n = 0;
    if (arg == "--show") {
        if (!next(value) || !ParseNumber(value, n)) {
            fail("--show needs an item number");
        } else {
            o.show.push_back(n);
        }
    } else if (arg == "--set") {
        ItemOptions::Assignments a;
        if (!next(value) || !ParseNumber(value, a.item)) {
            fail("--set needs an item number, then KEY=VALUE...");
            return true;
        }
        // KEY=VALUE arguments follow; a value may begin with '-' ("dayShift=-2").
        while (i + 1 < argc && argv[i + 1][0] != '-' &&
               std::string_view(argv[i + 1]).find('=') != std::string_view::npos) {
            a.pairs.emplace_back(argv[++i]);
        }
        if (a.pairs.empty()) fail("--set " + value + " needs at least one KEY=VALUE");
        o.set.push_back(std::move(a));
    } else if (arg == "--remove") {
        numbers(o.remove);
    } else if (arg == "--enable") {
        numbers(o.enable);
    } else if (arg == "--disable") {
        numbers(o.disable);
    } else if (arg == "--move") {
        std::size_t to = 0;
        std::string target;
        if (!next(value) || !ParseNumber(value, n) || !next(target) || !ParseNumber(target, to)) {
            fail("--move needs two item numbers: from and to");
        } else {
            o.move.emplace_back(n, to);
        }
    } else if (arg == "--new-list") {
        ItemOptions::NewList list;
        if (!next(list.name) || list.name.empty()) {
            fail("--new-list needs a name");
            return true;
        }
        if (next(list.file)) next(list.folder);
        o.newLists.push_back(std::move(list));
    } else if (arg == "--remove-list") {
        if (!next(value) || !ParseNumber(value, n)) {
            fail("--remove-list needs a list number");
        } else {
            o.removeLists.push_back(n);
        }
    } else if (arg == "--use-list") {
        if (!next(o.useList) || o.useList.empty()) {
            fail("--use-list needs a list number or name");
        }
    } else if (arg == "--name") {
        if (!next(o.addName) || o.addName.empty()) fail("--name needs a name");
    } else if (arg == "--dest") {
        if (!next(o.addDest) || o.addDest.empty()) fail("--dest needs a folder");
    } else if (arg == "--template") {
        o.addTemplate = true;
    } else if (arg == "--dry-run") {
        o.dryRun = true;
    } else if (arg == "--help-templates") {
        o.helpTemplates = true;
    } else {
        return false;
    }
    if (attached) fail(name + " takes no value");
    return true;
}

const char* ItemOptionsHelp() {
    return R"(Items (N counts from 1, as --list prints; the commands run in the order shown):
  --new-list NAME [FILE [FOLDER]]
                  register a new list (file and folder default to NAME.ini and
                  Downloads/NAME/ in the program folder)
  --use-list N|NAME
                  make that list the current one
  --remove-list N unregister list N (its file stays on disk)
  --add URL... [--name NAME] [--dest FOLDER] [--template]
                  add items made from the URLs; --template turns today's date and a
                  trailing number in each URL into a date or number series, and takes a
                  URL that already holds tokens (%Y, %3u, ...) as the template it is
  --set N KEY=VALUE...
                  change keys of item N (the keys of the list file, see --show N); a bad
                  key or value is refused with the reason and nothing is saved
  --enable N...   --disable N...
                  switch items on or off for sessions
  --move N M      move item N to place M
  --remove N...   delete items
  --show N        print every key of item N, one KEY=VALUE a line
  --json          with --show: print a JSON object instead
  --dry-run       print the URLs and local files a session (-a) would fetch now, for
                  every due item, and fetch nothing
  --help-templates
                  explain URL templates: date tokens, number series, macros, examples
)";
}

}  // namespace kov::cli

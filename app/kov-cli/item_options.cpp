#include "item_options.h"

#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

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

namespace {

// The arguments of one option: "--name=value" is "--name value", as for the other long
// options.
class OptionArgs {
public:
    OptionArgs(int argc, char** argv, int& i, std::string& error)
        : m_argc(argc), m_argv(argv), m_i(i), m_error(error) {
        std::string_view arg = argv[i];
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
            m_attached = std::string(arg.substr(eq + 1));
            arg = arg.substr(0, eq);
        }
        m_name = std::string(arg);
    }
    const std::string& Name() const { return m_name; }
    bool Next(std::string& value) {
        if (!m_attached) return NextValue(m_argc, m_argv, m_i, value);
        value = std::move(*m_attached);
        m_attached.reset();
        return true;
    }
    // The KEY=VALUE arguments that follow; a value may begin with '-' ("dayShift=-2").
    void Pairs(std::vector<std::string>& out) {
        while (m_i + 1 < m_argc && m_argv[m_i + 1][0] != '-' &&
               std::string_view(m_argv[m_i + 1]).find('=') != std::string_view::npos) {
            out.emplace_back(m_argv[++m_i]);
        }
    }
    void Fail(std::string message) {
        if (m_error.empty()) m_error = std::move(message);
    }
    // One or more item numbers: --remove, --enable, --disable.
    void Numbers(std::vector<std::size_t>& out) {
        std::string value;
        const std::size_t before = out.size();
        while (Next(value)) {
            std::size_t n = 0;
            if (!ParseNumber(value, n))
                return Fail(m_name + ": " + value + " is not an item number");
            out.push_back(n);
        }
        if (out.size() == before) Fail(m_name + " needs at least one item number");
    }
    // A value that nothing took.
    bool Leftover() const { return m_attached.has_value(); }

private:
    int m_argc;
    char** m_argv;
    int& m_i;
    std::string& m_error;
    std::string m_name;
    std::optional<std::string> m_attached;
};

void ParseShow(OptionArgs& a, ItemOptions& o) {
    std::string value;
    std::size_t n = 0;
    if (!a.Next(value) || !ParseNumber(value, n)) return a.Fail("--show needs an item number");
    o.show.push_back(n);
}

void ParseSet(OptionArgs& a, ItemOptions& o) {
    ItemOptions::Assignments set;
    std::string value;
    if (!a.Next(value) || !ParseNumber(value, set.item)) {
        return a.Fail("--set needs an item number, then KEY=VALUE...");
    }
    a.Pairs(set.pairs);
    if (set.pairs.empty()) a.Fail("--set " + value + " needs at least one KEY=VALUE");
    o.set.push_back(std::move(set));
}

void ParseMove(OptionArgs& a, ItemOptions& o) {
    std::string from, to;
    std::size_t n = 0, m = 0;
    if (!a.Next(from) || !ParseNumber(from, n) || !a.Next(to) || !ParseNumber(to, m)) {
        return a.Fail("--move needs two item numbers: from and to");
    }
    o.move.emplace_back(n, m);
}

void ParseNewList(OptionArgs& a, ItemOptions& o) {
    ItemOptions::NewList list;
    if (!a.Next(list.name) || list.name.empty()) return a.Fail("--new-list needs a name");
    if (a.Next(list.file)) a.Next(list.folder);
    o.newLists.push_back(std::move(list));
}

void ParseRemoveList(OptionArgs& a, ItemOptions& o) {
    std::string value;
    std::size_t n = 0;
    if (!a.Next(value) || !ParseNumber(value, n))
        return a.Fail("--remove-list needs a list number");
    o.removeLists.push_back(n);
}

// An option that takes one value that must not be empty.
template <std::string ItemOptions::*member>
void ParseText(OptionArgs& a, ItemOptions& o, const char* why) {
    if (!a.Next(o.*member) || (o.*member).empty()) a.Fail(a.Name() + " needs " + why);
}

struct OptionParser {
    std::string_view name;
    void (*parse)(OptionArgs& a, ItemOptions& o);
};

const OptionParser kParsers[] = {
    {"--show", ParseShow},
    {"--set", ParseSet},
    {"--remove", [](OptionArgs& a, ItemOptions& o) { a.Numbers(o.remove); }},
    {"--enable", [](OptionArgs& a, ItemOptions& o) { a.Numbers(o.enable); }},
    {"--disable", [](OptionArgs& a, ItemOptions& o) { a.Numbers(o.disable); }},
    {"--move", ParseMove},
    {"--new-list", ParseNewList},
    {"--remove-list", ParseRemoveList},
    {"--use-list",
     [](OptionArgs& a, ItemOptions& o) {
         ParseText<&ItemOptions::useList>(a, o, "a list number or name");
     }},
    {"--name",
     [](OptionArgs& a, ItemOptions& o) { ParseText<&ItemOptions::addName>(a, o, "a name"); }},
    {"--dest",
     [](OptionArgs& a, ItemOptions& o) { ParseText<&ItemOptions::addDest>(a, o, "a folder"); }},
    {"--template", [](OptionArgs&, ItemOptions& o) { o.addTemplate = true; }},
    {"--dry-run", [](OptionArgs&, ItemOptions& o) { o.dryRun = true; }},
    {"--help-templates", [](OptionArgs&, ItemOptions& o) { o.helpTemplates = true; }},
};

}  // namespace

std::vector<std::string_view> ItemOptionNames() {
    std::vector<std::string_view> names;
    for (const OptionParser& p : kParsers)
        names.push_back(p.name);
    return names;
}

bool ParseItemOption(int argc, char** argv, int& i, ItemOptions& o, std::string& error) {
    OptionArgs args(argc, argv, i, error);
    for (const OptionParser& p : kParsers) {
        if (p.name != args.Name()) continue;
        p.parse(args, o);
        if (args.Leftover()) args.Fail(args.Name() + " takes no value");
        return true;
    }
    return false;
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

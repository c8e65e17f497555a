#include "core/command_line.h"

#include "core/text/text_util.h"

namespace kov {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool inArgument = false;
    for (char c : line) {
        if (c == '"') {
            inQuotes = !inQuotes;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

namespace {

// The path after an option letter: quoted (blanks allowed) when a quote follows, else the rest.
std::string OptionPath(std::string_view rest) {
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(rest);
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A '/' also begins every absolute path here, so only unmistakable option forms count.
bool IsSlashOption(std::string_view rest) {
    if (IEquals(rest, "a") || IEquals(rest, "auto") || IEquals(rest, "d") ||
        IEquals(rest, "down")) {
        return true;
    }
    if (rest.size() > 1 && ToLowerAscii(rest[0]) == 'n') return AllDigits(rest.substr(1));
    return rest.size() > 1 && (ToLowerAscii(rest[0]) == 'b' || ToLowerAscii(rest[0]) == 's') &&
           rest[1] == '"';
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args, bool ctrlHeld) {
    CommandLine cl;
    if (ctrlHeld) return cl;
    bool down = false;
    const std::size_t count = std::min(args.size(), CommandLine::kMaxArguments);
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view arg = args[i];
        if (arg.empty()) continue;
        const bool option = arg[0] == '-' || (arg[0] == '/' && IsSlashOption(arg.substr(1)));
        if (!option) {
            cl.settingsFile = std::string(arg);
            continue;
        }
        const std::string_view rest = arg.substr(1);
        if (IEquals(rest, "a") || IEquals(rest, "auto")) {
            cl.autoMode = true;
        } else if (IEquals(rest, "d") || IEquals(rest, "down")) {
            down = true;
        } else if (!rest.empty() && ToLowerAscii(rest[0]) == 'b') {
            cl.bannerFile = OptionPath(rest.substr(1));
        } else if (!rest.empty() && ToLowerAscii(rest[0]) == 's') {
            cl.siteRuleFile = OptionPath(rest.substr(1));
        } else if (!rest.empty() && ToLowerAscii(rest[0]) == 'n' && AllDigits(rest.substr(1))) {
            const std::int32_t n = ParseInt32(rest.substr(1));
            if (n > 0) {
                cl.listNumber = n;
            } else {
                cl.ignored.emplace_back(arg);
            }
        } else {
            cl.ignored.emplace_back(arg);
        }
    }
    for (std::size_t i = count; i < args.size(); ++i)
        cl.ignored.push_back(args[i]);
    cl.shutdownAfter = cl.autoMode && down;
    return cl;
}

}  // namespace kov

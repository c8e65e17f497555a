#include "engine/job_command.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "core/text_util.h"
#include "platform/run_command.h"

namespace kov {

namespace {

// Where a %N sits in the command, as far as sh quoting goes. kSubst is $( ... ) or a
// parenthesis inside it, kBacktick `...`; both read like bare text.
enum class Quoting { kBare, kSingle, kDouble, kSubst, kBacktick };

// A relative path is taken from the current folder, not from the command's working folder, and
// must not start with '-' or be looked up in PATH.
std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return "./" + path;
    std::string absolute = cwd;
    if (absolute.back() != '/') absolute += '/';
    return absolute + path;
}

// Inside '...': a quote closes, is added escaped, and reopens.
std::string EscapedInSingle(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\'')
            out += "'\\''";
        else
            out += ch;
    }
    return out;
}

// The text as one shell word, whatever it contains.
std::string SingleQuoted(std::string_view text) {
    return "'" + EscapedInSingle(text) + "'";
}

std::string BackslashEscaped(std::string_view text, std::string_view special) {
    std::string out;
    for (char ch : text) {
        if (special.find(ch) != std::string_view::npos) out += '\\';
        out += ch;
    }
    return out;
}

// The text to put where the command's own quoting is in the given state, so that it arrives as
// that text and nothing in it is run.
std::string QuotedFor(Quoting state, std::string_view text) {
    switch (state) {
        case Quoting::kSingle:
            return EscapedInSingle(text);
        case Quoting::kDouble:
            return BackslashEscaped(text, "\"\\$`");
        case Quoting::kBare:
        case Quoting::kBacktick:
        case Quoting::kSubst:
            break;
    }
    return SingleQuoted(text);
}

bool IsStarForm(std::string_view cmd) {
    return !cmd.empty() && cmd.front() == '*';
}

}  // namespace

bool IsPerFileCommand(std::string_view cmd) {
    return IFind(cmd, "%N") != std::string_view::npos;
}

std::string PerFileCommandLine(std::string_view cmd, const std::string& localPath,
                               bool& deleteAfter) {
    const std::string path = AbsolutePath(localPath);
    deleteAfter = IsStarForm(cmd);
    if (deleteAfter) return SingleQuoted(path);

    // One scan replaces %n and %N alike, so a path that itself contains "%N" is never expanded
    // a second time. The scan follows sh quoting to quote the path for where it lands.
    std::string line;
    std::vector<Quoting> nesting{Quoting::kBare};
    auto pop = [&nesting] {
        if (nesting.size() > 1) nesting.pop_back();
    };
    for (std::size_t i = 0; i < cmd.size(); ++i) {
        const char ch = cmd[i];
        const char next = i + 1 < cmd.size() ? cmd[i + 1] : '\0';
        const Quoting state = nesting.back();
        if (ch == '%' && (next == 'n' || next == 'N')) {
            std::string quoted = QuotedFor(state, path);
            // Inside `...` the shell drops one backslash before \, ` and $ before it reads the
            // inner command, so those need one more.
            if (std::find(nesting.begin(), nesting.end(), Quoting::kBacktick) != nesting.end())
                quoted = BackslashEscaped(quoted, "\\`$");
            line += quoted;
            ++i;
            continue;
        }
        line += ch;
        if (state == Quoting::kSingle) {
            if (ch == '\'') pop();
            continue;
        }
        if (ch == '\\' && next != '\0') {
            line += next;  // an escaped character (\%N too) is taken as it is
            ++i;
        } else if (ch == '$' && next == '(') {
            line += next;
            ++i;
            nesting.push_back(Quoting::kSubst);
        } else if (ch == '`') {
            if (state == Quoting::kBacktick)
                pop();
            else
                nesting.push_back(Quoting::kBacktick);
        } else if (state == Quoting::kDouble) {
            if (ch == '"') pop();
        } else if (ch == '\'') {
            nesting.push_back(Quoting::kSingle);
        } else if (ch == '"') {
            nesting.push_back(Quoting::kDouble);
        } else if (state == Quoting::kSubst && ch == '(') {
            nesting.push_back(Quoting::kSubst);
        } else if (state == Quoting::kSubst && ch == ')') {
            pop();
        }
    }
    return line;
}

std::string FinalCommandLine(std::string_view cmd, const std::string& lastLocalPath,
                             bool& deleteAfter) {
    deleteAfter = IsStarForm(cmd);
    if (deleteAfter) return SingleQuoted(AbsolutePath(lastLocalPath));
    return std::string(cmd);
}

int RunJobCommand(const std::string& commandLine, const std::string& folder,
                  const std::atomic<int>* stopRequest) {
    std::string workFolder = folder;
    while (workFolder.size() > 1 && (workFolder.back() == '/' || workFolder.back() == '\\'))
        workFolder.pop_back();
    return RunCommandUntil(commandLine, kJobCommandLimit, workFolder, [stopRequest] {
        return stopRequest != nullptr && stopRequest->load() >= 2;
    });
}

}  // namespace kov

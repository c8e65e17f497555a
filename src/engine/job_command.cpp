#include "engine/job_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "core/text/text_util.h"
#include "engine/job.h"
#include "platform/run_command.h"

namespace kov {

namespace {

// What sh exits with when it cannot run a program: not executable, not found.
constexpr int kShellCannotExecute = 126;
constexpr int kShellNotFound = 127;

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

// A path without these can go into any shell text: at worst a further shell splits it at spaces
// or expands a wildcard in it, but nothing in it runs.
bool ShellActsOn(std::string_view path) {
    return std::any_of(path.begin(), path.end(), [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return byte < 0x20 || byte == 0x7f ||
               std::string_view("`$'\"\\;|&<>()").find(ch) != std::string_view::npos;
    });
}

// The text to put where the command's own quoting is in the given state. Quoted text may be the
// script of a further shell, which would read the path as code: a path it could act on stays in
// the environment, and the reference to it travels instead.
std::string QuotedFor(Quoting state, const std::string& path) {
    const std::string reference = std::string("\"$") + kFileVariable + "\"";
    switch (state) {
        case Quoting::kSingle:
            return ShellActsOn(path) ? reference : path;
        case Quoting::kDouble:
            return ShellActsOn(path) ? BackslashEscaped(reference, "\"$") : path;
        case Quoting::kBare:
        case Quoting::kBacktick:
        case Quoting::kSubst:
            break;
    }
    return SingleQuoted(path);
}

bool IsStarForm(std::string_view cmd) {
    return !cmd.empty() && cmd.front() == '*';
}

// The "*" form: the line is the file itself, as one word.
JobCommand RunFile(const std::string& path) {
    return {SingleQuoted(path), path, true};
}

}  // namespace

bool IsPerFileCommand(std::string_view cmd) {
    return IFind(cmd, "%N") != std::string_view::npos;
}

JobCommand PerFileCommand(std::string_view cmd, const std::string& localPath) {
    const std::string path = AbsolutePath(localPath);
    if (IsStarForm(cmd)) return RunFile(path);

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
    return {line, path, false};
}

JobCommand FinalCommand(std::string_view cmd, const std::string& lastLocalPath) {
    const std::string path = lastLocalPath.empty() ? std::string() : AbsolutePath(lastLocalPath);
    if (IsStarForm(cmd)) return RunFile(path);
    return {std::string(cmd), path, false};
}

bool CommandRun::Started() const {
    return result != -1 && exitStatus != kShellCannotExecute && exitStatus != kShellNotFound;
}

CommandRun RunJobCommand(const JobCommand& command, const std::string& folder,
                         const std::atomic<int>* stopRequest) {
    // A downloaded program arrives without its execute bit.
    struct stat st;
    if (command.runsFile && ::stat(command.file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::chmod(command.file.c_str(), (st.st_mode & 07777) | S_IXUSR);

    CommandOptions options;
    options.folder = folder;
    while (options.folder.size() > 1 &&
           (options.folder.back() == '/' || options.folder.back() == '\\'))
        options.folder.pop_back();
    if (!command.file.empty())
        options.environment.push_back(std::string(kFileVariable) + "=" + command.file);
    options.cancelled = [stopRequest] {
        return stopRequest != nullptr && stopRequest->load() >= kStopNow;
    };
    const int code = RunCommand(command.line, kJobCommandLimit, options);
    if (code == -1) return {-1, -1};
    if (code == kCommandTimedOut) return {kCommandTimedOut, code};
    return {0, code};
}

}  // namespace kov

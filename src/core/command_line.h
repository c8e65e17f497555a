#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kov {

// What the program's command line asks for.
struct CommandLine {
    static constexpr std::size_t kMaxArguments = 7;
    std::string settingsFile;    // empty: the program folder's kov.ini
    bool autoMode = false;       // a / auto: run the current list at once, then close
    bool shutdownAfter = false;  // d / down together with a / auto: power off instead of closing
    std::string bannerFile;      // b<path> or b"<path>"
    std::string siteRuleFile;    // s<path> or s"<path>"
    int listNumber = 0;          // n<N>: open list N (from 1); 0 = none
    // Arguments that were ignored: unknown options and those beyond the seventh. The program
    // goes on without them; a front end may refuse them instead.
    std::vector<std::string> ignored;
};

// Splits a command-line text at blanks; double quotes protect blanks and are removed.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Reads up to seven arguments. An argument beginning with '-' is an option; one beginning with
// '/' is an option only in the forms /a, /auto, /d, /down, /n<N>, /b"<path>" and /s"<path>"
// (any other is an absolute path); the rest name the settings file. With ctrlHeld the command
// line is ignored.
CommandLine ParseCommandLine(const std::vector<std::string>& args, bool ctrlHeld);

}  // namespace kov

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kov::cli {

// The options that manage items and lists, preview a session and explain templates. Item and
// list numbers count from 1, as --list and --lists print them.
struct ItemOptions {
    struct Assignments {
        std::size_t item = 0;
        std::vector<std::string> pairs;  // KEY=VALUE
    };
    struct NewList {
        std::string name;
        std::string file;    // "" = proposed from the name
        std::string folder;  // "" = proposed from the name
    };
    std::vector<std::size_t> show;
    std::vector<Assignments> set;
    std::vector<std::size_t> remove;
    std::vector<std::size_t> enable;
    std::vector<std::size_t> disable;
    std::vector<std::pair<std::size_t, std::size_t>> move;  // from, to
    std::vector<NewList> newLists;
    std::vector<std::size_t> removeLists;
    std::string useList;  // a number or a name; "" = none
    // How --add makes its items.
    std::string addName;
    std::string addDest;
    bool addTemplate = false;
    bool dryRun = false;
    bool helpTemplates = false;

    // Whether any option here changes an item or a list.
    bool Changes() const;
};

// Reads the option at argv[i] (and the arguments it takes, advancing i) when it is one of
// ours. False when it is not; error gets the first usage error.
bool ParseItemOption(int argc, char** argv, int& i, ItemOptions& options, std::string& error);

// The names of the item and list options ("--show", ...).
std::vector<std::string_view> ItemOptionNames();

// The lines --help shows for these options.
const char* ItemOptionsHelp();

}  // namespace kov::cli

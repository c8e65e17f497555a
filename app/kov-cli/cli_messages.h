#pragma once

#include <cstddef>
#include <string>

namespace kov::cli {

// Every message of kov-cli itself goes to standard error as "kov-cli: TEXT"; a fault in an
// option's value reads "kov-cli: --OPTION VALUE: why" (docs/cli.md has the table).
void PrintError(const std::string& text);

// "item N: no such item; the list holds C items", the same for every command that takes an
// item number (after its "--OPTION: ").
std::string NoSuchItem(long n, std::size_t count);

}  // namespace kov::cli

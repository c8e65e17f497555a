#include "cli_messages.h"

#include <cstdio>

#include "core/text/terminal_text.h"

namespace kov::cli {

void PrintError(const std::string& text) {
    std::fprintf(stderr, "kov-cli: %s\n", TerminalSafe(text, true).c_str());
}

std::string NoSuchItem(long n, std::size_t count) {
    return "item " + std::to_string(n) + ": no such item; the list holds " + std::to_string(count) +
           (count == 1 ? " item" : " items");
}

}  // namespace kov::cli

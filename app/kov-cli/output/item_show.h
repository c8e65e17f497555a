#pragma once

#include <cstddef>
#include <cstdio>

namespace kov {
struct UrlItem;
}

namespace kov::cli {

// Every key of an item: "[item N]" and one KEY=VALUE a line, as the list file holds them, or
// one JSON object (with "item": N first) on one line.
void PrintItem(const UrlItem& item, std::size_t number, bool json, std::FILE* out);

}  // namespace kov::cli

#pragma once

#include <cstdio>

namespace kov {
class ListDocument;
}

namespace kov::cli {

// Tab-separated tables with a header line, for people and for scripts alike.
void PrintLists(const ListDocument& document, std::FILE* out);
void PrintCurrentList(const ListDocument& document, std::FILE* out);

}  // namespace kov::cli

#pragma once

#include <cstdio>

namespace kov {
class ListDocument;
}

namespace kov::cli {

enum class ListFormat { Table, Json };

// Tab-separated tables with a header line, for people and for scripts alike; or a JSON array
// of one object per row.
void PrintLists(const ListDocument& document, ListFormat format, std::FILE* out);
void PrintCurrentList(const ListDocument& document, ListFormat format, std::FILE* out);

}  // namespace kov::cli

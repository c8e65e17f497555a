#pragma once

#include <cstdio>
#include <ctime>

#include "core/settings/app_settings.h"

namespace kov {
class ListDocument;
}

namespace kov::cli {

// Prints what a session of the current list started at now would fetch: for every due item
// the concrete URLs (dates and numbers expanded) and the local files, and why each other item
// is not due. Fetches nothing and writes no file.
void PrintDryRun(const ListDocument& doc, const AppSettings& settings, std::time_t now,
                 std::FILE* out);

}  // namespace kov::cli

#pragma once

// A query pasted as text (copied from a query mail): its items for the current list.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

// The items of text when it contains "<URLIST>", else none. Each item's destination becomes
// "<programFolder>EmailQry/<YYYYMMDD-hhmmss>/" with the last part of its own destination,
// made safe as for received queries.
std::vector<UrlItem> ItemsFromClipboardText(std::string_view text, const std::string& programFolder,
                                            std::time_t now);

}  // namespace kov

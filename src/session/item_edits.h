#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/app_settings.h"
#include "model/url_item.h"

namespace kov {

class ListDocument;

// Items asked for from outside the window (the command line, the remote API): the URLs and
// what all of them get.
struct NewItemsRequest {
    std::vector<std::string> urls;
    std::string name;  // "" keeps the name made from each URL
    std::string dest;  // "" keeps the list's default folder; else a folder as given
    bool asTemplate = false;
};

// Why a request or a key was refused: the part ("url", "name", "dest" or a key), its value and
// the reason; an empty reason means nothing was refused.
struct ItemRefusal {
    std::string field;
    std::string value;
    std::string reason;
    bool Refused() const { return !reason.empty(); }
};

// Held to what a key change allows: a value too long to keep, or with a line break, is
// refused rather than cut or bent; a URL must have a scheme the program fetches.
ItemRefusal CheckNewItems(const NewItemsRequest& request, bool enableHttps);

// The item made from one URL of a checked request, not yet added. note tells what a template
// request could not find ("" when nothing to tell).
UrlItem MakeRequestedItem(const ListDocument& doc, const std::string& url,
                          const NewItemsRequest& request, const AppSettings& settings,
                          std::time_t now, std::string& note);

// Sets one key of an item being edited, as the list file names it, with the URL's scheme
// checked too. "" when done, else why; the item is then unchanged.
std::string SetCheckedKey(UrlItem& item, std::string_view key, std::string_view value,
                          bool enableHttps);

}  // namespace kov

#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "core/settings/app_settings.h"
#include "model/url_item.h"

namespace kov {

// The template a URL typed on the command line stands for. Tokens the user wrote (%Y, %D,
// %3u, %%, ...) stay tokens; a percent escape ("%C3", "%20") stays an escape, so it is
// doubled where a template would read it as a token. hasTokens tells whether any token was
// found.
std::string TemplateFromUrl(std::string_view url, bool& hasTokens);

// Turns the item made from url into a template item, as an add "as a template" asks: a URL that
// holds tokens is taken as the template it is (a number token makes it a series from 0); any
// other URL is parsed for today's date and a trailing number with the new-URL defaults.
// Returns a note for the user ("" when a date or a number was found).
std::string MakeTemplateItem(std::string_view url, UrlItem& item, const AppSettings& settings,
                             std::time_t now);

}  // namespace kov

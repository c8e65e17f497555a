#pragma once

#include "ui/preferences/preferences_page.h"

namespace kov {

// The "Remote control" page: the [Remote] settings and the token callers show. tokenPath ""
// is the user's token file.
PreferencesPage* MakeRemotePage(const PreferencesData& data, const std::string& tokenPath = "");

}  // namespace kov

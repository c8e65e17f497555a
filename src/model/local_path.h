#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

#include "model/macro_expander.h"
#include "model/url_item.h"

namespace kov {

inline constexpr std::size_t kLocalPathCapacity = 511;

// The local file an item downloads to for a moment: Dest with its path macros and tokens
// expanded (for time and CurrentNum), plus the name of the URL when Dest names a folder, or
// "noname" with the category's default extension for an http URL without a name. The URL is
// overrideUrl when it is not empty (its extension then decides the category), else Url
// expanded for time and CurrentNum. '?' and '*' become '_'; separators are written as '/'.
// A name taken from the URL is a single component and never "." or "..", so the file stays
// inside the destination folder.
std::string MakeLocalPath(const UrlItem& item, std::time_t time, std::string_view overrideUrl,
                          const MacroContext& context);

}  // namespace kov

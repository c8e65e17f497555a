#pragma once

#include <cstddef>
#include <string_view>

namespace kov {

// Position of needle in text from a position, or npos; exact bytes, like std::string_view::find.
// Made for pages searched for tags again and again: it looks at 16 places at once for the
// needle's first and last bytes, which in a page are rarely that far apart.
std::size_t FindNeedle(std::string_view text, std::string_view needle, std::size_t from = 0);

// The same with ASCII case ignored: lowerNeedle in lower case matches any case of its letters,
// as a search of the text in lower case would (no lower-case copy of the page is made).
std::size_t FindNeedleNoCase(std::string_view text, std::string_view lowerNeedle,
                             std::size_t from = 0);

}  // namespace kov

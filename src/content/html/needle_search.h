#pragma once

#include <cstddef>
#include <string_view>

namespace kov {

// Position of needle in text from a position, or npos; exact bytes, like std::string_view::find.
// Made for pages searched for tags again and again: it looks at 16 places at once for the
// needle's first and last bytes, which in a page are rarely that far apart.
std::size_t FindNeedle(std::string_view text, std::string_view needle, std::size_t from = 0);

}  // namespace kov

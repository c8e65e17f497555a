#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kov {

// A reference on a page resolved against the page's address as CombineUrl does, without
// encoding anything. The plain relative paths that fill today's pages are resolved here
// directly; anything else goes to CombineUrl. nullopt when the result is not a URL.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference);

}  // namespace kov

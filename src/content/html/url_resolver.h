#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kov {

// A reference on a page resolved against the page's address as CombineUrl does, without
// encoding anything. The plain relative paths and absolute http(s) addresses that fill today's
// pages are resolved here directly; anything else goes to CombineUrl. nullopt when the result
// is not a URL.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference);

// Where the fragment of reference starts when ResolveUrl(base, reference) is the resolved part
// before it with the fragment appended as it stands, so that the many links into one page are
// resolved once; npos when that is not sure (no fragment, nothing before it, or characters the
// client library might change).
std::size_t FragmentAppends(std::string_view base, std::string_view reference);

// True when ResolveUrl works reference out itself, keeping its query and fragment as they
// stand (no client library involved).
bool ResolvedDirectly(std::string_view base, std::string_view reference);

// The part of base that decides what a reference that starts with neither '?' nor '#' comes
// to: "http://host/dir/" of a plain http(s) base without query, fragment or dot segments;
// empty for any other base, where more of it counts.
std::string_view ReferenceFolder(std::string_view base);

}  // namespace kov

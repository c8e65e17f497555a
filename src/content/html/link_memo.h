#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "content/html/url_resolver.h"

namespace kov {

// What a link without its fragment came to on one page.
struct KnownLink {
    std::optional<std::string> result;  // without the fragment; nullopt: refused
    std::size_t urlSize = 0;            // the address resolved without the fragment
};
// Looked up by a view of the key: a hit makes no string.
struct LinkMemoHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const {
        return std::hash<std::string_view>{}(key);
    }
};
using LinkMemo = std::unordered_map<std::string, KnownLink, LinkMemoHash, std::equal_to<>>;

// A link worked out by make, or from what the same link with another fragment came to on the
// same page: pages link to places in the same pages again and again. The fragment of reference
// starts at hash (see FragmentAppends); make appends it to its result as suffix and refuses
// resolved addresses longer than capacity, which a longer fragment may exceed alone.
template <class Make>
std::optional<std::string> Memoized(LinkMemo& memo, std::string_view key, std::string_view base,
                                    std::string_view reference, std::size_t hash,
                                    std::string_view suffix, std::size_t capacity, Make make) {
    const std::size_t fragmentSize = reference.size() - hash;
    const auto known = memo.find(key);
    if (known != memo.end()) {
        if (known->second.urlSize + fragmentSize > capacity || !known->second.result)
            return std::nullopt;
        std::string found;
        found.reserve(known->second.result->size() + suffix.size());
        found.append(*known->second.result).append(suffix);
        return found;
    }
    std::optional<std::string> result = make();
    const std::optional<std::string> head = ResolveUrl(base, reference.substr(0, hash));
    // A refusal for the length alone may not hold for a shorter fragment.
    if (head && (result || head->size() + fragmentSize <= capacity)) {
        KnownLink link;
        link.urlSize = head->size();
        if (result) link.result = result->substr(0, result->size() - suffix.size());
        memo.emplace(std::string(key), std::move(link));
    }
    return result;
}

}  // namespace kov

#pragma once

// The rule every local name obeys, whatever the address it came from: it names a file directly
// in its folder, and holds no control character.

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "fuzz_support.h"

namespace kov::fuzz {

inline void CheckLocalName(std::string_view path, std::string_view folder) {
    const std::string_view name = path.substr(std::min(path.size(), folder.size()));
    if (!path.starts_with(folder) || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string_view::npos || HasControl(name))
        std::fprintf(stderr, "local name: %.*s\n", static_cast<int>(path.size()), path.data());
    Check(path.starts_with(folder), "a local name stays in its folder");
    Check(!name.empty() && name != "." && name != "..", "a local name names a file");
    Check(name.find('/') == std::string_view::npos, "a local name has no folder part");
    Check(!HasControl(name), "a local name has no control character");
}

}  // namespace kov::fuzz

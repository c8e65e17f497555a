#pragma once

namespace kov {

// The rules a session applies to every fetched page besides the item's own: banner rules,
// banned words and site rules, loaded at start-up.
struct PageRules {};

}  // namespace kov

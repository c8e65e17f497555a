#pragma once

#include <string>
#include <string_view>

namespace kov {

// The parts of a path named by the digits of selector: '1' the folder (up to and including the
// last '\', '/' or ':'), '2' the name (up to the last '.' after that), '3' the extension with
// its dot. "23" is name and extension.
std::string SplitPath(std::string_view path, std::string_view selector);

}  // namespace kov

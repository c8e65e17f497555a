#pragma once

#include <string>
#include <vector>

namespace kov {

// Where the user guide's front page may be, in the order it is looked for: beside the build
// tree the program runs from (<build>/app/kov/kov), beside an installation under any prefix
// (<prefix>/bin/kov), then the usual system prefixes.
std::vector<std::string> UserGuideCandidates(const std::string& executablePath);

// The first candidate that exists as a file, or "" when none does.
std::string FindUserGuide(const std::vector<std::string>& candidates);

}  // namespace kov

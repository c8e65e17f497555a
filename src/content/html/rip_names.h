#pragma once

#include <string>
#include <unordered_map>

namespace kov {

// The local names a job's rip has given so far, kept across the passes of a series: a later
// pass goes on with the generated-name counter and never writes over a file that an earlier
// pass fetched for another address.
struct RipNames {
    unsigned counter = 1;                                    // for "Internal-NNN"
    std::unordered_map<std::string, std::string> urlByPath;  // lower-case local path -> URL
};

}  // namespace kov

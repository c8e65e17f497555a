#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace kov {

// What a program run by RunProgram gave back.
struct ProgramOutput {
    // The exit code; 128 + signal when a signal ended it; -1 when it could not be started;
    // kCommandTimedOut when the limit passed or the run was cancelled (the program was killed).
    int exitCode = -1;
    std::string out;  // standard output, cut at the caller's bound
    std::string err;  // standard error, cut at the same bound
    bool truncated = false;
};

// Runs a program found on PATH with exactly these arguments (no shell: nothing in them is
// interpreted), standard input from /dev/null, in a process group of its own. Waits at most
// limit; then, or as soon as cancelled() says true (asked about every 50 ms), the whole group
// is killed. At most maxOutput bytes of each output stream are kept; the rest is read and
// dropped so that the program never blocks on a full pipe.
ProgramOutput RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit,
                         std::size_t maxOutput, const std::function<bool()>& cancelled = {});

// The full path of an executable file named name in one of the PATH folders; "" when none.
std::string FindOnPath(const std::string& name);

}  // namespace kov

// The command line, as a raw text and as separate arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = kov::SplitCommandLine(text);
    for (const std::string& arg : args) {
        if (arg.find('"') != std::string::npos) std::abort();  // quotes are removed
    }
    const kov::CommandLine cl = kov::ParseCommandLine(args, false);
    if (cl.listNumber < 0) std::abort();
    if (cl.shutdownAfter && !cl.autoMode) std::abort();

    // The same bytes as arguments split at NUL, the way a process receives them.
    std::vector<std::string> raw;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0) {
            raw.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    const kov::CommandLine direct = kov::ParseCommandLine(raw, false);
    if (direct.listNumber < 0) std::abort();
    const kov::CommandLine ignored = kov::ParseCommandLine(raw, true);
    if (!ignored.settingsFile.empty() || ignored.autoMode) std::abort();
    return 0;
}

#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

// The masks used when the setting names none.
inline constexpr std::string_view kDefaultReplaceMasks = "*.htm *.html *.txt";

// The files ApplyToFolder works on: for a target ending in a separator, every file of that
// folder (not of sub-folders) matching one of the masks (split at blanks, line ends, '|', ',',
// ';'), in mask order, each file once and never a ".bak" copy; otherwise the target itself.
std::vector<std::string> ReplaceTargets(const std::string& target, std::string_view masks);

// What happened to one file.
struct FileReplaceResult {
    std::string path;
    std::uint64_t count = 0;
    bool failed = false;  // read or write failure; error says why
    std::string error;
};

// How many changed files share one sync of their folder. Each file is written safely (data
// synced, then renamed); only the renames wait for the batch's folder sync.
inline constexpr std::size_t kReplaceSyncBatch = 64;

// Applies the rules to each file in turn, saving a changed file with a ".bak" backup, and
// reports each file as it is done. A stop flag that reads 2 or more ends the run between two
// files: every file is then either done (with its backup) or untouched. Returns the number of
// files done.
std::size_t ApplyToFiles(const std::vector<std::string>& files,
                         const std::vector<ReplaceRule>& rules,
                         const std::function<void(const FileReplaceResult&)>& report,
                         const std::atomic<int>* stop = nullptr);

// ApplyToFiles over ReplaceTargets(target, masks). Returns the number of files (0: nothing to
// work on).
std::size_t ApplyToFolder(const std::string& target, const std::vector<ReplaceRule>& rules,
                          std::string_view masks,
                          const std::function<void(const FileReplaceResult&)>& report);

// Copies every "name.bak" of the folder back over "name"; with deleteBackups the ".bak" file
// is removed afterwards. Goes on after a failure (listed in failures); a stop flag that reads
// 2 or more ends it between two files. Returns the number of files restored.
std::size_t RestoreFolder(const std::string& folder, bool deleteBackups,
                          std::vector<std::string>* failures = nullptr,
                          const std::atomic<int>* stop = nullptr);

}  // namespace kov

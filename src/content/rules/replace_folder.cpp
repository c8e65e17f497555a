#include "content/rules/replace_folder.h"

#include <cstdio>
#include <set>
#include <unordered_set>

#include "content/rules/safe_copy.h"
#include "content/rules/text_replacer.h"
#include "core/text/text_util.h"
#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::string_view kMaskSeparators = " \r\n|\t,;";
constexpr std::string_view kBackup = ".bak";

bool EndsWithSeparator(std::string_view path) {
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

bool Stopped(const std::atomic<int>* stop) {
    return stop && stop->load() >= 2;
}

// The folders of the files written since the last sync; each is synced once per batch.
class FolderSyncBatch {
public:
    ~FolderSyncBatch() { Sync(); }
    // True when this file completed a batch and the batch was synced.
    bool Written(const std::string& path) {
        m_folders.insert(FolderOf(path));
        if (++m_files < kReplaceSyncBatch) return false;
        Sync();
        return true;
    }
    void Sync() {
        for (const std::string& folder : m_folders)
            SyncFolder(folder);
        m_folders.clear();
        m_files = 0;
    }

private:
    std::set<std::string> m_folders;
    std::size_t m_files = 0;
};

}  // namespace

std::vector<std::string> ReplaceTargets(const std::string& target, std::string_view masks) {
    if (!EndsWithSeparator(target)) return {target};
    std::string folder = target;
    folder.back() = '/';
    if (masks.find_first_not_of(kMaskSeparators) == std::string_view::npos) {
        masks = kDefaultReplaceMasks;
    }
    std::vector<std::string> files;
    // Overlapping masks must not edit a file twice: its backup would then hold the first
    // result instead of the original.
    std::unordered_set<std::string> seen;
    std::size_t p = 0;
    while ((p = masks.find_first_not_of(kMaskSeparators, p)) != std::string_view::npos) {
        const std::size_t end = std::min(masks.find_first_of(kMaskSeparators, p), masks.size());
        const std::string mask(masks.substr(p, end - p));
        p = end;
        if (mask.find_first_of("/\\") != std::string::npos) continue;  // masks name files here
        for (const FolderEntry& entry : ListMatching(folder + mask)) {
            if (entry.isFolder || IEndsWith(entry.name, kBackup)) continue;
            if (seen.insert(entry.name).second) files.push_back(folder + entry.name);
        }
    }
    return files;
}

std::size_t ApplyToFiles(const std::vector<std::string>& files,
                         const std::vector<ReplaceRule>& rules,
                         const std::function<void(const FileReplaceResult&)>& report,
                         const std::atomic<int>* stop) {
    FolderSyncBatch batch;
    std::size_t done = 0;
    for (const std::string& path : files) {
        if (Stopped(stop)) break;
        const ReplaceOutcome outcome = LoadApplySave(path, rules, true, false);
        if (outcome.saved) batch.Written(path);
        FileReplaceResult result;
        result.path = path;
        result.count = outcome.count;
        result.failed = !outcome.loaded || (outcome.count > 0 && !outcome.saved);
        result.error = outcome.errorText;
        ++done;
        if (report) report(result);
    }
    return done;
}

std::size_t ApplyToFolder(const std::string& target, const std::vector<ReplaceRule>& rules,
                          std::string_view masks,
                          const std::function<void(const FileReplaceResult&)>& report) {
    const std::vector<std::string> files = ReplaceTargets(target, masks);
    ApplyToFiles(files, rules, report);
    return files.size();
}

std::size_t RestoreFolder(const std::string& folder, bool deleteBackups,
                          std::vector<std::string>* failures, const std::atomic<int>* stop) {
    // A backup goes only after the batch that restored its file is durable, so that a crash
    // never leaves a file without either.
    std::vector<std::string> restoredBackups;
    const auto removeBackups = [&] {
        for (const std::string& backup : restoredBackups) {
            if (std::remove(backup.c_str()) != 0 && failures)
                failures->push_back(backup + ": cannot be removed");
        }
        restoredBackups.clear();
    };
    FolderSyncBatch batch;
    std::size_t restored = 0;
    for (const FolderEntry& entry : ListMatching(WithTrailingSlash(folder) + "*.bak")) {
        if (Stopped(stop)) break;
        if (entry.isFolder || entry.name.size() <= kBackup.size()) continue;
        const std::string backup = WithTrailingSlash(folder) + entry.name;
        const std::string original = backup.substr(0, backup.size() - kBackup.size());
        std::string error;
        if (!CopyFileSafely(backup, original, error, false)) {
            if (failures) failures->push_back(error);
            continue;
        }
        ++restored;
        if (deleteBackups) restoredBackups.push_back(backup);
        if (batch.Written(original)) removeBackups();
    }
    batch.Sync();
    removeBackups();
    return restored;
}

}  // namespace kov

#include "commands/replace_command.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cli_messages.h"
#include "content/rules/replace_folder.h"
#include "core/language/message_table.h"
#include "core/text/terminal_text.h"
#include "platform/file_util.h"
#include "session/application.h"

namespace kov::cli {

namespace {

int ApplyItemRules(const CliOptions& options, Application& app) {
    const ListModel& rows = app.Document().Rows();
    if (options.replaceItem < 1 || static_cast<std::size_t>(options.replaceItem) > rows.Count()) {
        PrintError("--replace: " + NoSuchItem(options.replaceItem, rows.Count()));
        return 2;
    }
    const UrlItem& item = rows.At(static_cast<std::size_t>(options.replaceItem - 1)).item;
    if (item.rules.empty()) {
        PrintError("--replace: item " + std::to_string(options.replaceItem) + " (" + item.Name +
                   ") has no replace rules");
        return 2;
    }
    // A folder named without its trailing separator is still the folder.
    std::string target = options.replacePath;
    if (FolderExists(target)) {
        target = WithTrailingSlash(target);
    } else if (target.ends_with('/')) {
        PrintError("--replace " + target + ": No such folder");
        return 2;
    }
    int status = 0;
    bool header = false;
    const std::size_t files = ApplyToFolder(
        target, item.rules, app.Settings().SrFileMasks, [&](const FileReplaceResult& result) {
            if (!header) std::printf("Filename\tResults\n");
            header = true;
            if (result.failed) {
                std::printf("%s\terror: %s\n", TerminalSafe(result.path).c_str(),
                            TerminalSafe(result.error).c_str());
                status = 1;
            } else {
                std::printf("%s\t%" PRIu64 "\n", TerminalSafe(result.path).c_str(), result.count);
            }
        });
    if (files == 0) std::printf("%s\n", GetString(EventCode::NoFilesToReplace).c_str());
    return status;
}

int RestoreBackups(const CliOptions& options) {
    if (!FolderExists(options.restoreFolder)) {
        PrintError("--restore " + options.restoreFolder + ": No such folder");
        return 2;
    }
    std::vector<std::string> failures;
    const std::size_t restored = RestoreFolder(options.restoreFolder, false, &failures);
    std::printf("Filename\tResults\n%s : %zu %s\n", options.restoreFolder.c_str(), restored,
                GetString(EventCode::FilesRestored).c_str());
    for (const std::string& failure : failures)
        std::fprintf(stderr, "kov-cli: %s\n", TerminalSafe(failure).c_str());
    return failures.empty() ? 0 : 1;
}

}  // namespace

int RunReplaceCommands(const CliOptions& options, Application& app) {
    int status = 0;
    if (!options.replacePath.empty()) status = ApplyItemRules(options, app);
    if (!options.restoreFolder.empty() && status != 2) {
        status = std::max(status, RestoreBackups(options));
    }
    return status;
}

}  // namespace kov::cli

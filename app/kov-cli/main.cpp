// kov-cli: the headless front end.

#include <cstdio>
#include <optional>

#include "cli_options.h"
#include "core/prompter.h"
#include "item_commands.h"
#include "kov_version.h"
#include "list_printer.h"
#include "platform/file_util.h"
#include "session/application.h"
#include "session_runner.h"
#include "template_help.h"

namespace {

// Runs the list commands between start-up and shut-down; false when one failed.
bool RunListCommands(const kov::cli::CliOptions& options, kov::Application& app) {
    kov::ListDocument& doc = app.Document();
    bool changed = false;
    for (const std::string& path : options.imports) {
        const std::optional<std::size_t> n = doc.ImportList(path);
        if (!n) return false;  // the prompter said which file and why
        std::printf("imported %zu item%s from %s\n", *n, *n == 1 ? "" : "s", path.c_str());
        changed = changed || *n > 0;
    }
    if (changed && doc.SaveList(true, false) != 0) return false;
    if (options.lists) kov::cli::PrintLists(doc, stdout);
    if (options.list) kov::cli::PrintCurrentList(doc, stdout);
    return true;
}

// Start-up with the checks a terminal user needs: no option silently ignored, a settings file
// named on the command line must exist, and the chosen list must exist and be readable.
bool StartupChecked(kov::Application& app, const kov::StartupInput& input) {
    const kov::CommandLine line = kov::ParseCommandLine(input.args, input.ctrlHeld);
    if (!line.ignored.empty()) {
        std::fprintf(stderr, "kov-cli: unknown option %s\nTry 'kov-cli --help'.\n",
                     line.ignored.front().c_str());
        return false;
    }
    if (!line.settingsFile.empty() && !kov::FileExists(line.settingsFile)) {
        std::fprintf(stderr, "kov-cli: %s: No such file or directory\n", line.settingsFile.c_str());
        return false;
    }
    if (!app.Startup(input)) return false;
    kov::ListDocument& doc = app.Document();
    if (line.listNumber > 0 && static_cast<std::size_t>(line.listNumber) > doc.ListCount()) {
        std::fprintf(stderr, "kov-cli: -n%d: no such list; %zu registered\n", line.listNumber,
                     doc.ListCount());
        return false;
    }
    // The document has already said which list file and why.
    return doc.LastError().empty();
}

}  // namespace

int main(int argc, char** argv) {
    const kov::cli::CliOptions options = kov::cli::ParseCliOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "kov-cli: %s\nTry 'kov-cli --help'.\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kov::cli::HelpText().c_str(), stdout);
        return 0;
    }
    if (options.items.helpTemplates) {
        std::fputs(kov::cli::TemplateHelp(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kov-cli %s\n", KOV_VERSION);
        return 0;
    }

    kov::StderrPrompter prompter;
    kov::SetDefaultPrompter(&prompter);
    kov::Application app(prompter);
    kov::StartupInput input;
    input.args = options.programArgs;
    // Start-up failures (an unreadable settings file) are configuration errors; nothing is
    // saved then, so nothing can be written over the file.
    if (!StartupChecked(app, input)) {
        kov::SetDefaultPrompter(nullptr);
        return 2;
    }
    int status = kov::cli::RunItemCommands(options, app);
    if (status == 0) status = RunListCommands(options, app) ? 0 : 2;
    bool powerOff = false;
    if (status == 0 && app.Options().autoMode && !options.items.dryRun)
        status = kov::cli::RunAutoSession(app, powerOff);
    if (!app.Shutdown(false) && status == 0) status = 2;
    // Only now, with the list, the settings and the traffic counter saved.
    if (powerOff && !kov::cli::PowerOffAfterShutdown()) status = 1;
    kov::SetDefaultPrompter(nullptr);
    return status;
}

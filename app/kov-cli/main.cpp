// kov-cli: the headless front end.

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "cli_options.h"
#include "cli_prompter.h"
#include "commands/distribute_command.h"
#include "commands/handover_command.h"
#include "commands/item_commands.h"
#include "commands/mail_commands.h"
#include "commands/remote_token_command.h"
#include "commands/replace_command.h"
#include "commands/serve_command.h"
#include "commands/session_runner.h"
#include "commands/traffic_command.h"
#include "commands/update_command.h"
#include "commands/url_download.h"
#include "core/prompter.h"
#include "core/settings/settings_file_check.h"
#include "kov_version.h"
#include "output/list_printer.h"
#include "output/template_help.h"
#include "platform/file_lock.h"
#include "platform/file_util.h"
#include "platform/heap_tuning.h"
#include "platform/helper_threads.h"
#include "session/application.h"

namespace {

using namespace kov::cli;
using kov::SettingsFileProblem;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "kov-cli: %s\nTry 'kov-cli --help'.\n", message.c_str());
    return kExitUsage;
}

int ConfigError(const std::string& message) {
    std::fprintf(stderr, "kov-cli: %s\n", message.c_str());
    return kExitUsage;
}

// Runs the list commands between start-up and shut-down; returns an exit status.
int RunListCommands(const CliOptions& options, kov::Application& app) {
    kov::ListDocument& doc = app.Document();
    bool changed = false;
    for (const std::string& path : options.imports) {
        // A picture or a text without sections imports nothing: say so, not "0 items".
        if (const std::string problem = SettingsFileProblem(path, true, "list file");
            !problem.empty())
            return ConfigError(problem);
        const std::optional<std::size_t> n = doc.ImportList(path);
        if (!n) return kExitUsage;  // the prompter said which file and why
        if (!options.quiet)
            std::printf("imported %zu item%s from %s\n", *n, *n == 1 ? "" : "s", path.c_str());
        changed = changed || *n > 0;
    }
    if (changed && doc.SaveList(true, false) != 0) return kExitNotSaved;
    const ListFormat format = options.json ? ListFormat::Json : ListFormat::Table;
    if (options.lists) PrintLists(doc, format, stdout);
    if (options.list) PrintCurrentList(doc, format, stdout);
    return kExitOk;
}

// Start-up with the checks a terminal user needs: the settings file must exist (unless --init
// asks for it, or it is the program folder's own on a first run) and be a settings file, and
// the chosen list must exist and be readable. Nothing is written by start-up.
int StartupChecked(const CliOptions& options, kov::Application& app) {
    kov::StartupInput input;
    input.args = options.programArgs;
    input.detectLanguage = false;
    const kov::CommandLine line = kov::ParseCommandLine(input.args, false);
    // A named file is checked before it is opened (a FIFO would block the read); the program
    // folder's own is known only once start-up has found the folder.
    const bool named = !line.settingsFile.empty();
    std::string problem = named ? SettingsFileProblem(line.settingsFile, options.init) : "";
    if (!problem.empty()) return ConfigError(problem);
    // A rule file named on the command line is the user's own: a typo in its path must not
    // quietly run every page without its rules.
    for (const auto& [option, path] :
         {std::pair{"-b", line.bannerFile}, {"-s", line.siteRuleFile}}) {
        if (path.empty()) continue;
        problem = SettingsFileProblem(path, false, "rule file");
        if (!problem.empty()) return ConfigError(std::string(option) + ": " + problem);
    }
    if (!app.Startup(input)) return kExitUsage;
    problem = named ? "" : SettingsFileProblem(app.Paths().settingsFile, true);
    if (!problem.empty()) return ConfigError(problem);
    kov::ListDocument& doc = app.Document();
    if (line.listNumber > 0 && static_cast<std::size_t>(line.listNumber) > doc.ListCount()) {
        return ConfigError("-n" + std::to_string(line.listNumber) + ": no such list; " +
                           std::to_string(doc.ListCount()) +
                           (doc.ListCount() == 1 ? " list" : " lists") + " registered");
    }
    // The document has already said which list file and why.
    return doc.LastError().empty() ? kExitOk : kExitUsage;
}

// How the lock file names this run to a second one: "kov-cli --serve".
std::string HolderText(int argc, char** argv) {
    std::string text = "kov-cli";
    for (int i = 1; i < argc; ++i)
        text += std::string(" ") + argv[i];
    return text;
}

// The commands that need no program folder: help, version, the token. nullopt for the rest.
std::optional<int> RunStandAlone(const CliOptions& options) {
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    if (options.items.helpTemplates) {
        std::fputs(TemplateHelp(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("kov-cli %s\n", KOV_VERSION);
        return kExitOk;
    }
    if (options.remoteToken) return RunRemoteToken(options.newToken);
    return std::nullopt;
}

// The one-writer lock for a run that changes something. When the program that holds it takes
// changes over remote control, they go to it instead, and handed gets the run's exit status.
int LockOrHandOver(const CliOptions& options, kov::Application& app, const std::string& holder,
                   kov::FileLock& lock, std::optional<int>& handed) {
    std::string hint;
    handed = HandOverIfHeld(options, app, hint);
    if (handed || TakeWriterLock(app, holder, lock)) return kExitOk;
    if (!hint.empty()) std::fprintf(stderr, "kov-cli: %s\n", hint.c_str());
    return kExitUsage;
}

// A run that only showed something, or that has saved everything at its shut-down, has
// nothing left to save or release: the end of the process hands its memory back at once,
// where freeing a big list row by row (and the libraries' clean-ups) takes longer than
// printing it. Locks and files close with the process; the log file is written without a
// buffer. A sanitized build ends the usual way, so that its leak check sees it all.
void EndRun(int status) {
#if !defined(__SANITIZE_ADDRESS__)
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
#else
    (void)status;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const CliOptions options = ParseCliOptions(argc, argv);
    if (!options.error.empty()) return UsageError(options.error);
    if (const std::optional<int> done = RunStandAlone(options)) return *done;
    // A run that ends soon keeps the memory it frees (the text of a big list, freed once its
    // items are built, then holds the rows) and takes fresh memory in huge pages. A service
    // runs for months and gives its memory back as usual.
    if (!options.serve) kov::TuneHeapForShortRun();

    kov::cli::CliPrompter prompter;
    kov::SetDefaultPrompter(&prompter);
    kov::Application app(prompter);
    int status = StartupChecked(options, app);
    if (status == kExitOk && !options.urls.empty()) {
        // Downloads of this run only: no lock, no shut-down, nothing of the list is saved.
        status = DownloadUrls(app, options.urls, {options.json, options.quiet});
        kov::SetDefaultPrompter(nullptr);
        kov::JoinHelperThreads(std::chrono::seconds(1));
        return status;
    }
    if (status == kExitOk && options.serve && app.Options().autoMode)
        status = ConfigError("--serve runs the scheduler; -a would switch it off");
    if (status == kExitOk && options.checkMail && (options.serve || app.Options().autoMode))
        status = ConfigError("--check-mail runs a session of its own; not with --serve or -a");
    if (status == kExitOk && options.checkMail && !MissingMailbox(app.Settings().email).empty())
        status = NotConfigured(MissingMailbox(app.Settings().email));
    // Read-only runs neither lock nor save: they may run beside the program that writes.
    const bool readOnly = IsReadOnly(options);
    kov::FileLock writerLock;
    std::optional<int> handed;
    if (status == kExitOk && !readOnly)
        status = LockOrHandOver(options, app, HolderText(argc, argv), writerLock, handed);
    if (handed) {
        kov::SetDefaultPrompter(nullptr);
        return *handed;
    }
    if (status == kExitOk && options.trafficReset) status = ResetTraffic(app, options.quiet);
    if (status == kExitOk && options.traffic) PrintTraffic(app, stdout);
    if (status == kExitOk) status = RunItemCommands(options, app);
    if (status == kExitOk) status = RunListCommands(options, app);
    if (status == kExitOk && options.tasks) PrintTasks(app, stdout);
    if (status == kExitOk && options.queue) PrintQueue(app, stdout);
    if (status == kExitOk && options.servers) PrintServers(app, stdout);
    if (status == kExitOk && options.testMail) status = RunTestMail(app);
    if (status == kExitOk && options.sendQuery > 0) status = RunSendQuery(app, options.sendQuery);
    // A refused start or a command that only shows something saves nothing: the shut-down,
    // which writes the settings and the list, does not run.
    if (status != kExitOk || readOnly) {
        kov::SetDefaultPrompter(nullptr);
        kov::JoinHelperThreads(std::chrono::seconds(1));  // a test mail's lookups, for one
        if (readOnly) EndRun(status);
        return status;
    }
    status = RunReplaceCommands(options, app);
    if (status == kExitOk && options.checkUpdate) status = RunUpdateCheck(app);
    if (status == kExitOk && (options.distribute || !options.mergePath.empty()))
        status = RunDistributeCommands(options, app);
    bool powerOff = false;
    if (status == kExitOk && options.checkMail) {
        status = RunCheckMail(app, {options.json, options.quiet});
    } else if (status == kExitOk && options.serve) {
        status = RunServe(app, powerOff);
    } else if (status == kExitOk && app.Options().autoMode && !options.items.dryRun) {
        status = RunAutoSession(app, {options.json, options.quiet}, powerOff);
    }
    const bool saved = app.Shutdown(false);
    if (!saved && status != kExitInterrupted) status = kExitNotSaved;
    // Only now, with the list, the settings and the traffic counter saved; after a failed
    // save the next run would fetch the same items again, so the computer stays on.
    if (powerOff && !saved) {
        std::fprintf(stderr,
                     "kov-cli: not powering off: the list or the settings were not "
                     "saved\n");
    } else if (powerOff && !PowerOffAfterShutdown() && status == kExitOk) {
        status = kExitItemFailed;
    }
    kov::SetDefaultPrompter(nullptr);
    // A host lookup a stopped job gave up on may still wait for DNS: joined, for a moment.
    kov::JoinHelperThreads(std::chrono::seconds(1));
    EndRun(status);
    return status;
}

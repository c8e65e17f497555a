// kov-cli: the headless front end.

#include <cstdio>

#include "cli_options.h"
#include "core/prompter.h"
#include "kov_version.h"
#include "list_printer.h"
#include "platform/file_util.h"
#include "session/application.h"
#include "session_runner.h"

namespace {

// Runs the list commands between start-up and shut-down; false when one failed.
bool RunListCommands(const kov::cli::CliOptions& options, kov::Application& app) {
    kov::ListDocument& doc = app.Document();
    bool changed = false;
    for (const std::string& path : options.imports) {
        if (!kov::FileExists(path)) {
            std::fprintf(stderr, "kov-cli: %s: no such file\n", path.c_str());
            return false;
        }
        const std::size_t n = doc.ImportList(path);
        std::printf("imported %zu item%s from %s\n", n, n == 1 ? "" : "s", path.c_str());
        changed = changed || n > 0;
    }
    for (const std::string& url : options.add) {
        const kov::RowId id = doc.AddUrl(url);
        const kov::UrlItem& item = doc.Rows().Find(id)->item;
        std::printf("added %s\t%s\n", item.Name.c_str(), item.Url.c_str());
        changed = true;
    }
    if (changed && doc.SaveList(true, false) != 0) return false;
    if (options.lists) kov::cli::PrintLists(doc, stdout);
    if (options.list) kov::cli::PrintCurrentList(doc, stdout);
    return true;
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
    if (options.version) {
        std::printf("kov-cli %s\n", KOV_VERSION);
        return 0;
    }

    kov::StderrPrompter prompter;
    kov::SetDefaultPrompter(&prompter);
    kov::Application app(prompter);
    kov::StartupInput input;
    input.args = options.programArgs;
    if (!app.Startup(input)) return 1;
    int status = RunListCommands(options, app) ? 0 : 2;
    bool powerOff = false;
    if (status == 0 && app.Options().autoMode) status = kov::cli::RunAutoSession(app, powerOff);
    app.Shutdown(false);
    // Only now, with the list, the settings and the traffic counter saved.
    if (powerOff && !kov::cli::PowerOffAfterShutdown()) status = 1;
    kov::SetDefaultPrompter(nullptr);
    return status;
}

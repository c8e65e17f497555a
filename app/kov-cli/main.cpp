// kov-cli: the headless front end.

#include <cstdio>

#include "cli_options.h"
#include "core/prompter.h"
#include "kov_version.h"
#include "session/application.h"

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
    app.Shutdown(false);
    kov::SetDefaultPrompter(nullptr);
    return 0;
}

#include "commands/update_command.h"

#include <cstdio>

#include "core/event_loop.h"
#include "core/prompter.h"
#include "core/text/terminal_text.h"
#include "session/application.h"
#include "session/event_log.h"
#include "session/update_check.h"

namespace kov::cli {

int RunUpdateCheck(Application& app) {
    EventLoop loop;
    EventLog log(app.Settings(), app.LogFile());
    UpdateCheck check(app.Settings(), app.Document(), log, DefaultPrompter(), loop,
                      {app.Paths().programFolder, {}, {}, {}});
    const UpdateResult result = check.CheckNow();
    switch (result.outcome) {
        case UpdateOutcome::Ready:
        case UpdateOutcome::NotNeeded:
            std::printf("%s\n", TerminalSafe(result.message, true).c_str());
            return 0;
        case UpdateOutcome::NotConfigured:
            // Said as every other missing setting is.
            std::fprintf(stderr, "kov-cli: UpdateUrl is not set in [KOV-Main] of kov.ini\n");
            return 2;
        case UpdateOutcome::Failed:
            break;
    }
    std::fprintf(stderr, "kov-cli: %s\n", TerminalSafe(result.message, true).c_str());
    return 1;
}

}  // namespace kov::cli

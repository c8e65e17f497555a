#include "session/end_of_session.h"

#include <cstdio>

#include "core/language/message_table.h"
#include "core/prompter.h"
#include "platform/system_power.h"

namespace kov {

EndChoice ChooseEndAction(const EndOfSessionState& state) {
    const bool endedByItself = !state.userStopped && !state.lineFailed;
    if (state.autoMode) {
        if (state.shutdownAfter && endedByItself) return {EndAction::Shutdown, true};
        return {EndAction::Close, false};
    }
    if (!endedByItself || state.tasksRemain) return {};
    switch (state.onEndSession) {
        case 1:
            return {EndAction::Close, true};
        case 2:
            return {EndAction::Shutdown, true};
        default:
            return {};
    }
}

std::string EndCountdownText(EndAction action, int secondsLeft) {
    char text[96];
    std::snprintf(text, sizeof text,
                  action == EndAction::Shutdown ? "Windows will Shutdown in %d seconds"
                                                : "Program will be closed in %d seconds",
                  secondsLeft);
    return text;
}

bool ConfirmEndAction(EndAction action, Prompter& prompter) {
    return prompter.Ask(EndCountdownText(action, kEndCountdownSeconds), true);
}

std::string ShutdownErrorText(long error) {
    if (error == kNoShutdownPrivilege) return GetString(EventCode::NoShutdownRights);
    char text[64];
    std::snprintf(text, sizeof text, "Shutdown error %ld", error);
    return text;
}

}  // namespace kov

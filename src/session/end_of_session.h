#pragma once

#include <string>

namespace kov {

class Prompter;

// What the program does when a download session has ended.
enum class EndAction { None, Close, Shutdown };

// What decides it.
struct EndOfSessionState {
    bool autoMode = false;       // started to run one session and close
    bool shutdownAfter = false;  // auto mode that powers off instead of closing
    int onEndSession = 0;        // 0 keep working, 1 close the program, 2 power off
    bool userStopped = false;    // the session was stopped, not ended by itself
    bool lineFailed = false;     // the line could not be had or dropped: nothing more to fetch
    bool tasksRemain = false;    // scheduled tasks wait for later today
};

struct EndChoice {
    EndAction action = EndAction::None;
    bool askFirst = false;  // the countdown question comes first; a "no" cancels
};

// Auto mode closes after any session; with shutdownAfter it powers off (asking first) only
// after a session that ended by itself. Otherwise only a session that ended by itself, with no
// task left for today, runs OnEndSession's choice. A stop or a failed line never powers off:
// the user is there, or the computer would go off without having done its work.
EndChoice ChooseEndAction(const EndOfSessionState& state);

inline constexpr int kEndCountdownSeconds = 30;

// The countdown line for this many seconds left.
std::string EndCountdownText(EndAction action, int secondsLeft);

// Asks whether the action may go ahead, with the countdown's first line; a dialog counts down
// and goes ahead when the time is up, a headless prompter takes the default answer, yes.
bool ConfirmEndAction(EndAction action, Prompter& prompter);

// The message for a refused power-off (an error code of ExitWindows).
std::string ShutdownErrorText(long error);

}  // namespace kov

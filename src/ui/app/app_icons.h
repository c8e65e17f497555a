#pragma once

#include <QIcon>

#include "core/command_ids.h"

namespace kov {

// The four images of the tray icon.
enum class TrayState : int { Idle = 0, Downloading, Scheduler, MailCheck };

// The program's icons: the desktop theme's icon where the theme has one, else our own drawing,
// painted at whatever size is asked for so that it stays sharp on HiDPI screens. Nothing is
// loaded from files, so the icons exist even without a theme or an installed data folder.
class AppIcons {
public:
    // The toolbar and menu icon of a command; a null icon for a command without one.
    static QIcon Command(CommandId id);
    // The image of a row of the URL list (the row images of model/list_model.h).
    static QIcon Row(int rowImage);
    // The image of a log line (a LogImage of session/session_state.h).
    static QIcon Log(int logImage);
    static QIcon Tray(TrayState state);
    static QIcon Application();
};

}  // namespace kov

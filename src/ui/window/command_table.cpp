#include "ui/window/command_table.h"

#include "core/command_ids.h"

namespace kov {

const std::vector<CommandDef>& CommandTable() {
    static const std::vector<CommandDef> table = {
        {kCmdNewUrl, "&New URL", QKeySequence(Qt::ALT | Qt::Key_Insert)},
        {kCmdEditUrl, "&Edit URL", QKeySequence(Qt::Key_Return)},
        {kCmdMoveUp, "move &Up", {}},
        {kCmdMoveDown, "move &Down", {}},
        {kCmdDelete, "&Delete URL(s)", QKeySequence(Qt::Key_Delete)},
        {kCmdSaveList, "Save current list state", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {kCmdAddFromIni, "&Add From INI-file", {}},
        {kCmdReloadList, "Reload list", {}},
        {kCmdStartDownload, "&Start download", QKeySequence(Qt::Key_F5)},
        {kCmdDownloadSelected, "down&Load selected", {}},
        {kCmdStop, "&Stop", QKeySequence(Qt::Key_Escape)},
        {kCmdCancelSelected, "Cancel selected downloads", {}},
        {kCmdSchedulerMode, "Enable Scheduler mode", {}, true},
        {kCmdSchedulerModeButton, "Scheduler mode", {}, true},
        {kCmdSchedulerQueue, "Today's scheduler &queue", QKeySequence(Qt::CTRL | Qt::Key_Y)},
        {kCmdCheckMail, "Check incoming mail for download queries",
         QKeySequence(Qt::CTRL | Qt::Key_M)},
        {kCmdDialUp, "Open RAS/xDSL connection", QKeySequence(Qt::CTRL | Qt::Key_D)},
        {kCmdSpeedLimitOn, "Speed limit on", {}, true},
        {kCmdSpeedLimitOff, "Speed limit off", {}, true},
        {kCmdCheckForUpdate, "Check for update", {}},
        {kCmdOpenUrl, "Open current URL", {}},
        {kCmdUrlInfo, "Get URL info", {}},
        {kCmdPreferences, "&Preferences", {}},
        {kCmdLogClear, "&Clear Log", {}},
        {kCmdLogSave, "Save current log to file", {}},
        {kCmdToggleListsPane, "Hide View", QKeySequence(Qt::ALT | Qt::Key_P)},
        {kCmdRestore, "&Restore", {}},
        {kCmdHelp, "Help (HTML)", QKeySequence(Qt::Key_F1)},
        {kCmdListProperties, "List properties", {}},
        {kCmdAddListDefinition, "Add List definition", {}},
        {kCmdDeleteList, "Delete Selected List", {}},
        {kCmdExit, "&Exit", {}},
        {kCmdAbout, "&About", {}},
        {kCmdCopy, "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {kCmdCut, "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {kCmdPaste, "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
        {kCmdUndo, "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {kCmdNextPane, "Next pane", QKeySequence(Qt::Key_F6)},
        {kCmdPreviousPane, "Previous pane", QKeySequence(Qt::SHIFT | Qt::Key_F6)},
        {kCmdTakeEmailItems, "Make e-mail items ordinary", QKeySequence(Qt::CTRL | Qt::Key_I)},
        {kCmdReleaseLine, "Release the dial-up line", QKeySequence(Qt::CTRL | Qt::Key_H)},
        {kCmdPasteQuery, "Query from the clipboard", QKeySequence(Qt::CTRL | Qt::Key_B)},
    };
    return table;
}

const CommandDef* FindCommand(int id) {
    for (const CommandDef& def : CommandTable())
        if (def.id == id) return &def;
    return nullptr;
}

const std::vector<int>& ToolbarCommands() {
    static const std::vector<int> toolbar = {kCmdNewUrl,
                                             kCmdEditUrl,
                                             kCmdSaveList,
                                             kCmdMoveUp,
                                             kCmdMoveDown,
                                             kCmdDelete,
                                             0,
                                             kCmdOpenUrl,
                                             kCmdUrlInfo,
                                             0,
                                             kCmdPreferences,
                                             0,
                                             kCmdStartDownload,
                                             kCmdStop,
                                             0,
                                             kCmdDialUp,
                                             0,
                                             kCmdSchedulerModeButton,
                                             0,
                                             kCmdSpeedLimitOn,
                                             kCmdSpeedLimitOff,
                                             0,
                                             kCmdHelp};
    return toolbar;
}

}  // namespace kov

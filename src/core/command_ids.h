#pragma once

// The commands of the main window, by their numeric identifiers. The identifiers are also the
// keys of their menu texts and tooltips in the language files, so they never change.

namespace kov {

enum CommandId : int {
    kCmdRestore = 17,
    kCmdStartDownload = 1003,
    kCmdDelete = 1005,
    kCmdNewUrl = 1007,
    kCmdMoveUp = 1013,
    kCmdMoveDown = 1017,
    kCmdPreferences = 1020,
    kCmdEditUrl = 32774,
    kCmdDownloadSelected = 32778,
    kCmdCancelSelected = 32780,
    kCmdListProperties = 32784,
    kCmdAddListDefinition = 32785,
    kCmdStop = 32788,
    kCmdSaveList = 32789,
    kCmdHelp = 32790,
    kCmdAddFromIni = 32791,
    kCmdSchedulerMode = 32794,
    kCmdCheckForUpdate = 32796,
    kCmdSchedulerModeButton = 32800,
    kCmdLogClear = 32810,
    kCmdLogSave = 32820,
    kCmdOpenUrl = 32840,
    kCmdReloadList = 32860,
    kCmdSpeedLimitOn = 32870,
    kCmdSpeedLimitOff = 32880,
    kCmdToggleListsPane = 32900,
    kCmdSchedulerQueue = 32901,
    kCmdUrlInfo = 32902,
    kCmdCheckMail = 32903,
    kCmdDialUp = 32904,
};

}  // namespace kov

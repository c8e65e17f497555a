#pragma once

#include <QKeySequence>
#include <vector>

#include "core/language/ui_text_ids.h"

namespace kov {

// Commands of the window that the command identifiers leave out.
inline constexpr int kCmdExit = kGuiMnuExit;
inline constexpr int kCmdAbout = kGuiAboutProgram;
inline constexpr int kCmdDeleteList = kGuiMnuListDelete;
inline constexpr int kCmdCopy = kGuiMnuCopy;
inline constexpr int kCmdCut = kGuiMnuCut;
inline constexpr int kCmdPaste = kGuiMnuPaste;
inline constexpr int kCmdUndo = kGuiMnuUndo;
inline constexpr int kCmdNextPane = kGuiMnuNextPane;
inline constexpr int kCmdPreviousPane = kGuiMnuPreviousPane;
inline constexpr int kCmdTakeEmailItems =
    kGuiMnuTakeEmailItems;                                  // e-mail items become ordinary ones
inline constexpr int kCmdReleaseLine = kGuiMnuReleaseLine;  // the session's dial-up line is let go
inline constexpr int kCmdPasteQuery = kGuiMnuPasteQuery;    // an e-mail query from the clipboard

// One command: its text key and English text, the shortcut shown in the menu, and whether it
// may be checked. The window does the keys itself; the shortcut is only shown.
struct CommandDef {
    int id;
    const char* text;
    QKeySequence shortcut;
    bool checkable = false;
};

const std::vector<CommandDef>& CommandTable();
const CommandDef* FindCommand(int id);

// The commands of the toolbar, in order; 0 is a separator.
const std::vector<int>& ToolbarCommands();

}  // namespace kov

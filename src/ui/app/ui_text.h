#pragma once

#include <QString>

namespace kov {

// The one place where the window asks for its words: the loaded language's text of id, the
// English text when the language has none.
QString UiText(int id, const char* english);
// The tooltip of a command: the loaded language's, else the built-in English one.
QString UiToolTip(int id);

}  // namespace kov

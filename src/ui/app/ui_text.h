#pragma once

#include <QString>
#include <initializer_list>

namespace kov {

// The one place where the window asks for its words: the loaded language's text of id, the
// English text when the language has none.
QString UiText(int id, const char* english);
// The text of id with each "%s" replaced by the next of values, in order. Unlike printf, a
// language file with more or fewer "%s" than values can do no harm.
QString UiTextWith(int id, const char* english, std::initializer_list<QString> values);
// The tooltip of a command: the loaded language's, else the built-in English one.
QString UiToolTip(int id);

}  // namespace kov

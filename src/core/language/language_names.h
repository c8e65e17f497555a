#pragma once

#include <string>
#include <string_view>

namespace kov {

// The language-file name for a POSIX locale ("de_DE.UTF-8" -> "German", "de_CH" ->
// "German (Switzerland)"): "English" for "C" and "POSIX", "Default" for a language the table
// does not know, "" for an empty locale.
std::string LanguageNameForLocale(std::string_view locale);

}  // namespace kov

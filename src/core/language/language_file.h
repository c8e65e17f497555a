#pragma once

#include <string>

namespace kov {

// A complete language file (sections "GUI", "ToolTips", "Strings", UTF-8) holding the built-in
// English texts: the template translators copy. Written from the same tables the lookups use.
std::string BuiltInLanguageFile();

}  // namespace kov

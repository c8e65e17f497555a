#pragma once

#include <string>

namespace kov {

// Why path cannot serve as the settings file, or "" when it can. A settings file is a text of
// INI sections: a file with binary content, or with text but no "[section]" line, is something
// else that a save would destroy. An empty file, or one of comments only, is a settings file
// yet to be filled. A missing file is fine only when mayCreate. A list file is held to the
// same shape; kind names the file in the message.
std::string SettingsFileProblem(const std::string& path, bool mayCreate,
                                const std::string& kind = "settings file");

}  // namespace kov

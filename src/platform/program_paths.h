#pragma once

#include <cstdint>
#include <string>

namespace kov {

// The absolute path of the running executable ("" when it cannot be found).
std::string ExecutablePath();

// The program folder, with a trailing '/':
//   $KOV_HOME when set and not empty;
//   else the executable's folder when a kov.ini stands beside it (portable use);
//   else $XDG_DATA_HOME/kov/ (default ~/.local/share/kov/).
// The folder is created (mode 0700) when it does not exist.
std::string ResolveProgramFolder(const std::string& executablePath);

// $XDG_CONFIG_HOME/kov/user.ini (default ~/.config/kov/user.ini): recent paths and the
// traffic counter. The folder is not created here.
std::string UserStorePath();

// Shipped read-only data such as "Lang/": the program folder's copy when it exists,
// else the installed data folder's copy.
std::string FindDataPath(const std::string& programFolder, const std::string& relative);

// The low 32 bits of the file-system id of the folder, else 0xF0F.
std::uint32_t VolumeSerial(const std::string& folder);

}  // namespace kov

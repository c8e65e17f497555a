#pragma once

#include <string>

namespace kov {

// Plays a sound file without waiting, with paplay or else aplay. False when the file name is
// empty or neither player exists (no sound output to speak of).
bool PlaySoundFile(const std::string& path);

}  // namespace kov

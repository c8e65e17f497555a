#pragma once

namespace kov {

// Powers the computer off ("systemctl poweroff"; $KOV_POWEROFF_COMMAND replaces the command,
// which is how tests and unusual systems plug in). False when it was refused or failed.
bool PowerOff();

}  // namespace kov

#pragma once

namespace kov {

// The system's error code for a shut-down the user has no right to ask for.
inline constexpr long kNoShutdownPrivilege = 1314;

// Ends the system's session: mode 1 reboots, 2 powers off, 3 shuts down ("systemctl reboot" /
// "systemctl poweroff"; $KOV_POWEROFF_COMMAND replaces the command, which is how tests and
// unusual systems plug in). Returns 0 when the command was accepted, kNoShutdownPrivilege when
// it ran and refused, else an error code of its own (the command could not be started, was not
// found, or did not answer).
long ExitWindows(int mode);

}  // namespace kov

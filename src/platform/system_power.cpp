#include "platform/system_power.h"

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/run_command.h"

namespace kov {

long ExitWindows(int mode) {
    const char* custom = std::getenv("KOV_POWEROFF_COMMAND");
    const std::string command = custom && *custom ? custom
                                : mode == 1       ? "systemctl reboot"
                                                  : "systemctl poweroff";
    const int status = RunCommand(command, std::chrono::seconds(60));
    if (status == 0) return 0;
    // The shell's "cannot run" and "not found", a failed start and a time-out are no refusal.
    if (status < 0 || status == 126 || status == 127 || status == kCommandTimedOut) {
        return status < 0 ? 1 : status;
    }
    return kNoShutdownPrivilege;
}

}  // namespace kov

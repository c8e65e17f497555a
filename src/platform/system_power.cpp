#include "platform/system_power.h"

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/run_command.h"

namespace kov {

bool PowerOff() {
    const char* custom = std::getenv("KOV_POWEROFF_COMMAND");
    const std::string command = custom && *custom ? custom : "systemctl poweroff";
    return RunCommand(command, std::chrono::seconds(60)) == 0;
}

}  // namespace kov

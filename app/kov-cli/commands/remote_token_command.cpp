#include "commands/remote_token_command.h"

#include <cstdio>

#include "cli_options.h"
#include "web_control/remote_token.h"

namespace kov::cli {

int RunRemoteToken(bool renew) {
    RemoteToken token;
    const bool ok = renew ? token.Renew() : token.LoadOrMake();
    if (!ok) {
        std::fprintf(stderr, "kov-cli: remote-control token: %s\n", token.Error().c_str());
        return kExitNotSaved;
    }
    std::printf("%s\n", token.Value().c_str());
    return kExitOk;
}

}  // namespace kov::cli

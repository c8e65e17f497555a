#pragma once

#include <string>
#include <vector>

#include "commands/session_runner.h"

namespace kov {
class Application;
}

namespace kov::cli {

// "kov-cli URL...": each URL becomes an item that lives only for this run, saved into the
// current folder under the server's file name, and the items are downloaded as -a downloads a
// list: the same jobs, resume and log, and the same exit statuses. No list and no settings
// file is written; the settings (proxy, user agent, new-URL defaults) are read when there are
// any.
int DownloadUrls(Application& app, const std::vector<std::string>& urls,
                 const SessionOutput& output);

}  // namespace kov::cli

#pragma once

#include <cstdio>
#include <string>

#include "core/settings/app_settings.h"

#include "commands/session_runner.h"

namespace kov {
class Application;
}  // namespace kov

namespace kov::cli {

// "kov-cli: <what> not set in [CtrByEmail] of kov.ini"; returns kExitUsage.
int NotConfigured(const std::string& what);
// "<key> is" for the first mailbox setting a poll needs that is empty, or "".
std::string MissingMailbox(const EmailSettings& email);

// --check-mail: one poll of the mailbox; the items taken are added to the current list, saved
// and downloaded in a session, then the run ends. 0, 1 when the poll or an item failed, 2 when
// the mailbox is not configured, 3 when a file could not be saved.
int RunCheckMail(Application& app, const SessionOutput& output);

// --send-query N: item N of the current list as a query to the primary KOV server. 0 sent,
// 1 refused or unreachable, 2 not configured or no such item.
int RunSendQuery(Application& app, int itemNumber);

// --test-mail: the SMTP and the POP3 test of the settings page. 0 when both passed.
int RunTestMail(const Application& app);

// --servers: the "KOV servers" table without the passwords.
void PrintServers(const Application& app, std::FILE* out);

}  // namespace kov::cli

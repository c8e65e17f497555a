#pragma once

// One poll of the mailbox for queries: every message is fetched and judged; the items of the
// accepted ones are handed over to be saved, and a message leaves the mailbox only once its
// items are safely in the list file.

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "core/settings/app_settings.h"
#include "mail_control/query_sender.h"
#include "mail_control/seen_messages.h"
#include "model/url_item.h"

namespace kov {

// The items of the accepted queries of one poll, in mailbox order, and the keys of their
// messages (to be remembered once the items are saved).
struct IncomingQueries {
    std::vector<UrlItem> items;
    std::vector<std::string> keys;
};

struct IncomingHooks {
    // A log line from the poll's thread; error lines are denials and failures.
    std::function<void(const std::string& text, bool error)> log;
    MailStop stop;
    // Adds the items to the list, saves it and remembers the keys; true only when all that
    // was done. Until it answers, the messages stay in the mailbox.
    std::function<bool(IncomingQueries& queries)> save;
    // Whether a message key was taken before (may be empty).
    std::function<bool(const std::string& key)> seenBefore;
};

// Polls the POP3 mailbox of the settings once. baseFolder is the folder under which the poll's
// folder is made (QueryBaseFolder). Returns the number of items saved, 0 when there were none
// (or Pop3Server is empty), -1 when the mailbox could not be read or the items not saved.
int GetIncomingRequests(const EmailSettings& email, const std::string& baseFolder,
                        const IncomingHooks& hooks, std::time_t now);

}  // namespace kov

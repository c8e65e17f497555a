#pragma once

// Judging a fetched message as a query: the subject marker, the access password, the body in
// the exchange format, and the items it may carry into the list.

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/app_settings.h"
#include "mail_control/mail_text.h"
#include "mail_control/seen_messages.h"
#include "model/url_item.h"

namespace kov {

// What queries received by mail may do.
struct QueryPolicy {
    std::string passphrase;
    bool openAccess = false;    // an empty passphrase accepts queries
    bool allowCommand = false;  // items keep their after-download commands
    bool allowUpload = false;   // items keep their uploads
    bool allowLocal = false;    // file:// URLs and local-network hosts
    // The time one poll may spend looking up the host names of received URLs: a query of
    // thousands of names on a slow resolver must not hold the poll for hours.
    std::chrono::steady_clock::duration hostCheckBudget = std::chrono::seconds(30);

    static QueryPolicy From(const EmailSettings& email);
};

enum class QueryVerdict {
    NotQuery,       // no marker: leave the message in the mailbox
    WrongPassword,  // delete it, take nothing
    Closed,         // no access password set and open access not allowed: delete it
    TooLarge,       // the body exceeds kMaxQueryBody: delete it
    Unreadable,     // the body cannot be decoded: delete it, saying why
    Duplicate,      // its items were taken before: delete it
    Accepted,       // take items, then delete it
    Deferred,       // the poll's time for host look-ups is spent: leave it for the next poll
};

struct QueryDecision {
    QueryVerdict verdict = QueryVerdict::NotQuery;
    std::vector<UrlItem> items;
    std::string logLine;             // "" for NotQuery; never holds a password
    std::vector<std::string> notes;  // what was removed from or refused in the items
    std::string key;                 // the message's key for SeenMessages

    // Whether the message is to be deleted from the mailbox (after the items were saved).
    bool DeleteMessage() const {
        return verdict != QueryVerdict::NotQuery && verdict != QueryVerdict::Deferred;
    }
};

// True when a and b are equal; the time taken depends on their lengths only.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

// The queries of one poll. Items of all queries of the poll are numbered on from 1 in the
// poll's folder.
class QueryAcceptance {
public:
    // Bodies above this are refused unread: a list of a few thousand items fits well within it.
    static constexpr std::size_t kMaxQueryBody = 4 * 1024 * 1024;
    static constexpr std::size_t kMaxItemsPerQuery = 10000;

    // pollFolder from PollFolder(); receivedText the localised "Received query from".
    QueryAcceptance(QueryPolicy policy, std::string pollFolder,
                    std::string receivedText = "Received query from");

    // seen may be null (no duplicate check). It is not changed: the caller adds the key once
    // the items are saved.
    QueryDecision Judge(const MailText& mail, const SeenMessages* seen, std::time_t now);

    // Makes one received item safe under the policy; false when the item is refused as a whole
    // (its URL). Sets the e-mail origin, the once-only interval and the numbered destination.
    bool TakeItem(UrlItem& item, std::string_view from, std::vector<std::string>& notes);

    const std::string& PollFolder() const { return m_pollFolder; }

private:
    QueryPolicy m_policy;
    std::string m_pollFolder;
    std::string m_receivedText;
    int m_number = 0;
    std::chrono::steady_clock::duration m_hostCheckSpent{};
};

}  // namespace kov

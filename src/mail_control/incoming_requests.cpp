#include "mail_control/incoming_requests.h"

#include "core/language/message_table.h"
#include "mail_control/job_result_mail.h"
#include "mail_control/query_acceptance.h"
#include "mail_control/query_body.h"
#include "mail_control/query_destination.h"
#include "mail_control/query_message.h"
#include "net/mail/pop3_connection.h"
#include "net/mail/pop3_message.h"

#include <algorithm>
#include <set>

namespace kov {

namespace {

// A server that has to find a big mailbox on a slow disk gets time for it.
constexpr std::chrono::milliseconds kPollReplyTimeout{20000};
// A server that breaks the connection on every message is not called again and again.
constexpr int kMaxReconnects = 2;

}  // namespace

int GetIncomingRequests(const EmailSettings& email, const std::string& baseFolder,
                        const IncomingHooks& hooks, std::time_t now) {
    if (email.Pop3Server.empty()) return 0;
    auto log = [&hooks](const std::string& text, bool error) {
        if (hooks.log) hooks.log(text, error);
    };
    const MailSecurity security = MailSecurityFromSetting(email.Pop3Security);
    const ServerAddress server =
        SplitServer(email.Pop3Server, security == MailSecurity::Implicit ? 995 : 110);
    Pop3Connection pop3;
    pop3.SetTimeout(kPollReplyTimeout);
    pop3.SetSecurity(security);
    if (!email.TlsCaFile.empty()) pop3.SetCaFile(email.TlsCaFile);
    if (hooks.stop) pop3.SetCancelled(hooks.stop);
    int count = 0;
    long long size = 0;
    // Nothing is deleted before the final QUIT, so a new connection numbers the messages as
    // the old one did.
    auto connect = [&] {
        return pop3.Connect(server.host, email.MailBox, email.MailBoxPsw, server.port) &&
               pop3.Statistics(count, size) && (count == 0 || pop3.List());
    };
    if (!connect()) {
        log(GetString(EventCode::GetMailError) + " " + pop3.GetLastError(), true);
        pop3.Disconnect();
        return -1;
    }
    // A message the listing does not name does not exist: a count beyond it would only make
    // the poll ask for nothing, message by message.
    if (count > static_cast<int>(pop3.Sizes().size())) {
        log("The mailbox counts " + std::to_string(count) + " messages but lists " +
                std::to_string(pop3.Sizes().size()),
            true);
        count = static_cast<int>(pop3.Sizes().size());
    }

    QueryAcceptance acceptance(QueryPolicy::From(email), PollFolder(baseFolder, now),
                               GetString(EventCode::CEReceivedQueryFrom));
    IncomingQueries queries;
    std::vector<int> denied;          // leave the mailbox whatever happens to the others
    std::vector<int> accepted;        // leave it once their items are saved
    std::set<std::string> takenKeys;  // of this poll's accepted queries
    bool readAll = true;
    int reconnects = 0;
    const int listed = count;
    for (int number = 1; number <= std::min(count, listed); ++number) {
        if (hooks.stop && hooks.stop()) {
            readAll = false;
            break;
        }
        // A message too big to fetch would end every poll here; the others still get their
        // turn, and it stays for the user.
        const auto& sizes = pop3.Sizes();
        if (static_cast<std::size_t>(number) <= sizes.size() &&
            sizes[static_cast<std::size_t>(number) - 1] >
                static_cast<long long>(Pop3Connection::kDefaultMaxMessage)) {
            log("Message " + std::to_string(number) +
                    " is too large to be read; left in the mailbox",
                true);
            continue;
        }
        Pop3Message message;
        if (!pop3.Retrieve(number, message)) {
            // One message the server cannot give must not hold up every later one: it stays
            // in the mailbox for the next poll, and the others get their turn now.
            log("Message " + std::to_string(number) + " cannot be read; left in the mailbox (" +
                    pop3.GetLastError() + ")",
                true);
            readAll = false;
            if (pop3.IsConnected()) continue;
            if (++reconnects > kMaxReconnects || (hooks.stop && hooks.stop())) break;
            if (!connect()) {
                log(GetString(EventCode::GetMailError) + " " + pop3.GetLastError(), true);
                break;
            }
            continue;
        }
        MailText mail;
        mail.from = message.GetHeaderItem("From");
        mail.subject = message.GetHeaderItem("Subject");
        mail.messageId = message.GetHeaderItem("Message-ID");
        if (mail.subject.starts_with(kQueryMarker)) {
            QueryBody body = DecodeQueryBody(message);
            mail.body = std::move(body.text);
            mail.bodyProblem = std::move(body.problem);
        }
        QueryDecision decision = acceptance.Judge(mail, nullptr, now);
        if (decision.verdict == QueryVerdict::Accepted) {
            const bool inThisPoll = takenKeys.count(decision.key) != 0;
            if (inThisPoll || (hooks.seenBefore && hooks.seenBefore(decision.key))) {
                log("Query from <" + ReplyAddress(mail.from) + "> was taken before", true);
                // A copy of a query of this poll leaves the mailbox once that one is saved.
                (inThisPoll ? accepted : denied).push_back(number);
                continue;
            }
        }
        if (decision.verdict == QueryVerdict::NotQuery) continue;
        log(decision.logLine, decision.verdict != QueryVerdict::Accepted);
        if (!decision.DeleteMessage()) continue;
        for (const std::string& note : decision.notes)
            log(note, true);
        if (decision.verdict != QueryVerdict::Accepted || decision.items.empty()) {
            denied.push_back(number);
            continue;
        }
        accepted.push_back(number);
        takenKeys.insert(decision.key);
        queries.keys.push_back(decision.key);
        for (UrlItem& item : decision.items)
            queries.items.push_back(std::move(item));
    }

    const std::size_t taken = queries.items.size();
    bool saved = queries.items.empty();
    if (!queries.items.empty()) {
        saved = hooks.save && hooks.save(queries);
        if (!saved) {
            log("The received items were not saved; their messages stay in the mailbox", true);
        }
    }
    if (pop3.IsConnected()) {
        for (const int number : denied)
            pop3.Delete(number);
        if (saved) {
            for (const int number : accepted)
                pop3.Delete(number);
        }
        // The deletions take effect with QUIT only.
        pop3.Disconnect();
    }
    if (!saved || (!readAll && taken == 0)) return -1;
    return static_cast<int>(taken);
}

}  // namespace kov

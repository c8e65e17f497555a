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

// One poll: the connection, the judged messages and what becomes of them.
class MailboxPoll {
public:
    MailboxPoll(const EmailSettings& email, const IncomingHooks& hooks)
        : m_email(email), m_hooks(hooks) {}

    int Run(const std::string& baseFolder, std::time_t now);

private:
    enum class Read { Message, Skipped, Stop };

    void Log(const std::string& text, bool error) const {
        if (m_hooks.log) m_hooks.log(text, error);
    }
    bool Stopped() const { return m_hooks.stop && m_hooks.stop(); }
    bool Connect();
    // Connects and counts the messages; false (logged) when the mailbox cannot be read.
    bool Open();
    // Skipped: the message stays in the mailbox; Stop: the poll reads no more.
    Read Fetch(int number, Pop3Message& message);
    // Files one judged message under the ones that leave now, after the save, or never.
    void Take(int number, const MailText& mail, QueryDecision decision);
    // Hands the items over to be saved, deletes what may go and gives the poll's result.
    int Finish();

    const EmailSettings& m_email;
    const IncomingHooks& m_hooks;
    ServerAddress m_server;
    Pop3Connection m_pop3;
    int m_count = 0;
    IncomingQueries m_queries;
    std::vector<int> m_denied;          // leave the mailbox whatever happens to the others
    std::vector<int> m_accepted;        // leave it once their items are saved
    std::set<std::string> m_takenKeys;  // of this poll's accepted queries
    bool m_readAll = true;
    int m_reconnects = 0;
};

// Nothing is deleted before the final QUIT, so a new connection numbers the messages as the
// old one did.
bool MailboxPoll::Connect() {
    long long size = 0;
    return m_pop3.Connect(m_server.host, m_email.MailBox, m_email.MailBoxPsw, m_server.port) &&
           m_pop3.Statistics(m_count, size) && (m_count == 0 || m_pop3.List());
}

bool MailboxPoll::Open() {
    const MailSecurity security = MailSecurityFromSetting(m_email.Pop3Security);
    m_server = SplitServer(m_email.Pop3Server, security == MailSecurity::Implicit ? 995 : 110);
    m_pop3.SetTimeout(kPollReplyTimeout);
    m_pop3.SetSecurity(security);
    if (!m_email.TlsCaFile.empty()) m_pop3.SetCaFile(m_email.TlsCaFile);
    if (m_hooks.stop) m_pop3.SetCancelled(m_hooks.stop);
    if (!Connect()) {
        Log(GetString(EventCode::GetMailError) + " " + m_pop3.GetLastError(), true);
        m_pop3.Disconnect();
        return false;
    }
    // A message the listing does not name does not exist: a count beyond it would only make
    // the poll ask for nothing, message by message.
    if (m_count > static_cast<int>(m_pop3.Sizes().size())) {
        Log("The mailbox counts " + std::to_string(m_count) + " messages but lists " +
                std::to_string(m_pop3.Sizes().size()),
            true);
        m_count = static_cast<int>(m_pop3.Sizes().size());
    }
    return true;
}

MailboxPoll::Read MailboxPoll::Fetch(int number, Pop3Message& message) {
    // A message too big to fetch would end every poll here; the others still get their
    // turn, and it stays for the user.
    const auto& sizes = m_pop3.Sizes();
    if (static_cast<std::size_t>(number) <= sizes.size() &&
        sizes[static_cast<std::size_t>(number) - 1] >
            static_cast<long long>(Pop3Connection::kDefaultMaxMessage)) {
        Log("Message " + std::to_string(number) + " is too large to be read; left in the mailbox",
            true);
        return Read::Skipped;
    }
    if (m_pop3.Retrieve(number, message)) return Read::Message;
    // One message the server cannot give must not hold up every later one: it stays in the
    // mailbox for the next poll, and the others get their turn now.
    Log("Message " + std::to_string(number) + " cannot be read; left in the mailbox (" +
            m_pop3.GetLastError() + ")",
        true);
    m_readAll = false;
    if (m_pop3.IsConnected()) return Read::Skipped;
    if (++m_reconnects > kMaxReconnects || Stopped()) return Read::Stop;
    if (!Connect()) {
        Log(GetString(EventCode::GetMailError) + " " + m_pop3.GetLastError(), true);
        return Read::Stop;
    }
    return Read::Skipped;
}

void MailboxPoll::Take(int number, const MailText& mail, QueryDecision decision) {
    if (decision.verdict == QueryVerdict::Accepted) {
        const bool inThisPoll = m_takenKeys.count(decision.key) != 0;
        if (inThisPoll || (m_hooks.seenBefore && m_hooks.seenBefore(decision.key))) {
            Log("Query from <" + ReplyAddress(mail.from) + "> was taken before", true);
            // A copy of a query of this poll leaves the mailbox once that one is saved.
            (inThisPoll ? m_accepted : m_denied).push_back(number);
            return;
        }
    }
    if (decision.verdict == QueryVerdict::NotQuery) return;
    Log(decision.logLine, decision.verdict != QueryVerdict::Accepted);
    if (!decision.DeleteMessage()) return;
    for (const std::string& note : decision.notes)
        Log(note, true);
    if (decision.verdict != QueryVerdict::Accepted || decision.items.empty()) {
        m_denied.push_back(number);
        return;
    }
    m_accepted.push_back(number);
    m_takenKeys.insert(decision.key);
    m_queries.keys.push_back(decision.key);
    for (UrlItem& item : decision.items)
        m_queries.items.push_back(std::move(item));
}

int MailboxPoll::Finish() {
    const std::size_t taken = m_queries.items.size();
    bool saved = m_queries.items.empty();
    if (!m_queries.items.empty()) {
        saved = m_hooks.save && m_hooks.save(m_queries);
        if (!saved) {
            Log("The received items were not saved; their messages stay in the mailbox", true);
        }
    }
    if (m_pop3.IsConnected()) {
        for (const int number : m_denied)
            m_pop3.Delete(number);
        if (saved) {
            for (const int number : m_accepted)
                m_pop3.Delete(number);
        }
        // The deletions take effect with QUIT only.
        m_pop3.Disconnect();
    }
    if (!saved || (!m_readAll && taken == 0)) return -1;
    return static_cast<int>(taken);
}

int MailboxPoll::Run(const std::string& baseFolder, std::time_t now) {
    if (!Open()) return -1;
    QueryAcceptance acceptance(QueryPolicy::From(m_email), PollFolder(baseFolder, now),
                               GetString(EventCode::CEReceivedQueryFrom));
    const int listed = m_count;
    for (int number = 1; number <= std::min(m_count, listed); ++number) {
        if (Stopped()) {
            m_readAll = false;
            break;
        }
        Pop3Message message;
        const Read read = Fetch(number, message);
        if (read == Read::Stop) break;
        if (read == Read::Skipped) continue;
        MailText mail;
        mail.from = message.GetHeaderItem("From");
        mail.subject = message.GetHeaderItem("Subject");
        mail.messageId = message.GetHeaderItem("Message-ID");
        if (mail.subject.starts_with(kQueryMarker)) {
            QueryBody body = DecodeQueryBody(message);
            mail.body = std::move(body.text);
            mail.bodyProblem = std::move(body.problem);
        }
        Take(number, mail, acceptance.Judge(mail, nullptr, now));
    }
    return Finish();
}

}  // namespace

int GetIncomingRequests(const EmailSettings& email, const std::string& baseFolder,
                        const IncomingHooks& hooks, std::time_t now) {
    if (email.Pop3Server.empty()) return 0;
    return MailboxPoll(email, hooks).Run(baseFolder, now);
}

}  // namespace kov

#include "mail_control/query_acceptance.h"

#include "core/text/text_util.h"
#include "mail_control/job_result_mail.h"
#include "mail_control/local_network_url.h"
#include "mail_control/query_destination.h"
#include "mail_control/query_message.h"
#include "model/exchange_format.h"

namespace kov {
namespace {

// A sender as it may appear in a log line: one line, bounded.
std::string LogSafe(std::string_view text) {
    return CapText(HeaderSafe(text), 120);
}

std::string Denied(std::string_view from, std::string_view cause) {
    return "Denied query from <" + LogSafe(from) + ">, cause: " + std::string(cause);
}

}  // namespace

QueryPolicy QueryPolicy::From(const EmailSettings& email) {
    QueryPolicy p;
    p.passphrase = email.Passphrase;
    p.openAccess = email.QueryOpenAccess != 0;
    p.allowCommand = email.QueryAllowCommand != 0;
    p.allowUpload = email.QueryAllowUpload != 0;
    p.allowLocal = email.QueryAllowLocal != 0;
    return p;
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() > b.size() ? a.size() : b.size();
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned>(x ^ y);
    }
    return diff == 0;
}

QueryAcceptance::QueryAcceptance(QueryPolicy policy, std::string pollFolder,
                                 std::string receivedText)
    : m_policy(std::move(policy)),
      m_pollFolder(std::move(pollFolder)),
      m_receivedText(std::move(receivedText)) {}

QueryDecision QueryAcceptance::Judge(const MailText& mail, const SeenMessages* seen,
                                     std::time_t now) {
    QueryDecision d;
    if (mail.subject.compare(0, kQueryMarker.size(), kQueryMarker) != 0) return d;
    const std::string_view given = std::string_view(mail.subject).substr(kQueryMarker.size());
    if (m_policy.passphrase.empty() && !m_policy.openAccess) {
        d.verdict = QueryVerdict::Closed;
        d.logLine = Denied(mail.from, "no access password is set");
        return d;
    }
    if (!ConstantTimeEquals(given, m_policy.passphrase)) {
        d.verdict = QueryVerdict::WrongPassword;
        d.logLine = Denied(mail.from, "wrong password");
        return d;
    }
    if (mail.body.size() > kMaxQueryBody) {
        d.verdict = QueryVerdict::TooLarge;
        d.logLine = Denied(mail.from, "message too large");
        return d;
    }
    if (!mail.bodyProblem.empty()) {
        d.verdict = QueryVerdict::Unreadable;
        d.logLine = Denied(mail.from, LogSafe(mail.bodyProblem));
        return d;
    }
    d.key = SeenMessages::KeyOf(mail);
    if (seen != nullptr && seen->Contains(d.key)) {
        d.verdict = QueryVerdict::Duplicate;
        d.logLine = "Query from <" + LogSafe(mail.from) + "> was taken before";
        return d;
    }
    d.verdict = QueryVerdict::Accepted;
    ExchangeReader reader(mail.body);
    for (std::size_t read = 0; read < kMaxItemsPerQuery; ++read) {
        UrlItem item = FreshItem();
        if (!reader.ReadItem(item, now)) break;
        if (!m_policy.allowLocal && m_hostCheckSpent >= m_policy.hostCheckBudget) {
            if (read == 0) {
                // Nothing of it was judged: the next poll, with time of its own, takes it whole.
                d.verdict = QueryVerdict::Deferred;
                d.logLine = "Query from <" + LogSafe(mail.from) +
                            "> left in the mailbox: this poll spent its time on host look-ups";
                return d;
            }
            d.notes.push_back("The rest of the query from <" + LogSafe(mail.from) +
                              "> was refused: checking the hosts of its URLs took too long");
            break;
        }
        if (TakeItem(item, mail.from, d.notes)) d.items.push_back(std::move(item));
    }
    d.logLine =
        m_receivedText + " <" + LogSafe(mail.from) + ">, URLs:=" + std::to_string(d.items.size());
    return d;
}

bool QueryAcceptance::TakeItem(UrlItem& item, std::string_view from,
                               std::vector<std::string>& notes) {
    const std::string name = "[" + LogSafe(item.Name) + "] - ";
    if (!m_policy.allowLocal) {
        const auto start = std::chrono::steady_clock::now();
        const bool remote = IsRemoteUrl(item.Url);
        m_hostCheckSpent += std::chrono::steady_clock::now() - start;
        if (!remote) {
            notes.push_back(name + "refused: not an http, https or ftp address of the Internet");
            return false;
        }
    }
    if (!m_policy.allowCommand && !item.Cmd.empty()) {
        item.Cmd.clear();
        notes.push_back(name + "after-download command removed");
    }
    if (!m_policy.allowUpload && (item.Upload != 0 || !item.UploadServer.empty())) {
        item.Upload = 0;
        item.UploadServer.clear();
        item.UploadFolder.clear();
        item.UploadLogin.clear();
        item.UploadPassword.clear();
        notes.push_back(name + "upload removed");
    }
    // That id makes a finished item start a program update.
    if (item.ID == UrlItem::kUpdateProgramId) item.ID.clear();
    item.CEType = 10;
    // The bare address: a display name in front would end up inside the RCPT command of the
    // job result, and a cut value is no address at all.
    item.CEComeFrom = CapText(ReplyAddress(from), UrlItem::kCeComeFromCapacity);
    item.Disabled = 0;
    item.ClearFolder = 0;
    item.interval = -1;
    item.Dest = QueryItemDest(m_pollFolder, ++m_number, item.Dest);
    return true;
}

}  // namespace kov

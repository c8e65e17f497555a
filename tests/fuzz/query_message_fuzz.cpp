// A message fetched from the mailbox as a query: header fields, the body in any transfer
// encoding or MIME part, the subject with its password and the URL list. The items a query
// brings never run a command, never upload, never start a program update and land in the
// poll's folder; no log line holds the password or a line break. The decoders give back what
// was encoded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "fuzz_support.h"
#include "mail_control/query_acceptance.h"
#include "mail_control/query_body.h"
#include "mail_control/query_destination.h"
#include "net/mail/pop3_message.h"

namespace {

constexpr std::time_t kNow = 1700000000;
constexpr const char* kPassword = "Sesam-0pen";

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
        if (out.size() % 78 == 76) out += "\r\n";
    }
    return out;
}

std::string QuotedPrintable(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 33 && u <= 126 && c != '=') {
            out += c;
        } else {
            out += '=';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
        if (out.size() % 80 > 72) out += "=\r\n";
    }
    return out;
}

void CheckLogText(const std::string& text, const std::string& from) {
    kov::fuzz::Check(text.find_first_of("\r\n") == std::string::npos, "a log line is one line");
    if (from.find(kPassword) == std::string::npos)
        kov::fuzz::Check(text.find(kPassword) == std::string::npos, "no password in the log");
}

void CheckItem(const kov::UrlItem& item, const std::string& pollFolder) {
    kov::fuzz::Check(item.Cmd.empty(), "a query runs no command");
    kov::fuzz::Check(item.Upload == 0 && item.UploadServer.empty(), "a query uploads nothing");
    kov::fuzz::Check(item.ID != kov::UrlItem::kUpdateProgramId, "a query starts no update");
    kov::fuzz::Check(item.Dest.starts_with(pollFolder), "an item lands in the poll folder");
    const std::string_view below = std::string_view(item.Dest).substr(pollFolder.size());
    for (std::size_t start = 0; start <= below.size();) {
        const std::size_t end = std::min(below.find('/', start), below.size());
        kov::fuzz::Check(below.substr(start, end - start) != "..",
                         "an item does not climb out of the poll folder");
        start = end + 1;
    }
    kov::fuzz::Check(!kov::fuzz::HasControl(item.Dest), "no control characters in a folder");
    kov::fuzz::Check(!kov::fuzz::HasControl(item.CEComeFrom), "the reply address is one line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = kov::fuzz::AsText(data, size);
    std::string decoded;
    kov::fuzz::Check(kov::DecodeBase64(Base64(input), decoded) && decoded == input,
                     "base64 decodes what was encoded");
    kov::fuzz::Check(kov::DecodeQuotedPrintable(QuotedPrintable(input)) == input,
                     "quoted-printable decodes what was encoded");
    (void)kov::DecodeBase64(input, decoded);
    (void)kov::DecodeQuotedPrintable(input);

    const kov::Pop3Message message{std::string(input)};
    kov::MailText mail;
    mail.from = message.GetHeaderItem("From");
    mail.subject = message.GetHeaderItem("Subject");
    mail.messageId = message.GetHeaderItem("Message-ID");
    for (const std::string* field : {&mail.from, &mail.subject, &mail.messageId})
        kov::fuzz::Check(field->find_first_of("\r\n") == std::string::npos, "fields unfolded");
    kov::QueryBody body = kov::DecodeQueryBody(message);
    mail.body = std::move(body.text);
    mail.bodyProblem = std::move(body.problem);

    kov::QueryPolicy policy;
    policy.passphrase = kPassword;
    policy.allowLocal = true;  // no host look-ups in the loop
    const std::string pollFolder = kov::PollFolder("/srv/queries/", kNow);
    kov::QueryAcceptance acceptance(policy, pollFolder);
    const kov::QueryDecision decision = acceptance.Judge(mail, nullptr, kNow);
    CheckLogText(decision.logLine, mail.from);
    for (const std::string& note : decision.notes)
        kov::fuzz::Check(note.find_first_of("\r\n") == std::string::npos, "a note is one line");
    kov::fuzz::Check(decision.items.size() <= kov::QueryAcceptance::kMaxItemsPerQuery,
                     "items per query");
    for (const kov::UrlItem& item : decision.items)
        CheckItem(item, pollFolder);
    return 0;
}

#include "mail_control/query_message.h"

#include <sstream>

#include "model/exchange_format.h"

namespace kov {

std::string QueryBodyFromText(std::string_view fileText) {
    std::string body;
    std::size_t pos = 0;
    while (pos < fileText.size()) {
        std::size_t end = fileText.find('\n', pos);
        if (end == std::string_view::npos) end = fileText.size();
        std::string_view line = fileText.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (!body.empty()) body += '\n';
        body += line;
        if (line.substr(0, 8) == "</URLIST") break;
    }
    return body;
}

std::string HeaderSafe(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    return out;
}

std::optional<MailText> ComposeQuery(const EmailSettings& email, std::size_t hostIndex,
                                     std::string_view queryText) {
    if (hostIndex >= email.hosts.size()) return std::nullopt;
    const EmailHost& host = email.hosts[hostIndex];
    MailText mail;
    mail.from = HeaderSafe(email.MyEmailAddr);
    mail.to = HeaderSafe(host.HostEmail);
    mail.subject = std::string(kQueryMarker) + HeaderSafe(host.HostPsw);
    mail.body = QueryBodyFromText(queryText);
    mail.mailer = kQueryMailer;
    return mail;
}

std::string ItemQueryText(const UrlItem& item) {
    std::ostringstream out;
    out << "<URLIST>\n<VERSION 1.0/>\n";
    WriteItem(out, item, kExchangeModeQuery);
    out << "</URLIST>";
    return out.str();
}

std::optional<MailText> ComposeItemQuery(const EmailSettings& email, const UrlItem& item) {
    if (email.PrimaryHost < 0) return std::nullopt;
    return ComposeQuery(email, static_cast<std::size_t>(email.PrimaryHost), ItemQueryText(item));
}

}  // namespace kov

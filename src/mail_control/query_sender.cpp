#include "mail_control/query_sender.h"

#include "core/language/message_table.h"
#include "mail_control/query_message.h"
#include "net/mail/mail_message.h"
#include "net/mail/pop3_connection.h"
#include "net/mail/smtp_connection.h"

namespace kov {

ServerAddress SplitServer(std::string_view text, int defaultPort) {
    ServerAddress address{std::string(text), defaultPort};
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return address;
    address.host = std::string(text.substr(0, colon));
    int port = 0;
    const std::string_view digits = text.substr(colon + 1);
    for (const char c : digits) {
        if (c < '0' || c > '9' || port > 65535) return address;
        port = port * 10 + (c - '0');
    }
    if (port > 0 && port <= 65535) address.port = port;
    return address;
}

namespace {

int SmtpDefaultPort(const EmailSettings& email) {
    return MailSecurityFromSetting(email.SmtpSecurity) == MailSecurity::Implicit ? 465 : 25;
}

int Pop3DefaultPort(const EmailSettings& email) {
    return MailSecurityFromSetting(email.Pop3Security) == MailSecurity::Implicit ? 995 : 110;
}

void PrepareSmtp(const EmailSettings& email, SmtpConnection& smtp, const MailStop& stop) {
    smtp.SetSecurity(MailSecurityFromSetting(email.SmtpSecurity));
    if (!email.SmtpUser.empty()) smtp.SetLogin(email.SmtpUser, email.SmtpPsw);
    if (!email.TlsCaFile.empty()) smtp.SetCaFile(email.TlsCaFile);
    if (stop) smtp.SetCancelled(stop);
}

}  // namespace

bool SendMailText(const EmailSettings& email, const MailText& mail, const MailStop& stop,
                  std::string* error) {
    const ServerAddress server = SplitServer(email.SmtpServer, SmtpDefaultPort(email));
    if (server.host.empty()) {
        if (error) *error = "no SMTP server is set";
        return false;
    }
    SmtpConnection smtp(server.host, server.port);
    PrepareSmtp(email, smtp, stop);
    if (!mail.mailer.empty()) smtp.SetMailer(mail.mailer);
    MailMessage message;
    message.SetSender(mail.from);
    message.SetSubject(mail.subject);
    message.AddRecipient(mail.to);
    std::size_t pos = 0;
    while (pos <= mail.body.size()) {
        std::size_t end = mail.body.find('\n', pos);
        if (end == std::string::npos) end = mail.body.size();
        message.AddBodyLine(mail.body.substr(pos, end - pos));
        pos = end + 1;
    }
    const bool sent = smtp.Connect() == 1 && smtp.Send(message) == 1;
    if (!sent && error) *error = smtp.GetLastError();
    smtp.Disconnect();
    return sent;
}

bool SendQuery(const EmailSettings& email, std::size_t hostIndex, std::string_view queryText,
               const MailStop& stop, std::string* error) {
    const std::optional<MailText> mail = ComposeQuery(email, hostIndex, queryText);
    if (!mail) {
        if (error) *error = "no KOV server number " + std::to_string(hostIndex + 1);
        return false;
    }
    return SendMailText(email, *mail, stop, error);
}

bool TestSmtp(const EmailSettings& email, std::string& text) {
    const ServerAddress server = SplitServer(email.SmtpServer, SmtpDefaultPort(email));
    SmtpConnection smtp(server.host, server.port);
    PrepareSmtp(email, smtp, {});
    if (server.host.empty() || smtp.Connect() != 1) {
        text = GetString(EventCode::ConnectingError);
        if (!smtp.GetLastError().empty()) text += " (" + smtp.GetLastError() + ")";
        return false;
    }
    text = "SMTP: " + GetString(EventCode::ServerLive);
    smtp.Disconnect();
    return true;
}

bool TestPop3(const EmailSettings& email, std::string& text) {
    const ServerAddress server = SplitServer(email.Pop3Server, Pop3DefaultPort(email));
    Pop3Connection pop3;
    pop3.SetSecurity(MailSecurityFromSetting(email.Pop3Security));
    if (!email.TlsCaFile.empty()) pop3.SetCaFile(email.TlsCaFile);
    int count = 0;
    long long size = 0;
    if (server.host.empty() ||
        !pop3.Connect(server.host, email.MailBox, email.MailBoxPsw, server.port) || !pop3.Noop() ||
        !pop3.Statistics(count, size)) {
        text = GetString(EventCode::NoServer) + "\r\n" + pop3.GetLastError();
        return false;
    }
    text = email.Pop3Server + " - " + GetString(EventCode::ServerLive) + ", " +
           GetString(EventCode::Messages) + ": " + std::to_string(count);
    pop3.Disconnect();
    return true;
}

}  // namespace kov

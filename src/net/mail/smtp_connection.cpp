#include "net/mail/smtp_connection.h"

#include "net/mail/mail_reply.h"
#include "net/mail/reply_deadline.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace kov {

namespace {

constexpr int kPortImplicitTls = 465;
constexpr const char* kServerError = "SMTP server error";

std::string Base64(const std::string& text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    out.resize(static_cast<std::size_t>(length));
    return out;
}

// "550:SMTP server refused the recipient <a@b> (550 5.1.1 no such user)": the server's own
// words, one line, bounded.
std::string RecipientRefusal(const std::string& address, const std::string& reply) {
    std::string said = reply.substr(0, 200);
    for (char& c : said)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    while (!said.empty() && said.back() == ' ')
        said.pop_back();
    return std::to_string(std::atoi(reply.c_str())) + ":SMTP server refused the recipient <" +
           address.substr(0, 254) + ">" + (said.empty() ? "" : " (" + said + ")");
}

std::string LocalHostName() {
    char name[81] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

}  // namespace

SmtpConnection::SmtpConnection(std::string host, int port) : m_host(std::move(host)), m_port(port) {
    if (port == kPortImplicitTls) m_security = MailSecurity::Implicit;
}

SmtpConnection::~SmtpConnection() {
    if (m_connected) Disconnect();
}

void SmtpConnection::SetLogin(std::string user, std::string password) {
    m_user = std::move(user);
    m_password = std::move(password);
}

void SmtpConnection::Fail(std::string error) {
    m_lastError = std::move(error);
    m_stream.Close();
}

bool SmtpConnection::ReadReply(int expected, const char* text) {
    // A reply is complete with its last line: three digits and a blank (or nothing) after.
    ReplyDeadline deadline(m_stream);
    for (;;) {
        const std::size_t stop = SmtpReplyEnd(m_pending);
        if (stop != std::string::npos) {
            m_reply = m_pending.substr(0, stop);
            m_pending.erase(0, stop);
            const int code = std::atoi(m_reply.c_str());
            if (code == expected) return true;
            m_lastError = std::to_string(code) + ":" + text;
            return false;
        }
        if (m_pending.size() > kMaxReply) {
            m_lastError = "SMTP reply too long";
            return false;
        }
        char buffer[4096];
        const long count = m_stream.Receive(buffer, sizeof buffer);
        if (count <= 0) {
            m_lastError = "Socket Error";
            if (count < 0) m_lastError += ": " + m_stream.ErrorText();
            return false;
        }
        m_pending.append(buffer, static_cast<std::size_t>(count));
        deadline.Received(static_cast<std::size_t>(count));
    }
}

bool SmtpConnection::Command(const std::string& line, int expected, const char* text) {
    if (!m_stream.SendAll(line)) {
        m_lastError = "Socket Error: " + m_stream.ErrorText();
        return false;
    }
    return ReadReply(expected, text);
}

bool SmtpConnection::Hello(bool extended) {
    m_extensions.clear();
    if (!Command((extended ? "EHLO " : "HELO ") + LocalHostName() + "\r\n", 250, kServerError))
        return false;
    if (!extended) return true;
    m_extensions = SmtpExtensions(m_reply);
    return true;
}

bool SmtpConnection::Authenticate() {
    auto offers = [&](const std::string& method) {
        return std::any_of(m_extensions.begin(), m_extensions.end(), [&](const std::string& e) {
            return (e.starts_with("AUTH ") || e.starts_with("AUTH=")) &&
                   (" " + e.substr(5) + " ").find(" " + method + " ") != std::string::npos;
        });
    };
    const char* refused = "SMTP authentication failed";
    if (offers("PLAIN"))
        return Command(
            "AUTH PLAIN " + Base64(std::string(1, '\0') + m_user + '\0' + m_password) + "\r\n", 235,
            refused);
    if (offers("LOGIN"))
        return Command("AUTH LOGIN\r\n", 334, refused) &&
               Command(Base64(m_user) + "\r\n", 334, refused) &&
               Command(Base64(m_password) + "\r\n", 235, refused);
    m_lastError = "SMTP server offers no known AUTH method";
    return false;
}

int SmtpConnection::Connect() {
    if (m_connected) return 1;
    m_pending.clear();
    // Each text says why as well: a mistyped name and a closed port need different mends.
    if (!m_stream.Connect(m_host, m_port)) {
        m_lastError = "Unable to connect to server (" + m_host + ": " + m_stream.ErrorText() + ")";
        return 0;
    }
    if (m_security == MailSecurity::Implicit && !m_stream.StartTls(m_host))
        return Fail(m_stream.ErrorText()), 0;
    if (!ReadReply(220, "SMTP server not available"))
        return Fail("Server didn't respond. (" + m_lastError + ")"), 0;
    const bool wantsTls =
        m_security == MailSecurity::StartTls || m_security == MailSecurity::StartTlsIfOffered;
    const bool extended = wantsTls || !m_user.empty();
    if (!Hello(extended)) return Fail(m_lastError), 0;
    if (wantsTls) {
        const bool offered =
            std::find(m_extensions.begin(), m_extensions.end(), "STARTTLS") != m_extensions.end();
        if (offered) {
            if (!Command("STARTTLS\r\n", 220, kServerError)) return Fail(m_lastError), 0;
            m_pending.clear();  // nothing sent before the handshake may be trusted
            if (!m_stream.StartTls(m_host)) return Fail(m_stream.ErrorText()), 0;
            if (!Hello(true)) return Fail(m_lastError), 0;
        } else if (m_security == MailSecurity::StartTls) {
            return Fail("SMTP server does not offer STARTTLS"), 0;
        }
    }
    if (!m_user.empty() && !Authenticate()) return Fail(m_lastError), 0;
    m_connected = true;
    return 1;
}

int SmtpConnection::Send(const MailMessage& message) {
    if (!m_connected) {
        m_lastError = "Must be connected";
        return 0;
    }
    std::string header;
    std::string body;
    if (!message.Prepare(header, body, m_lastError)) return 0;
    if (!Command("MAIL From: <" + message.Sender() + ">\r\n", 250, kServerError)) return 0;
    // A refused recipient does not stop the message while another one was taken. With none
    // taken nothing would be delivered: the refusal itself is the error, not the "503" that
    // a server gives to DATA without recipients.
    std::string refusal;
    bool anyTaken = false;
    for (const auto& recipient : message.Recipients()) {
        if (Command("RCPT TO: <" + recipient.first + ">\r\n", 250, kServerError)) {
            anyTaken = true;
            continue;
        }
        if (m_lastError.starts_with("Socket Error") || m_lastError.starts_with("SMTP reply"))
            return 0;
        if (refusal.empty()) refusal = RecipientRefusal(recipient.first, m_reply);
    }
    if (!anyTaken) {
        m_lastError = refusal;
        return 0;
    }
    if (!Command("DATA\r\n", 354, "SMTP server not ready for data")) return 0;
    return Command(header + "X-Mailer: " + m_mailer + "\r\n\r\n" + body + "\r\n.\r\n", 250,
                   kServerError)
               ? 1
               : 0;
}

void SmtpConnection::Disconnect() {
    if (m_connected) Command("QUIT\r\n", 221, "SMTP server didn't terminate session");
    m_stream.Close();
    m_connected = false;
}

}  // namespace kov

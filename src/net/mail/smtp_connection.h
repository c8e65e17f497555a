#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "net/mail/mail_message.h"
#include "net/tls/tls_stream.h"

namespace kov {

// A small SMTP client: one connection, any number of messages, then Disconnect. Plain by
// default; STARTTLS, TLS from the start (port 465 unless told otherwise) and AUTH PLAIN or
// LOGIN when configured. Failures return 0 with the reason in GetLastError(); the password
// never appears in it.
class SmtpConnection {
public:
    // Replies longer than this are refused (a broken or hostile server).
    static constexpr std::size_t kMaxReply = 64 * 1024;

    SmtpConnection(std::string host, int port);
    ~SmtpConnection();
    SmtpConnection(const SmtpConnection&) = delete;
    SmtpConnection& operator=(const SmtpConnection&) = delete;

    void SetMailer(std::string name) { m_mailer = std::move(name); }
    void SetSecurity(MailSecurity security) { m_security = security; }
    void SetLogin(std::string user, std::string password);
    void SetCaFile(std::string path) { m_stream.SetCaFile(std::move(path)); }
    void SetTimeout(std::chrono::milliseconds timeout) { m_stream.SetTimeout(timeout); }
    void SetCancelled(TcpSocket::Cancelled cancelled) {
        m_stream.SetCancelled(std::move(cancelled));
    }

    int Connect();
    int Send(const MailMessage& message);
    void Disconnect();

    const std::string& GetLastError() const { return m_lastError; }
    // The last reply as received.
    const std::string& GetLastReply() const { return m_reply; }
    bool IsConnected() const { return m_connected; }
    bool IsTls() const { return m_stream.IsTls(); }

private:
    // Reads one reply (all its lines); true when its code is expected. A wrong code leaves
    // "%d:<text>" as the last error.
    bool ReadReply(int expected, const char* text);
    bool Command(const std::string& line, int expected, const char* text);
    bool Hello(bool extended);
    bool Authenticate();
    void Fail(std::string error);

    std::string m_host;
    int m_port;
    std::string m_mailer = "SomeMailer";
    MailSecurity m_security = MailSecurity::Plain;
    std::string m_user;
    std::string m_password;
    TlsStream m_stream;
    std::string m_pending;  // bytes received after the last reply
    std::string m_reply;
    std::string m_lastError;
    std::vector<std::string> m_extensions;  // EHLO lines after the first, upper case
    bool m_connected = false;
};

}  // namespace kov

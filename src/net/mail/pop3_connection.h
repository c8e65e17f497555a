#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "net/mail/pop3_message.h"
#include "net/tls/tls_stream.h"

namespace kov {

// A small POP3 client: log in with USER and PASS, count, list, retrieve and delete messages by
// number (from 1), log out. Plain by default; STLS or TLS from the start (port 995 unless told
// otherwise) when configured. Failures return false with GetLastError(); the password never
// appears in it.
class Pop3Connection {
public:
    static constexpr std::size_t kMaxLineReply = 64 * 1024;
    // More messages than this in one mailbox are not believed (STAT) or listed (LIST).
    static constexpr long long kMaxMessages = 1000000;
    // A message (or listing) longer than this is refused rather than filling the memory.
    static constexpr std::size_t kDefaultMaxMessage = 64 * 1024 * 1024;

    Pop3Connection();
    ~Pop3Connection();
    Pop3Connection(const Pop3Connection&) = delete;
    Pop3Connection& operator=(const Pop3Connection&) = delete;

    // The wait for each reply; 2 s unless set.
    void SetTimeout(std::chrono::milliseconds timeout) { m_stream.SetTimeout(timeout); }
    void SetCancelled(TcpSocket::Cancelled cancelled) {
        m_stream.SetCancelled(std::move(cancelled));
    }
    void SetSecurity(MailSecurity security) { m_security = security; }
    void SetCaFile(std::string path) { m_stream.SetCaFile(std::move(path)); }
    void SetMaxMessage(std::size_t bytes) { m_maxMessage = bytes; }

    bool Connect(const std::string& host, const std::string& user, const std::string& password,
                 int port = 110);
    bool Statistics(int& count, long long& size);
    bool List();
    bool Retrieve(int number, Pop3Message& message);
    bool Delete(int number);
    bool Noop();
    void Disconnect();

    const std::string& GetLastError() const { return m_lastError; }
    int GetLastErrorCode() const { return m_lastErrorCode; }
    bool IsConnected() const { return m_connected; }
    bool IsTls() const { return m_stream.IsTls(); }
    // The sizes from LIST, by message number - 1.
    const std::vector<long long>& Sizes() const { return m_sizes; }

private:
    // Reads a reply up to terminator into m_reply; true when it starts with "+OK".
    bool ReadReply(const char* terminator, std::size_t limit);
    bool Command(const std::string& line);
    bool MultiLine(const std::string& line, std::size_t limit);
    bool Fail(int code, std::string text);
    // A reply that broke off leaves the rest of it on the line: the connection is closed.
    bool Broken(int code, std::string text);

    TlsStream m_stream;
    MailSecurity m_security = MailSecurity::Plain;
    std::size_t m_maxMessage = kDefaultMaxMessage;
    std::string m_pending;  // bytes received after the last reply
    std::string m_reply;
    std::string m_lastError;
    int m_lastErrorCode = 0;
    bool m_connected = false;
    bool m_listed = false;
    std::vector<long long> m_sizes;
};

}  // namespace kov

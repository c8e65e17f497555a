#include "net/mail/pop3_connection.h"

#include "core/text/text_util.h"
#include "net/mail/mail_reply.h"
#include "net/mail/reply_deadline.h"

#include <strings.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace kov {

namespace {

constexpr int kPortImplicitTls = 995;
constexpr std::chrono::milliseconds kDefaultTimeout{2000};
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kListEnd = "\r\n.\r\n";
constexpr std::size_t kMaxErrorText = 200;

enum ConnectError { kNoSocket = 101, kNoConnection = 102, kNoReply = 103, kNoSend = 104 };

std::string WithError(const char* format, int code, const std::string& cause) {
    char text[200];
    std::snprintf(text, sizeof text, format, code);
    return std::string(text) + (cause.empty() ? "" : " (" + cause + ")");
}

// What the server answered to a refused login, so that a wrong password and a locked or
// broken mailbox can be told apart; nothing when the answer would show the password.
std::string ServerSaid(const std::string& reply, const std::string& password) {
    std::string text = CapText(reply, kMaxErrorText);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    text = std::string(TrimBlanks(text));
    if (text.empty() || (!password.empty() && text.find(password) != std::string::npos)) return {};
    return " (" + text + ")";
}

}  // namespace

Pop3Connection::Pop3Connection() {
    m_stream.SetTimeout(kDefaultTimeout);
}

Pop3Connection::~Pop3Connection() {
    Disconnect();
}

bool Pop3Connection::Fail(int code, std::string text) {
    m_lastErrorCode = code;
    m_lastError = std::move(text);
    return false;
}

bool Pop3Connection::Broken(int code, std::string text) {
    m_stream.Close();
    m_connected = false;
    return Fail(code, std::move(text));
}

bool Pop3Connection::ReadReply(const char* terminator, std::size_t limit) {
    const std::string_view end(terminator);
    ReplyDeadline deadline(m_stream);
    std::size_t searchFrom = 0;
    for (;;) {
        const std::size_t firstLine = m_pending.find(kLineEnd);
        const std::size_t stop = Pop3ReplyEnd(m_pending, end != kLineEnd, searchFrom);
        if (stop != std::string::npos) {
            m_reply = m_pending.substr(0, stop);
            m_pending.erase(0, stop);
            if (Pop3ReplyOk(m_reply)) return true;
            return Fail(EPROTONOSUPPORT, m_reply);
        }
        if (m_pending.size() > limit) return Broken(EMSGSIZE, "POP3 reply too long");
        char buffer[32000];
        const long count = m_stream.Receive(buffer, sizeof buffer);
        if (count <= 0) {
            // What came so far tells most about a server that stopped half-way in a one-line
            // reply. Of a listing or a message only its status line is told: the rest is mail
            // (the subject of a query carries its password) and no business of the log.
            const int code = count == 0 ? ECONNRESET : m_stream.SocketError();
            std::string said = m_pending;
            if (end != kLineEnd && firstLine != std::string::npos) {
                said = m_pending.substr(0, firstLine) + " ... broken off after " +
                       std::to_string(m_pending.size()) + " bytes";
            }
            return Broken(code != 0 ? code : EPROTO, !said.empty() ? CapText(said, kMaxErrorText)
                                                     : count == 0
                                                         ? "connection closed by the server"
                                                         : m_stream.ErrorText());
        }
        m_pending.append(buffer, static_cast<std::size_t>(count));
        deadline.Received(static_cast<std::size_t>(count));
    }
}

bool Pop3Connection::Command(const std::string& line) {
    if (!m_stream.SendAll(line)) return Fail(EIO, m_stream.ErrorText());
    return ReadReply(kLineEnd, kMaxLineReply);
}

bool Pop3Connection::MultiLine(const std::string& line, std::size_t limit) {
    if (!m_stream.SendAll(line)) return Fail(EIO, m_stream.ErrorText());
    return ReadReply(kListEnd, limit);
}

bool Pop3Connection::Connect(const std::string& host, const std::string& user,
                             const std::string& password, int port) {
    Disconnect();
    m_pending.clear();
    m_listed = false;
    m_sizes.clear();
    if (!m_stream.Connect(host, port)) {
        const std::string cause = m_stream.ErrorText();
        return Fail(kNoConnection,
                    WithError("CPop3Connection::Connect, Could not connect to the POP3 server, "
                              "GetLastError:%d",
                              m_stream.SocketError(), cause));
    }
    const MailSecurity security = port == kPortImplicitTls && m_security == MailSecurity::Plain
                                      ? MailSecurity::Implicit
                                      : m_security;
    auto failConnect = [&](int code, std::string text) {
        m_stream.Close();
        m_connected = false;
        return Fail(code, std::move(text));
    };
    if (security == MailSecurity::Implicit && !m_stream.StartTls(host))
        return failConnect(kNoConnection, m_stream.ErrorText());
    m_connected = true;
    if (!ReadReply(kLineEnd, kMaxLineReply))
        return failConnect(kNoReply,
                           WithError("CPop3Connection::Connect, Failed to read a command response "
                                     "from the POP3 server, GetLastError:%d",
                                     m_lastErrorCode, m_lastError));
    if (security == MailSecurity::StartTls || security == MailSecurity::StartTlsIfOffered) {
        const bool upgraded = Command("STLS\r\n");
        if (!upgraded && (security == MailSecurity::StartTls || !m_stream.IsOpen()))
            return failConnect(kNoReply, "POP3 server refused STLS: " + m_lastError);
        m_pending.clear();  // nothing sent before the handshake may be trusted
        if (upgraded && !m_stream.StartTls(host))
            return failConnect(kNoConnection, m_stream.ErrorText());
    }
    if (user.find_first_of("\r\n") != std::string::npos ||
        !m_stream.SendAll("USER " + user + "\r\n"))
        return failConnect(kNoSend,
                           "CPop3Connection::Connect, Failed to send the USER command to the POP3 "
                           "server");
    if (!ReadReply(kLineEnd, kMaxLineReply))
        return failConnect(kNoReply,
                           "CPop3Connection::Connect, Failed to read a USER command response "
                           "from the POP3 server" +
                               ServerSaid(m_lastError, password));
    // A line break would smuggle further commands into the session.
    if (password.find_first_of("\r\n") != std::string::npos ||
        !m_stream.SendAll("PASS " + password + "\r\n"))
        return failConnect(kNoSend,
                           "CPop3Connection::Connect, Failed to send the PASS command to the POP3 "
                           "server\n");
    if (!ReadReply(kLineEnd, kMaxLineReply))
        return failConnect(kNoReply,
                           "CPop3Connection::Connect, Failed to read a PASS command response "
                           "from the POP3 server\n" +
                               ServerSaid(m_lastError, password));
    return true;
}

bool Pop3Connection::Statistics(int& count, long long& size) {
    if (!Command("STAT\r\n")) return false;
    long long messages = 0;
    if (!ParsePop3Pair(std::string_view(m_reply).substr(3), kMaxMessages, messages, size))
        return Fail(EPROTO, "POP3 STAT reply not understood: " + CapText(m_reply, kMaxErrorText));
    count = static_cast<int>(messages);
    return true;
}

bool Pop3Connection::List() {
    if (!MultiLine("LIST\r\n", m_maxMessage)) return false;
    m_sizes = ParsePop3Listing(Pop3Unstuff(m_reply), kMaxMessages);
    m_listed = true;
    return true;
}

bool Pop3Connection::Retrieve(int number, Pop3Message& message) {
    if (!m_listed && !List()) return false;
    if (!MultiLine("RETR " + std::to_string(number) + "\r\n", m_maxMessage)) return false;
    message = Pop3Message(Pop3Unstuff(m_reply));
    return true;
}

bool Pop3Connection::Delete(int number) {
    if (!m_listed && !List()) return false;
    return Command("DELE " + std::to_string(number) + "\r\n");
}

bool Pop3Connection::Noop() {
    return Command("NOOP\r\n");
}

void Pop3Connection::Disconnect() {
    if (m_connected) Command("QUIT\r\n");
    m_connected = false;
    m_stream.Close();
}

}  // namespace kov

#pragma once

#include <openssl/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace kov {

// How a mail client protects its connection.
enum class MailSecurity {
    Plain,              // no TLS at all
    StartTlsIfOffered,  // upgrade when the server offers it, else stay plain
    StartTls,           // upgrade, refuse a server that does not offer it
    Implicit,           // TLS from the first byte (ports 465 and 995)
};

// The value of a mail security setting: 0 plain, 1 upgrade when offered, 2 upgrade required,
// 3 TLS from the start; anything else is plain.
MailSecurity MailSecurityFromSetting(int value);

// A client connection that starts plain and may switch to TLS (OpenSSL) in place: the
// server's certificate must chain to the system's CA store or to the extra CA file, and must
// name the host that was asked for. Every wait has the time-out and watches the stop predicate.
class TlsStream {
public:
    TlsStream() = default;
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    void SetTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    std::chrono::milliseconds Timeout() const { return m_timeout; }
    // No wait goes past this moment either: a peer that sends a byte now and then must not
    // hold a reply open for ever. None: only the time-out of each wait counts.
    void SetDeadline(Deadline deadline) { m_deadline = deadline; }
    void SetCancelled(TcpSocket::Cancelled cancelled) { m_cancelled = std::move(cancelled); }
    // An extra file of trusted CA certificates in PEM ("" = only the system's store).
    void SetCaFile(std::string path) { m_caFile = std::move(path); }

    bool Connect(const std::string& host, int port);
    // The TLS handshake on the open connection, checking the certificate against host.
    bool StartTls(const std::string& host);
    bool SendAll(std::string_view data);
    // Count received, 0 when the peer closed, -1 on an error (ErrorText() tells).
    long Receive(char* buffer, std::size_t size);
    void Close();

    bool IsOpen() const { return m_socket.IsOpen(); }
    bool IsTls() const { return m_ssl != nullptr; }
    // Why the last operation failed.
    const std::string& ErrorText() const { return m_error; }
    // The errno of the socket's last failure (0 when none).
    int SocketError() const { return m_socket.Error(); }

private:
    static int BioWrite(BIO* bio, const char* data, int size);
    static int BioRead(BIO* bio, char* data, int size);
    static long BioCtrl(BIO* bio, int command, long number, void* pointer);
    void SetSocketError();
    // The time-out, cut short by the deadline.
    std::chrono::milliseconds Wait() const;
    void SetTlsError(const char* what);

    TcpSocket m_socket;
    std::chrono::milliseconds m_timeout{30000};
    Deadline m_deadline;
    TcpSocket::Cancelled m_cancelled;
    std::string m_caFile;
    std::string m_error;
    SSL_CTX* m_context = nullptr;
    SSL* m_ssl = nullptr;
    bool m_peerClosed = false;
    bool m_ioFailed = false;  // the socket failed under OpenSSL: its text is the better one
};

}  // namespace kov

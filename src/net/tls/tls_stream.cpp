#include "net/tls/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>

namespace kov {

namespace {

// One method table for every stream: the BIO's data points at its TlsStream.
BIO_METHOD* SocketMethod(int (*write)(BIO*, const char*, int), int (*read)(BIO*, char*, int),
                         long (*ctrl)(BIO*, int, long, void*)) {
    static BIO_METHOD* method = [&] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "kov-socket");
        BIO_meth_set_write(m, write);
        BIO_meth_set_read(m, read);
        BIO_meth_set_ctrl(m, ctrl);
        return m;
    }();
    return method;
}

bool IsAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

MailSecurity MailSecurityFromSetting(int value) {
    switch (value) {
        case 1:
            return MailSecurity::StartTlsIfOffered;
        case 2:
            return MailSecurity::StartTls;
        case 3:
            return MailSecurity::Implicit;
        default:
            return MailSecurity::Plain;
    }
}

TlsStream::~TlsStream() {
    Close();
}

std::chrono::milliseconds TlsStream::Wait() const {
    if (!m_deadline) return m_timeout;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *m_deadline - std::chrono::steady_clock::now());
    return std::clamp(left, std::chrono::milliseconds(0), m_timeout);
}

bool TlsStream::Connect(const std::string& host, int port) {
    Close();
    m_peerClosed = false;
    if (m_socket.Connect(host, port, m_timeout, m_cancelled)) return true;
    SetSocketError();
    return false;
}

bool TlsStream::StartTls(const std::string& host) {
    if (m_ssl != nullptr) return true;
    m_context = SSL_CTX_new(TLS_client_method());
    if (m_context == nullptr) return SetTlsError("cannot set up TLS"), false;
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(m_context);
    if (!m_caFile.empty() &&
        SSL_CTX_load_verify_locations(m_context, m_caFile.c_str(), nullptr) != 1)
        return SetTlsError(("cannot read the CA file " + m_caFile).c_str()), false;
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);

    m_ssl = SSL_new(m_context);
    X509_VERIFY_PARAM* param = SSL_get0_param(m_ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (IsAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
        SSL_set1_host(m_ssl, host.c_str());
    }
    BIO* bio = BIO_new(SocketMethod(&BioWrite, &BioRead, &BioCtrl));
    BIO_set_data(bio, this);
    BIO_set_init(bio, 1);
    SSL_set_bio(m_ssl, bio, bio);
    m_ioFailed = false;
    // A handshake trickled byte by byte ends all the same.
    const Deadline outer = m_deadline;
    if (!m_deadline) m_deadline = std::chrono::steady_clock::now() + 2 * m_timeout;
    const bool done = SSL_connect(m_ssl) == 1;
    m_deadline = outer;
    if (done) return true;
    const long verify = SSL_get_verify_result(m_ssl);
    if (verify != X509_V_OK)
        m_error = std::string("TLS: certificate refused: ") + X509_verify_cert_error_string(verify);
    else if (!m_ioFailed)
        SetTlsError("TLS handshake failed");
    SSL_free(m_ssl);
    m_ssl = nullptr;
    m_socket.Close();
    return false;
}

bool TlsStream::SendAll(std::string_view data) {
    if (m_ssl == nullptr) {
        if (m_socket.SendAll(data, Wait(), m_cancelled)) return true;
        SetSocketError();
        return false;
    }
    m_ioFailed = false;
    while (!data.empty()) {
        std::size_t written = 0;
        if (SSL_write_ex(m_ssl, data.data(), data.size(), &written) != 1) {
            if (!m_ioFailed) SetTlsError("TLS write failed");
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

long TlsStream::Receive(char* buffer, std::size_t size) {
    if (m_ssl == nullptr) {
        const long count = m_socket.Receive(buffer, size, Wait(), m_cancelled);
        if (count < 0) SetSocketError();
        return count;
    }
    std::size_t count = 0;
    m_ioFailed = false;
    if (SSL_read_ex(m_ssl, buffer, size, &count) == 1) return static_cast<long>(count);
    const int reason = SSL_get_error(m_ssl, 0);
    if (reason == SSL_ERROR_ZERO_RETURN || m_peerClosed) return 0;
    if (!m_ioFailed) SetTlsError("TLS read failed");
    return -1;
}

void TlsStream::Close() {
    if (m_ssl != nullptr) {
        if (m_socket.IsOpen() && !m_peerClosed) SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (m_context != nullptr) {
        SSL_CTX_free(m_context);
        m_context = nullptr;
    }
    m_socket.Close();
}

int TlsStream::BioWrite(BIO* bio, const char* data, int size) {
    auto* self = static_cast<TlsStream*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (!self->m_socket.SendAll(std::string_view(data, static_cast<std::size_t>(size)),
                                self->Wait(), self->m_cancelled)) {
        self->SetSocketError();
        return -1;
    }
    return size;
}

int TlsStream::BioRead(BIO* bio, char* data, int size) {
    auto* self = static_cast<TlsStream*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const long count = self->m_socket.Receive(data, static_cast<std::size_t>(size), self->Wait(),
                                              self->m_cancelled);
    if (count < 0) self->SetSocketError();
    if (count == 0) self->m_peerClosed = true;
    return static_cast<int>(count);
}

long TlsStream::BioCtrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

void TlsStream::SetSocketError() {
    m_ioFailed = true;
    m_error = SocketErrorText(m_socket.Error());
}

void TlsStream::SetTlsError(const char* what) {
    char detail[256] = "";
    const unsigned long code = ERR_get_error();
    if (code != 0) ERR_error_string_n(code, detail, sizeof detail);
    ERR_clear_error();
    m_error = std::string("TLS: ") + what + (code != 0 ? std::string(": ") + detail : "");
}

}  // namespace kov

#include "platform/tcp_socket.h"

#include "platform/host_lookup.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kov {

namespace {

// Waits are cut into slices so that a cancel is noticed soon.
constexpr std::chrono::milliseconds kSlice{100};

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string NumericAddress(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(address);
        if (!::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text)) return {};
    } else if (address.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
        if (!::inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text)) return {};
    } else {
        return {};
    }
    return text;
}

int PortOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return 0;
}

// One address to try.
struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// A numeric host is taken as written (an IPv6 scope included) without a lookup.
bool NumericEndpoints(const std::string& name, const std::string& service,
                      std::vector<Endpoint>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &list) != 0) return false;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        Endpoint e;
        std::memcpy(&e.address, a->ai_addr, a->ai_addrlen);
        e.length = a->ai_addrlen;
        out.push_back(e);
    }
    ::freeaddrinfo(list);
    return !out.empty();
}

Endpoint EndpointOf(const std::vector<std::uint8_t>& bytes, int port) {
    Endpoint e;
    if (bytes.size() == 4) {
        auto& a = reinterpret_cast<sockaddr_in&>(e.address);
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        std::memcpy(&a.sin_addr, bytes.data(), 4);
        e.length = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in6&>(e.address);
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(static_cast<std::uint16_t>(port));
        std::memcpy(&a.sin6_addr, bytes.data(), 16);
        e.length = sizeof a;
    }
    return e;
}

// The addresses to try, or an error: a name that does not resolve is EHOSTUNREACH; a lookup
// that outlasts the time-out or is cancelled is left to finish on its own.
int Resolve(const std::string& host, int port, std::chrono::milliseconds timeout,
            const TcpSocket::Cancelled& cancelled, std::vector<Endpoint>& out) {
    // A bracketed IPv6 literal ("[::1]") is accepted as written in URLs.
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    if (NumericEndpoints(name, std::to_string(port), out)) return 0;
    HostAddresses addresses;
    switch (LookUpHostBounded(name, addresses, timeout, cancelled, ResolveForConnect)) {
        case LookupStatus::Found:
            break;
        case LookupStatus::Stopped:
            return ECANCELED;
        case LookupStatus::TimedOut:
            return ETIMEDOUT;
        case LookupStatus::NotFound:
            return EHOSTUNREACH;
    }
    for (const std::vector<std::uint8_t>& bytes : addresses) {
        if (bytes.size() == 4 || bytes.size() == 16) out.push_back(EndpointOf(bytes, port));
    }
    return out.empty() ? EHOSTUNREACH : 0;
}

}  // namespace

void TcpSocket::Close() {
    m_fd.Reset();
}

bool TcpSocket::WaitFor(short events, std::chrono::milliseconds timeout,
                        const Cancelled& cancelled) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (cancelled && cancelled()) {
            m_error = ECANCELED;
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            m_error = ETIMEDOUT;
            return false;
        }
        pollfd p{m_fd.Get(), events, 0};
        const int wait =
            static_cast<int>(cancelled ? std::min(left, kSlice).count() : left.count());
        const int n = ::poll(&p, 1, wait);
        if (n < 0) {
            if (errno == EINTR) continue;
            m_error = errno;
            return false;
        }
        if (n > 0) return true;  // ready, or an error the next call will report
    }
}

bool TcpSocket::Connect(const std::string& host, int port, std::chrono::milliseconds timeout,
                        const Cancelled& cancelled) {
    Close();
    m_error = 0;
    if (port <= 0 || port > 65535 || host.empty()) {
        m_error = EINVAL;
        return false;
    }
    std::vector<Endpoint> endpoints;
    m_error = Resolve(host, port, timeout, cancelled, endpoints);
    if (m_error != 0) return false;
    int lastError = ECONNREFUSED;
    for (const Endpoint& e : endpoints) {
        if (ConnectTo(reinterpret_cast<const sockaddr*>(&e.address), e.length, timeout,
                      cancelled)) {
            break;
        }
        lastError = m_error;
        if (m_error == ECANCELED) break;
    }
    if (!m_fd.Valid()) {
        m_error = lastError;
        return false;
    }
    const int on = 1;
    ::setsockopt(m_fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_error = 0;
    return true;
}

bool TcpSocket::ConnectTo(const sockaddr* address, unsigned length,
                          std::chrono::milliseconds timeout, const Cancelled& cancelled) {
    m_fd.Reset(::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_fd.Valid()) {
        m_error = errno;
        return false;
    }
    SetNonBlocking(m_fd.Get());
    if (::connect(m_fd.Get(), address, length) == 0) return true;
    if (errno != EINPROGRESS) {
        m_error = errno;
    } else if (WaitFor(POLLOUT, timeout, cancelled)) {
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(m_fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error == 0) return true;
        m_error = error;
    }
    Close();
    return false;
}

bool TcpSocket::Listen(const std::string& localAddress, int backlog) {
    Close();
    m_error = 0;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (localAddress.find(':') != std::string::npos) {
        auto& a = reinterpret_cast<sockaddr_in6&>(address);
        a.sin6_family = AF_INET6;
        if (::inet_pton(AF_INET6, localAddress.c_str(), &a.sin6_addr) != 1) {
            m_error = EINVAL;
            return false;
        }
        length = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(address);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        if (!localAddress.empty() && ::inet_pton(AF_INET, localAddress.c_str(), &a.sin_addr) != 1) {
            m_error = EINVAL;
            return false;
        }
        length = sizeof a;
    }
    m_fd.Reset(::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_fd.Valid()) {
        m_error = errno;
        return false;
    }
    const int fd = m_fd.Get();
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0) {
        m_error = errno;
        Close();
        return false;
    }
    SetNonBlocking(fd);
    return true;
}

bool TcpSocket::Accept(TcpSocket& connection, std::chrono::milliseconds timeout,
                       const Cancelled& cancelled) {
    for (;;) {
        if (!WaitFor(POLLIN, timeout, cancelled)) return false;
        const int fd = ::accept4(m_fd.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            connection = TcpSocket(fd);
            return true;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
            m_error = errno;
            return false;
        }
    }
}

bool TcpSocket::SendAll(std::string_view data, std::chrono::milliseconds timeout,
                        const Cancelled& cancelled) {
    if (!m_fd.Valid()) {
        m_error = EBADF;
        return false;
    }
    while (!data.empty()) {
        const ssize_t n = ::send(m_fd.Get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(POLLOUT, timeout, cancelled)) return false;
            continue;
        }
        m_error = n == 0 ? EPIPE : errno;
        return false;
    }
    return true;
}

long TcpSocket::Receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout,
                        const Cancelled& cancelled) {
    if (!m_fd.Valid()) {
        m_error = EBADF;
        return -1;
    }
    for (;;) {
        // Data already waiting is taken without a poll.
        const ssize_t n = ::recv(m_fd.Get(), buffer, size, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            m_error = errno;
            return -1;
        }
        if (!WaitFor(POLLIN, timeout, cancelled)) return -1;
    }
}

std::string TcpSocket::LocalAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!m_fd.Valid() ||
        ::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    return NumericAddress(address);
}

int TcpSocket::LocalPort() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!m_fd.Valid() ||
        ::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return PortOf(address);
}

std::string TcpSocket::PeerAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!m_fd.Valid() ||
        ::getpeername(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    return NumericAddress(address);
}

bool TcpSocket::IsIPv6() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!m_fd.Valid() ||
        ::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return false;
    }
    if (address.ss_family != AF_INET6) return false;
    // An IPv4 peer seen through a dual-stack socket still speaks IPv4 to FTP.
    const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
    return !IN6_IS_ADDR_V4MAPPED(&a.sin6_addr);
}

std::string SocketErrorText(int error) {
    switch (error) {
        case ETIMEDOUT:
            return "timed out";
        case ECANCELED:
            return "cancelled";
        case EHOSTUNREACH:
            return "host not found or unreachable";
        default:
            return std::strerror(error);
    }
}

}  // namespace kov

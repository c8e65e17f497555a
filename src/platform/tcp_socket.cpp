#include "platform/tcp_socket.h"

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
#include <cstring>

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

}  // namespace

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : m_fd(other.m_fd), m_error(other.m_error) {
    other.m_fd = -1;
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_error = other.m_error;
        other.m_fd = -1;
    }
    return *this;
}

void TcpSocket::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
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
        pollfd p{m_fd, events, 0};
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
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    // A bracketed IPv6 literal ("[::1]") is accepted as written in URLs.
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &list) != 0 || !list) {
        // Loopback names still resolve when no interface but lo is configured.
        hints.ai_flags = 0;
        if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &list) != 0 || !list) {
            m_error = EHOSTUNREACH;
            return false;
        }
    }
    int lastError = ECONNREFUSED;
    for (addrinfo* a = list; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        m_fd = fd;
        SetNonBlocking(fd);
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
        if (errno == EINPROGRESS) {
            if (WaitFor(POLLOUT, timeout, cancelled)) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                if (error == 0) break;
                lastError = error;
            } else {
                lastError = m_error;
                if (m_error == ECANCELED) {
                    Close();
                    break;
                }
            }
        } else {
            lastError = errno;
        }
        Close();
    }
    ::freeaddrinfo(list);
    if (m_fd < 0) {
        m_error = lastError;
        return false;
    }
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_error = 0;
    return true;
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
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    m_fd = fd;
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
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
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
    if (m_fd < 0) {
        m_error = EBADF;
        return false;
    }
    while (!data.empty()) {
        const ssize_t n = ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
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
    if (m_fd < 0) {
        m_error = EBADF;
        return -1;
    }
    for (;;) {
        // Data already waiting is taken without a poll.
        const ssize_t n = ::recv(m_fd, buffer, size, 0);
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
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    return NumericAddress(address);
}

int TcpSocket::LocalPort() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return PortOf(address);
}

std::string TcpSocket::PeerAddress() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    return NumericAddress(address);
}

bool TcpSocket::IsIPv6() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
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

#include "web_control/listen_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace kov {

namespace {

std::string Unbracket(const std::string& address) {
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
        return address.substr(1, address.size() - 2);
    }
    return address == "localhost" ? "127.0.0.1" : address;
}

ListenSocket Failed(std::string text) {
    ListenSocket socket;
    socket.error = std::move(text);
    return socket;
}

}  // namespace

ListenSocket ListenSocket::Open(const std::string& address, int port) {
    const std::string host = Unbracket(address);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int code =
            getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
        code != 0) {
        return Failed("cannot use address " + address + ": " + gai_strerror(code));
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> results(found, &freeaddrinfo);
    ListenSocket socket;
    socket.ipv6 = found->ai_family == AF_INET6;
    socket.fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket.fd < 0) return Failed(std::string("cannot make a socket: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(socket.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::bind(socket.fd, found->ai_addr, found->ai_addrlen) != 0 ||
        ::listen(socket.fd, 128) != 0 ||
        ::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(socket.fd);
        return Failed("cannot listen on " + address + " port " + service + ": " + reason);
    }
    socket.port = ntohs(socket.ipv6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                    : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return socket;
}

bool IsLoopbackAddress(const std::string& address) {
    const std::string host = Unbracket(address);
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

}  // namespace kov

#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

struct sockaddr;

namespace kov {

// A blocking TCP socket (a connection or a listener) whose every wait has a time-out and can be
// cancelled. Closed on destruction; movable, not copyable.
//
// Errors are errno values (Error()); a time-out is ETIMEDOUT, a cancelled wait ECANCELED and a
// host name that does not resolve EHOSTUNREACH.
class TcpSocket {
public:
    using Cancelled = std::function<bool()>;

    TcpSocket() = default;
    TcpSocket(TcpSocket&& other) noexcept = default;
    TcpSocket& operator=(TcpSocket&& other) noexcept = default;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Connects to host (a name, an IPv4 or an IPv6 address) and port, trying each address the
    // name resolves to until one answers within the time-out. The name lookup, too, ends with
    // the time-out or the cancel.
    bool Connect(const std::string& host, int port, std::chrono::milliseconds timeout,
                 const Cancelled& cancelled = {});
    // Listens on a port the system chooses, on the local address given (numeric, either
    // family; "" = every IPv4 address).
    bool Listen(const std::string& localAddress, int backlog = 5);
    // Accepts one connection on a listener within the time-out; the listener stays open.
    bool Accept(TcpSocket& connection, std::chrono::milliseconds timeout,
                const Cancelled& cancelled = {});

    // Sends every byte; false on an error or when the peer takes nothing within the time-out.
    bool SendAll(std::string_view data, std::chrono::milliseconds timeout,
                 const Cancelled& cancelled = {});
    // Receives at most size bytes: the count, 0 when the peer closed the connection, -1 on an
    // error, a time-out or a cancel (Error() tells which).
    long Receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout,
                 const Cancelled& cancelled = {});

    // Ends the connection at once; a pending send is dropped.
    void Close();
    bool IsOpen() const { return m_fd.Valid(); }
    int Error() const { return m_error; }

    // The numeric addresses and ports of the two ends ("" and 0 when unknown).
    std::string LocalAddress() const;
    int LocalPort() const;
    std::string PeerAddress() const;
    bool IsIPv6() const;

private:
    explicit TcpSocket(int fd) : m_fd(fd) {}
    // Tries one address; true when connected, else m_error says why.
    bool ConnectTo(const sockaddr* address, unsigned length, std::chrono::milliseconds timeout,
                   const Cancelled& cancelled);
    // Waits until the socket is ready for events; false with m_error set otherwise.
    bool WaitFor(short events, std::chrono::milliseconds timeout, const Cancelled& cancelled);

    UniqueFd m_fd;
    int m_error = 0;
};

// A readable text for an error number of TcpSocket ("Connection refused", "timed out", ...).
std::string SocketErrorText(int error);

}  // namespace kov

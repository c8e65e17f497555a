#pragma once

#include <string>

namespace kov {

// A listening TCP socket for the server, bound before the server starts so that the port it
// really got (Port 0 picks a free one) is known to the guard from the first request on.
struct ListenSocket {
    int fd = -1;
    int port = 0;
    bool ipv6 = false;
    std::string error;

    // address: an IPv4 or IPv6 address (brackets allowed), "localhost" or a name to resolve.
    static ListenSocket Open(const std::string& address, int port);
};

// Whether the server, listening on address, can be reached from this machine only.
bool IsLoopbackAddress(const std::string& address);

}  // namespace kov

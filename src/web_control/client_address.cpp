#include "web_control/client_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace kov {

ClientAddress ClientAddress::Of(const sockaddr* address) {
    ClientAddress client;
    char text[INET6_ADDRSTRLEN] = {};
    if (address == nullptr) return client;
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        client.loopback = (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    } else if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        // An IPv4 caller on a dual-stack socket arrives as ::ffff:a.b.c.d.
        const bool mapped = IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr);
        client.loopback =
            IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) || (mapped && v6->sin6_addr.s6_addr[12] == 127);
    }
    client.text = text;
    return client;
}

}  // namespace kov

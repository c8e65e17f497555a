#pragma once

#include <string>

struct sockaddr;

namespace kov {

// Who is calling: the address as text (the key for slowing down wrong tokens) and whether it
// is this machine.
struct ClientAddress {
    std::string text;
    bool loopback = false;

    static ClientAddress Of(const sockaddr* address);
};

}  // namespace kov

#pragma once

// Helpers of the Internet client that its callers do not need.

#include <ctime>
#include <string>
#include <string_view>

namespace kov {

// text with the bytes that may not stand in a request line (controls, space, DEL and bytes
// above 0x7F) written as %XX; everything else, '%' included, is kept so nothing is escaped
// twice.
std::string EscapeForRequest(std::string_view text);

// The proxy of the environment for a scheme: <scheme>_proxy, else all_proxy, lower case
// before upper case; noProxy from no_proxy / NO_PROXY. Both empty when none is set.
struct EnvironmentProxy {
    std::string proxy;
    std::string noProxy;
};
EnvironmentProxy ProxyFromEnvironment(std::string_view scheme);

// t as an HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string FormatHttpTime(std::time_t t);

}  // namespace kov

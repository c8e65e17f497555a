#pragma once

// Whether a URL received from outside points into the machine or its local network, where a
// query must not reach without the user's consent (routers, printers, the loopback services).

#include <string_view>

namespace kov {

// True for addresses closed to strangers (IpAddress::IsClosedToStrangers, in any form the
// resolver accepts), for "localhost", names under .local or .localhost, single-label names, and
// names that resolve to such an address. A host holding a macro, a date token or a
// series cannot be judged before expansion and counts as local.
bool IsLocalNetworkHost(std::string_view host);

// False for a URL whose scheme is not http, https or ftp (file:// included), or whose host is
// a local-network host; true otherwise.
bool IsRemoteUrl(std::string_view url);

}  // namespace kov

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kov {

// The addresses of one host name: 4 bytes for IPv4, 16 for IPv6.
using HostAddresses = std::vector<std::vector<std::uint8_t>>;

// A blocking name lookup: true with the addresses, false when the name does not resolve.
using HostResolver = std::function<bool(const std::string& name, HostAddresses& out)>;

// The system's resolver (getaddrinfo).
bool SystemResolve(const std::string& name, HostAddresses& out);
// The same for a connection: only the families the host has an address of, unless that finds
// none (a machine with only lo still resolves localhost).
bool ResolveForConnect(const std::string& name, HostAddresses& out);

enum class LookupStatus { Found, NotFound, Stopped, TimedOut };

// Looks a name up without letting a dead DNS server hold the caller: the query runs on a helper
// thread and the caller waits at most `limit`, checking `stopped` (may be empty) every few
// milliseconds. getaddrinfo cannot be interrupted, so a query the caller gave up on ends by the
// resolver's own time-outs; its thread touches only its own state and is a helper thread
// (platform/helper_threads.h). resolver empty: SystemResolve.
LookupStatus LookUpHostBounded(const std::string& name, HostAddresses& out,
                               std::chrono::milliseconds limit,
                               const std::function<bool()>& stopped,
                               const HostResolver& resolver = {});

}  // namespace kov

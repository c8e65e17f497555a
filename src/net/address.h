#pragma once

// What kind of network an IP address belongs to, asked in one place by everyone who needs to
// know whether a host is "local".

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host_lookup.h"

namespace kov {

// One IPv4 or IPv6 address. An IPv4-mapped IPv6 address (::ffff:a.b.c.d) is judged by its IPv4
// part.
class IpAddress {
public:
    // 4 bytes for IPv4, 16 for IPv6; nullopt for any other size.
    static std::optional<IpAddress> FromBytes(const std::vector<std::uint8_t>& bytes);
    // A numeric address in any form the resolver takes ("127.1", "0x7f.1", "2130706433", "::1",
    // "fe80::1%eth0"); nullopt for anything else, blanks included.
    static std::optional<IpAddress> Parse(std::string_view text);

    bool IsLoopback() const;            // 127/8, ::1
    bool IsPrivate() const;             // 10/8, 172.16/12, 192.168/16, fc00::/7
    bool IsLinkLocal() const;           // 169.254/16, fe80::/10
    bool IsSharedAddressSpace() const;  // 100.64/10, the provider's side of carrier-grade NAT
    bool IsUnspecified() const;         // 0/8, ::
    bool IsBroadcast() const;           // 255.255.255.255

    // Reached without leaving the site (loopback, private, link-local): no speed limit applies
    // and the proxy can be bypassed.
    bool IsOnLocalNetwork() const;
    // Must not be fetched on a stranger's request: the local network, and every address that
    // reaches this machine or the provider's network.
    bool IsClosedToStrangers() const;

private:
    // The IPv4 address as a number, for IPv4 and IPv4-mapped addresses.
    std::optional<std::uint32_t> V4() const;
    bool V6Between(std::uint8_t first, std::uint8_t mask) const;

    std::array<std::uint8_t, 16> m_bytes{};
    bool m_v4 = false;
};

using AddressTest = bool (IpAddress::*)() const;

// How long a name's lookup may take before the host counts as having no such address.
inline constexpr std::chrono::milliseconds kLocalLookupLimit{10000};

// Whether host (without brackets) has an address that passes test: a numeric host is judged as
// it is, without DNS; a name by the addresses it resolves to. A name that does not resolve, or
// not within limit or before stopped (may be empty) says so, has none. resolver empty: the
// system's.
bool HostHasAddress(const std::string& host, AddressTest test, const std::function<bool()>& stopped,
                    const HostResolver& resolver,
                    std::chrono::milliseconds limit = kLocalLookupLimit);

}  // namespace kov
